#include "tests/script/support/ScriptTestNods.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwVirtualMember.h"

#include <bit>
#include <cstring>
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
constexpr const char* kXy[] = {"x", "y"};
constexpr const char* kXyz[] = {"x", "y", "z"};
constexpr u32 kSumTypes[] = {MwType_Integer, MwType_Integer, MwType_Integer};
constexpr const char* kSumNames[] = {"A", "B", "Result"};
constexpr u32 kSumFlags[] = {1, 1, 2}; // in, in, out
} // namespace

#define CSCRIPTTESTOBJECT_MEMBERS(X)                                                               \
    X(Enum, 0x01FC1000, "Mode", MW_FIELD(m_Mode), "Mode", 0x03, 0x380, "", kModeNames)             \
    X(Bool, 0x01FC1001, "Bool", MW_FIELD(m_Bool), "Bool", 0x03, 0x380)                             \
    X(Integer, 0x01FC1002, "Integer", MW_FIELD(m_Integer), "Integer", 0x0F, 0x380)                 \
    X(Natural, 0x01FC1003, "Natural", MW_FIELD(m_Natural), "Natural", 0x03, 0x380)                 \
    X(Real, 0x01FC1004, "Real", MW_FIELD(m_Real), "Real", 0x03, 0x380)                             \
    X(String, 0x01FC1005, "Name", MW_FIELD(m_Name), "Name", 0x03, 0x380)                           \
    X(StringInt, 0x01FC1006, "WideName", MW_FIELD(m_WideName), "Wide Name", 0x03, 0x380)           \
    X(Vec2, 0x01FC1007, "Vec2", MW_FIELD(m_Vec2), "Vec2", 0x03, 0x380, kXy)                        \
    X(Vec3, 0x01FC1008, "Vec3", MW_FIELD(m_Vec3), "Vec3", 0x03, 0x380, kXyz)                       \
    X(Iso4, 0x01FC1009, "Iso4", MW_FIELD(m_Iso4), "Iso4", 0x03, 0x380)                             \
    X(Class, 0x01FC100A, "Child", MW_FIELD(m_Child), "Child", 0x23, 0x3FA0,                        \
      &CScriptTestObject::s_ClassInfo, 1)                                                          \
    X(Action, 0x01FC100B, "Touch", MW_VIRTUAL(""), "Touch", 0x02, 0x380,                           \
      MwThunk<&CScriptTestObject::Touch>::Call)                                                    \
    X(Proc, 0x01FC100C, "Sum", MW_VIRTUAL(""), "Sum", 0x02, 0x380,                                 \
      MwThunk<&CScriptTestObject::Sum>::Call, kSumTypes, kSumNames, kSumFlags)                     \
    X(Buffer, 0x01FC100D, "Points", MW_FIELD(m_Points), "Points", 0x0F, 0x380, MwType_Vec3, 0xF,   \
      "Point")                                                                                     \
    X(RefBuffer, 0x01FC100E, "Children", MW_FIELD(m_Children), "Children", 0x0D, 0x3F82,           \
      MwType_Class, 0xF, "Child", &CScriptTestObject::s_ClassInfo)                                 \
    X(Buffer, 0x01FC100F, "Kept", MW_FIELD(m_Kept), "Kept", 0x01, 0x3F82, MwType_Class, 0xF,       \
      "Kept", &CScriptTestObject::s_ClassInfo)

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

CScriptTestObject::CScriptTestObject() {
    m_Children.SetAcceptedClassId(s_ClassId);
}

CScriptTestObject::~CScriptTestObject() {
    DropLinks();
    m_Points.FreeItems();
}

u32 CScriptTestObject::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_ChildMemberId)
            return MwNotOwnMember;
        if (path->HasCurrent())
            return m_Child ? m_Child->SetParam(path, value) : u32(MwParam_NotFound);
        auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
        if (nod && (!CMwNod::IsValidNod(nod) || !nod->IsKindOf(s_ClassId)))
            return u32(MwParam_NotFound);
        m_Child.Set(nod);
        return u32(MwParam_Ok);
    });
}

u32 CScriptTestObject::Sum(CMwMemberPath* path) {
    ++m_Sums;
    i32 start = -1;
    const MwPathValue* a = path->GetArgument(0, MwPathItem_ArgumentInteger, &start);
    const MwPathValue* b = path->GetArgument(1, MwPathItem_ArgumentInteger, &start);
    const MwPathValue* result = path->GetArgument(2, MwPathItem_ArgumentInteger, &start);
    if (!a || !b || !result || !*a || !*b || !*result)
        return MwParam_NotFound;
    i32 x, y;
    std::memcpy(&x, reinterpret_cast<const void*>(*a), sizeof x);
    std::memcpy(&y, reinterpret_cast<const void*>(*b), sizeof y);
    const i32 sum = std::bit_cast<i32>(std::bit_cast<u32>(x) + std::bit_cast<u32>(y));
    std::memcpy(reinterpret_cast<void*>(*result), &sum, sizeof sum);
    return MwParam_Ok;
}

void CScriptTestObject::Keep(CScriptTestObject* nod) {
    nod->AddRef();
    m_Kept.Add(nod);
}

void CScriptTestObject::DropLinks() {
    m_Child.Set(nullptr);
    m_Children.ReleaseAll();
    CFastBuffer<CScriptTestObject*> kept = m_Kept;
    m_Kept = {};
    for (u32 i = 0; i < kept.m_Count; ++i)
        kept.m_Items[i]->Release();
    kept.FreeItems();
}

void CScriptTestRoot::Sleep(u32 milliseconds) {
    m_Sleeps.push_back(milliseconds);
    CMwCmdBlock::Sleep(milliseconds);
}

void CScriptTestRoot::Wait(CMwCmdExp* condition) {
    ++m_Waits;
    CMwCmdBlock::Wait(condition);
}
