#include "script/block/MwCmdBlockProcedure.h"

#include "script/base/ScriptArchive.h"
#include "script/statement/MwCmdAffectIdent.h"

#include <algorithm>

#define CMWCMDBLOCKPROCEDURE_CHUNKS(X) X(0x01098000, 3)

MW_DEFINE_CLASS(CMwCmdBlockProcedure, MwFactory<CMwCmdBlockProcedure>, MW_NO_MEMBERS,
                CMWCMDBLOCKPROCEDURE_CHUNKS);
MW_DEFINE_CLASS(CMwCmdBlockFunction, MwFactory<CMwCmdBlockFunction>, MW_NO_MEMBERS, MW_NO_CHUNKS);

CMwCmdBlockProcedure::CMwCmdBlockProcedure() {
    m_Bits &= ~s_OwnFrame;
}

CMwCmdBlockProcedure::~CMwCmdBlockProcedure() {
    for (u32 i = 0; i < m_Parameters.m_Count; ++i)
        ScriptReleaseChild(this, m_Parameters.m_Items[i]);
}

void CMwCmdBlockProcedure::Bind(CMwCmdScript* parent) {
    CMwCmdBlock::Bind(parent);
    for (u32 i = 0; i < m_Parameters.m_Count; ++i)
        m_Parameters.m_Items[i]->Bind(this);
}

void CMwCmdBlockProcedure::Return(CMwCmdExp*) {
    m_Bits |= s_Leave;
}

void CMwCmdBlockFunction::Return(CMwCmdExp* value) {
    m_Bits |= s_Leave;
    m_Result = value;
}

void CMwCmdBlockProcedure::AddParameter(CMwCmdAffectIdent* statement) {
    if (!statement)
        return;
    statement->AddRef();
    statement->m_Evaluate = 0;
    m_Parameters.Grow(1);
    m_Parameters.m_Items[m_Parameters.m_Count - 1] = statement;
}

void CMwCmdBlockProcedure::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ParametersChunk) {
        CMwCmdBlock::ArchiveChunk(archive, chunkId);
        return;
    }
    u32 count = m_Parameters.m_Count;
    ScriptArchiveCount(archive, this, chunkId, count, 1);
    if (!archive.m_Writing) {
        // One parameter list per procedure: the archive may still name the first one's
        // statements.
        if (m_Parameters.m_Count != 0)
            ScriptInvalidData(this, chunkId);
        m_Parameters.SetCount(count);
        std::fill_n(m_Parameters.m_Items, count, nullptr);
    }
    for (u32 i = 0; i < count; ++i) {
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Parameters.m_Items[i]);
        if (!archive.m_Writing)
            m_Parameters.m_Items[i]->m_Evaluate = 0;
    }
}
