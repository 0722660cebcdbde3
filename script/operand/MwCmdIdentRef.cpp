#include "script/operand/MwCmdIdentRef.h"

#include "core/base/ClassicArchive.h"
#include "script/base/ScriptRun.h"
#include "script/block/MwCmdBlock.h"

CBlockVariable* ScriptFindVariable(CMwCmdScript* parent, const CClassicString& name) {
    CBlockVariable* variable = parent && parent->IsKindOf(CMwCmdBlock::s_ClassId)
                                   ? static_cast<CMwCmdBlock*>(parent)->FindVariableByName(name)
                                   : nullptr;
    if (!variable)
        ScriptWarning("Unknown variable \"%s\"", name.GetText());
    return variable;
}

void CMwCmdIdentRef::Archive(CClassicArchive& archive) {
    archive.SerializeStrings(&m_Name, 1);
}

void CMwCmdIdentRef::Bind(CMwCmdScript* parent) {
    m_Variable = ScriptFindVariable(parent, m_Name);
}
