#pragma once
// What runs share: the warning line of the script VM, and the step budget that keeps tests and
// fuzz targets from running a script without end.
#include "platform/Types.h"

// Writes "Script Warning : " + the formatted text + "\r\n" to the log.
void ScriptWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace script {

// Sets how many steps may still be taken in the process; 0 turns the budget off (the state at
// start). Production code never sets it. Every statement a block runs takes one step; once the
// budget is spent, a running block leaves before its next statement, and calls and loop passes
// stop as well.
void SetStepBudget(u64 steps);
// Takes one step: false, taking nothing, when the budget is on and spent.
bool TakeStep();

} // namespace script
