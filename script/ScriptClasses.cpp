#include "script/ScriptClasses.h"

#include "script/base/MwCmdScript.h"
#include "script/block/BlockVariable.h"
#include "script/block/MwCmdBlock.h"

namespace {

constinit CMwClassInfo* const s_ScriptClasses[] = {
    &CMwCmdScript::s_ClassInfo,   &CMwCmdInst::s_ClassInfo,  &CMwCmdExp::s_ClassInfo,
    &CBlockVariable::s_ClassInfo, &CMwCmdBlock::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_ScriptClassList = {s_ScriptClasses, sizeof(s_ScriptClasses) /
                                                                       sizeof(s_ScriptClasses[0])};
