#include "tests/script/support/ScriptTestNods.h"

#include "core/base/ClassicArchive.h"

#include <iterator>

#define CSCRIPTTESTCMD_MEMBERS(X)                                                                  \
    X(Natural, 0x01FC0000, "Tag", MW_FIELD(m_Tag), "Tag", 0x03, 0x380)                             \
    X(Natural, 0x01FC0001, "Action", MW_FIELD(m_Action), "Action", 0x03, 0x380)                    \
    X(Natural, 0x01FC0002, "Argument", MW_FIELD(m_Argument), "Argument", 0x03, 0x380)
#define CSCRIPTTESTCMD_CHUNKS(X) X(0x01FC0000, 3)

MW_DEFINE_CLASS(CScriptTestCmd, MwFactory<CScriptTestCmd>, CSCRIPTTESTCMD_MEMBERS,
                CSCRIPTTESTCMD_CHUNKS);
namespace {
constexpr const char* kModeNames[] = {"Off", "On", nullptr, "Auto"};
static_assert(std::size(kModeNames) == CScriptTestObject::s_ModeNameCount);
} // namespace

#define CSCRIPTTESTOBJECT_MEMBERS(X)                                                               \
    X(Enum, 0x01FC1000, "Mode", MW_FIELD(m_Mode), "Mode", 0x03, 0x380, "", kModeNames)

MW_DEFINE_CLASS(CScriptTestObject, MwFactory<CScriptTestObject>, CSCRIPTTESTOBJECT_MEMBERS,
                MW_NO_CHUNKS);

namespace {
constinit CMwClassInfo* const s_Classes[] = {&CScriptTestCmd::s_ClassInfo,
                                             &CScriptTestObject::s_ClassInfo};
} // namespace
constinit const CMwClassList g_ScriptTestClassList = {s_Classes, 2};

std::string& ScriptTestTrace() {
    static std::string trace;
    return trace;
}

namespace {

CMwCmdBlock* ParentBlock(CMwCmdScript* node) {
    CMwCmdScript* parent = node->m_Parent;
    return parent && parent->IsKindOf(CMwCmdBlock::s_ClassId) ? static_cast<CMwCmdBlock*>(parent)
                                                              : nullptr;
}

} // namespace

void CScriptTestCmd::Run() {
    ++m_Runs;
    ScriptTestTrace() += char('a' + m_Tag % 26);
    CMwCmdBlock* block = ParentBlock(this);
    if (!block)
        return;
    switch (m_Action) {
        case Action_Return:
            block->Return(nullptr);
            break;
        case Action_Sleep:
            block->Sleep(m_Argument);
            break;
        case Action_Wait:
            block->Wait(nullptr);
            break;
        default:
            break;
    }
}

void CScriptTestCmd::Resume(u32 depth) {
    m_ResumeDepths.push_back(depth);
    CMwCmdBlock* block = ParentBlock(this);
    if (block && (m_Action == Action_Sleep || m_Action == Action_Wait))
        ++block->m_Pc;
}

void CScriptTestCmd::Break(CMwCmdInst* statement) {
    m_Breaks.push_back(statement);
}

void CScriptTestCmd::Continue(CMwCmdInst*) {
    ++m_Continues;
}

void CScriptTestCmd::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    archive.SerializeUInts(&m_Tag, 1);
    archive.SerializeUInts(&m_Action, 1);
    archive.SerializeUInts(&m_Argument, 1);
}

void CScriptTestRoot::Sleep(u32 milliseconds) {
    m_Sleeps.push_back(milliseconds);
    CMwCmdBlock::Sleep(milliseconds);
}

void CScriptTestRoot::Wait(CMwCmdExp* condition) {
    ++m_Waits;
    CMwCmdBlock::Wait(condition);
}
