#include "script/base/MwCmdScript.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwMemberInfo.h"

// Run is an Action member without field: writing it calls CMwCmd::Run.
#define CMWCMDSCRIPT_MEMBERS(X)                                                                    \
    X(Action, 0x01052000, "Run", MW_VIRTUAL("Run"), "Run", 0x02, 0x380,                            \
      &MwThunk<&CMwCmd::Run>::Call)

MW_DEFINE_CLASS(CMwCmdScript, nullptr, CMWCMDSCRIPT_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdInst, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExp, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

CMwCmdScript* CMwCmdScript::GetRoot() {
    CMwCmdScript* node = this;
    while (node->m_Parent)
        node = node->m_Parent;
    return node;
}

u32 CMwCmdScript::Archive(CClassicArchive& archive) {
    if (archive.m_Writing)
        return Super::Archive(archive);
    // Cleared however the body ends: the stream's exceptions pass through.
    struct SReading {
        u8& m_Flag;
        u8 m_Old;
        ~SReading() { m_Flag = m_Old; }
    } reading{m_BodyBeingRead, m_BodyBeingRead};
    m_BodyBeingRead = 1;
    return Super::Archive(archive);
}
