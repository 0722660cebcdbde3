#include "script/operand/MwCmdFuncCall.h"

#include "core/base/ClassicArchive.h"
#include "script/base/ScriptArchive.h"
#include "script/block/MwCmdBlock.h"

#include <algorithm>

CMwCmdFuncCall::~CMwCmdFuncCall() {
    for (u32 i = 0; i < m_Arguments.m_Count; ++i)
        ScriptReleaseChild(m_Owner, m_Arguments.m_Items[i]);
    SetFunction(nullptr);
}

void CMwCmdFuncCall::Archive(CClassicArchive& archive, u32 chunkId) {
    u32 form = 0;
    archive.SerializeUInts(&form, 1);
    if (form != 0)
        return;
    // One stored operand per owner: a second one could drop a function or arguments that the
    // archive may still name.
    if (!archive.m_Writing && (m_Function || m_Arguments.m_Count != 0))
        ScriptInvalidData(m_Owner, chunkId);
    CMwNod* function = m_Function;
    archive.ArchiveNodRef(function);
    u32 count = m_Arguments.m_Count;
    if (!archive.m_Writing) {
        if (function && !function->IsKindOf(CMwCmdBlock::s_ClassId))
            ScriptInvalidData(m_Owner, chunkId);
        SetFunction(static_cast<CMwCmdBlock*>(function));
    }
    ScriptArchiveCount(archive, m_Owner, chunkId, count, 1);
    if (!archive.m_Writing) {
        m_Arguments.SetCount(count);
        std::fill_n(m_Arguments.m_Items, count, nullptr);
    }
    for (u32 i = 0; i < count; ++i)
        ScriptArchiveOptionalChild(archive, m_Owner, chunkId, m_Arguments.m_Items[i]);
}

void CMwCmdFuncCall::Bind(CMwCmdScript* parent) {
    for (u32 i = 0; i < m_Arguments.m_Count; ++i)
        if (CMwCmdExp* argument = m_Arguments.m_Items[i])
            argument->Bind(parent);
}

void CMwCmdFuncCall::SetThis(CMwNod* nod) {
    for (u32 i = 0; i < m_Arguments.m_Count; ++i)
        if (CMwCmdExp* argument = m_Arguments.m_Items[i])
            argument->SetThis(nod);
}

void CMwCmdFuncCall::SetFunction(CMwCmdBlock* function) {
    if (function == m_Function)
        return;
    if (function)
        function->AddDependant(m_Owner);
    CMwCmdBlock* old = m_Function;
    m_Function = function;
    if (old)
        old->RemoveDependantAndRelease(m_Owner);
}

void CMwCmdFuncCall::AddArgument(CMwCmdExp* argument) {
    if (argument)
        argument->AddRef();
    m_Arguments.Grow(1);
    m_Arguments.m_Items[m_Arguments.m_Count - 1] = argument;
}

bool CMwCmdFuncCall::ForgetFunction(CMwNod* nod, bool released) {
    if (!nod || nod != m_Function)
        return false;
    m_Function = nullptr;
    if (released)
        nod->RemoveDependantAndRelease(m_Owner);
    return true;
}
