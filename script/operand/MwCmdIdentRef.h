#pragma once
// CMwCmdIdentRef: the identifier operand, a plain record embedded in the node that names a script
// variable (an assignment to a variable, an identifier expression).
//
// The variable is found by name once, when the owner is bound, from the block that binds it up the
// block chain (CMwCmdBlock::FindVariableByName), and kept as a pointer into that block's live
// table; nothing is looked up while the script runs. A name no block on the chain declares leaves
// the operand without variable and logs "Script Warning : Unknown variable "<name>"": a node bound
// to no variable does nothing when it runs.
//
// Stored form, inside the owner's chunk: the name (a narrow string).
#include "core/base/ClassicString.h"

class CBlockVariable;
class CClassicArchive;
class CMwCmdScript;

class CMwCmdIdentRef {
public:
    explicit CMwCmdIdentRef(CMwCmdScript* owner) : m_Owner(owner) {}
    CMwCmdIdentRef(const CMwCmdIdentRef&) = delete;
    CMwCmdIdentRef& operator=(const CMwCmdIdentRef&) = delete;

    void Archive(CClassicArchive& archive);
    // Looks the name up from the block that binds the owner (none when it is not a block) and
    // keeps what it finds, with the warning when nothing is found.
    void Bind(CMwCmdScript* parent);

    CClassicString m_Name;
    // Set by Bind: a record of a block's live table, valid until that block is bound again.
    CBlockVariable* m_Variable = nullptr;
    CMwCmdScript* m_Owner;
};

// The variable named `name` seen from `parent` (a block, whose chain is searched), or null with the
// unknown-variable warning. Shared by the operands that name variables.
CBlockVariable* ScriptFindVariable(CMwCmdScript* parent, const CClassicString& name);
