#include "script/statement/MwCmdCall.h"

#define CMWCMDCALL_CHUNKS(X) X(0x01034000, 1) X(0x01034001, 3)
#define CMWCMDARRAYADD_CHUNKS(X) X(0x010a0000, 1) X(0x010a0001, 3)
#define CMWCMDARRAYREMOVE_CHUNKS(X) X(0x010a1000, 1) X(0x010a1001, 3)

MW_DEFINE_CLASS_WITH_PARENT(CMwCmdCall, CMwCmdInst, MwFactory<CMwCmdCall>, MW_NO_MEMBERS,
                            CMWCMDCALL_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CMwCmdArrayAdd, CMwCmdInst, MwFactory<CMwCmdArrayAdd>, MW_NO_MEMBERS,
                            CMWCMDARRAYADD_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CMwCmdArrayRemove, CMwCmdInst, MwFactory<CMwCmdArrayRemove>,
                            MW_NO_MEMBERS, CMWCMDARRAYREMOVE_CHUNKS);

void CMwCmdCall::Run() {
    if (m_Param.RunIndexes() && m_Param.Resolve())
        m_Param.Write(CMwCmdParamPath::Write_Set, SScriptMemberInput::Nothing());
}

void CMwCmdArrayAdd::Run() {
    if (CMwCmdExp* value = RunAndResolve())
        m_Param.Write(CMwCmdParamPath::Write_Add, SScriptMemberInput::ValueOf(value));
}

void CMwCmdArrayRemove::Run() {
    if (CMwCmdExp* value = RunAndResolve())
        m_Param.Write(CMwCmdParamPath::Write_Sub,
                      SScriptMemberInput::Bytes(value->GetValuePtr(), sizeof(u32)));
}
