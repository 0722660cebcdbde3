#include "script/base/ScriptRun.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicString.h"

#include <cstdarg>

void ScriptWarning(const char* format, ...) {
    CClassicString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    ClassicLogFormatLine("Script Warning : %s", text.GetText());
}

namespace {

constinit bool s_BudgetOn = false;
constinit u64 s_StepsLeft = 0;

} // namespace

namespace script {

void SetStepBudget(u64 steps) {
    s_BudgetOn = steps != 0;
    s_StepsLeft = steps;
}

bool TakeStep() {
    if (!s_BudgetOn)
        return true;
    if (s_StepsLeft == 0)
        return false;
    --s_StepsLeft;
    return true;
}

} // namespace script
