#include "tests/script/support/ScriptBuilders.h"

#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"

std::vector<SScriptVariableSpec> ScriptEveryVariableType() {
    return {{"b", BlockVariable_Bool},
            {"i", BlockVariable_Int},
            {"f", BlockVariable_Float},
            {"s", BlockVariable_String},
            {"c", BlockVariable_Class, CScriptTestObject::s_ClassId},
            {"e", BlockVariable_Enum, 0x01030001},
            {"v2", BlockVariable_Vec2},
            {"v3", BlockVariable_Vec3},
            {"m", BlockVariable_Iso4},
            {"u", BlockVariable_Unset}};
}

CScriptTestCmd* NewTestCmd(u32 tag, u32 action, u32 argument) {
    auto* cmd = new CScriptTestCmd;
    cmd->m_Tag = tag;
    cmd->m_Action = action;
    cmd->m_Argument = argument;
    return cmd;
}

void DeclareVariables(CMwCmdBlock& block, bool persistent,
                      const std::vector<SScriptVariableSpec>& variables) {
    for (const SScriptVariableSpec& spec : variables) {
        CBlockVariable& variable = block.AddVariable(persistent);
        variable.m_Name.Assign(spec.Name);
        variable.m_Type = spec.Type;
        variable.m_Id = spec.Id;
        variable.m_Flag = spec.Flag;
    }
}

void DeclareVariables(CMwCmdBlock& block, bool persistent,
                      std::initializer_list<SScriptVariableSpec> variables) {
    DeclareVariables(block, persistent, std::vector<SScriptVariableSpec>(variables));
}

CMwCmdBlock* NewBlock(std::initializer_list<CMwCmdScript*> cmds,
                      std::initializer_list<SScriptVariableSpec> persistent,
                      std::initializer_list<SScriptVariableSpec> frame) {
    auto* block = new CMwCmdBlock;
    for (CMwCmdScript* cmd : cmds)
        block->AddCmd(cmd);
    DeclareVariables(*block, true, persistent);
    DeclareVariables(*block, false, frame);
    return block;
}

TNodRef<CMwCmdBlock> MakeBlock(std::initializer_list<CMwCmdScript*> cmds,
                               std::initializer_list<SScriptVariableSpec> persistent,
                               std::initializer_list<SScriptVariableSpec> frame) {
    return TNodRef<CMwCmdBlock>(NewBlock(cmds, persistent, frame));
}

std::string ScriptSaveImage(CMwNod* nod, bool release, bool text) {
    CClassicPooledBuffer buffer;
    CSystemArchive archive;
    archive.SetSaveFlags((release ? kSystemArchiveSaveRelease : 0) |
                         (text ? kSystemArchiveSaveText : 0));
    if (!archive.Save(nod, buffer.Get()))
        return {};
    return std::string(reinterpret_cast<const char*>(buffer->GetData()), buffer->GetSize());
}

TNodRef<CMwNod> ScriptLoadImage(const std::string& image) {
    CClassicPooledBuffer buffer;
    buffer->Write(image.data(), u32(image.size()));
    buffer->Rewind();
    CMwNod* nod = nullptr;
    LoadNodFromMemoryBuffer(buffer.Get(), &nod);
    return TNodRef<CMwNod>(nod);
}

bool ScriptSameTrees(CMwNod* a, CMwNod* b, bool release) {
    u32 equal = 0;
    CompareNods(a, b, &equal);
    if (!equal)
        return false;
    if (!release)
        return true;
    for (bool text : {false, true}) {
        const std::string first = ScriptSaveImage(a, true, text);
        if (first.empty() || first != ScriptSaveImage(b, true, text))
            return false;
    }
    return true;
}
