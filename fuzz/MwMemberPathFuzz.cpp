// Fuzzes member paths from text: parsing a path against a small class tree, checking it,
// describing its target, reading it, and setting members from a value text.
//
// The input is "<mode byte><path text>=<value text>" (no '=': no value text), up to 64 KB as a
// parameter-set file could hold (run with -max_len=65536). Mode bit 0 parses by class id instead
// of through the nod, bit 1 sets the member from the value text, bit 2 reads the value back as
// text. Every outcome must be a result code, never a fault, and a failed parse must leave the
// path empty.
#include "core/base/ClassicLog.h"
#include "core/math/GmColor.h"
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"

#include <cstdlib>
#include <cstring>

namespace {

class CFuzzBase : public CMwNod {
    MW_DECLARE_CLASS(CFuzzBase, CMwNod, 0x01F88000)
public:
    CMwId* GetIdPtr() override { return &m_Id; }

    CMwId m_Id;
    u32 m_Count = 0;
    CMwNod* m_Child = nullptr;
};

#define FUZZ_BASE_MEMBERS(X)                                                                       \
    X(Natural, 0x01F88000, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)                       \
    X(Class, 0x01F88001, "Child", MW_FIELD(m_Child), "Child", 0x03, 0x380,                         \
      &CFuzzBase::s_ClassInfo, 0)

MW_DEFINE_CLASS(CFuzzBase, MwFactory<CFuzzBase>, FUZZ_BASE_MEMBERS, MW_NO_CHUNKS);

class CFuzzNod : public CFuzzBase {
    MW_DECLARE_CLASS(CFuzzNod, CFuzzBase, 0x01F89000)
public:
    ~CFuzzNod() override {
        m_Nods.FreeItems();
        m_Values.FreeItems();
    }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != 0x01F89010)
                return MwNotOwnMember;
            out->Value = &m_Virtual;
            return MwParam_Ok;
        });
    }
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != 0x01F89010)
                return MwNotOwnMember;
            m_Virtual = *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    void Reset() { ++m_Resets; }
    u32 Call(CMwMemberPath*) { return ++m_Resets; }

    u32 m_Enabled = 0;
    i32 m_Offset = 0;
    u32 m_Mode = 0;
    f32 m_Scale = 0;
    CClassicString m_Label;
    CClassicWideString m_Caption;
    Vec3 m_Pos;
    Vec2 m_Size2;
    Iso4 m_Loc;
    GmColorRgb m_Color;
    CMwNodRef m_Held;
    CMwNod* m_Link = nullptr;
    CFastBuffer<CMwNod*> m_Nods;
    CFastBuffer<u32> m_Values;
    u32 m_Size = 0;
    u32 m_Virtual = 0;
    u32 m_Resets = 0;
};

constexpr const char* kModes[] = {"ModulateAdd", "Modulate", "Add", "ModulateX2"};
constexpr const char* kXyz[] = {"x", "y", "z"};
constexpr const char* kXy[] = {"x", "y"};
constexpr u32 kArgTypes[] = {MwType_Natural, MwType_Iso4, CFuzzBase::s_ClassId};
constexpr const char* kArgNames[] = {"Count", "Loc", "Target"};
constexpr u32 kArgValues[] = {0, 0, 0};

#define FUZZ_NOD_MEMBERS(X)                                                                        \
    X(Bool, 0x01F89000, "Enabled", MW_FIELD(m_Enabled), "Enabled", 0x0F, 0x380)                    \
    X(Integer, 0x01F89001, "Offset", MW_FIELD(m_Offset), "Offset", 0x0F, 0x380)                    \
    X(Enum, 0x01F89002, "Mode", MW_FIELD(m_Mode), "Mode", 0x0F, 0x380, "", kModes)                 \
    X(Real, 0x01F89003, "Scale", MW_FIELD(m_Scale), "Scale", 0x0F, 0x380)                          \
    X(String, 0x01F89004, "Label", MW_FIELD(m_Label), "Label", 0x0F, 0x380)                        \
    X(StringInt, 0x01F89005, "Caption", MW_FIELD(m_Caption), "Caption", 0x03, 0x380)               \
    X(Vec3, 0x01F89006, "Pos", MW_FIELD(m_Pos), "Pos", 0x0F, 0x380, kXyz)                          \
    X(Vec2, 0x01F89007, "Size2", MW_FIELD(m_Size2), "Size2", 0x0F, 0x380, kXy)                     \
    X(Iso4, 0x01F89008, "Loc", MW_FIELD(m_Loc), "Loc", 0x03, 0x380)                                \
    X(Color, 0x01F89009, "Color", MW_FIELD(m_Color), "Color", 0x03, 0x380)                         \
    X(Class, 0x01F8900A, "Held", MW_FIELD(m_Held), "Held", 0x03, 0x3FA0, &CFuzzBase::s_ClassInfo,  \
      1)                                                                                           \
    X(Class, 0x01F8900B, "Link", MW_FIELD(m_Link), "Link", 0x03, 0x380, &CFuzzNod::s_ClassInfo, 0) \
    X(Buffer, 0x01F8900C, "Nods", MW_FIELD(m_Nods), "Nods", 0x0F, 0x3F82, MwType_Class, 0xF,       \
      "Nod", &CFuzzBase::s_ClassInfo)                                                              \
    X(Buffer, 0x01F8900D, "Values", MW_FIELD(m_Values), "Values", 0x0F, 0x380, MwType_Natural,     \
      0x1, "Value")                                                                                \
    X(NaturalRange, 0x01F8900E, "Size", MW_FIELD(m_Size), "Size", 0x03, 0x380, 0u, 64000u)         \
    X(Action, 0x01F8900F, "Reset", MW_VIRTUAL(""), "Reset", 0x02, 0x380,                           \
      MwThunk<&CFuzzNod::Reset>::Call)                                                             \
    X(Natural, 0x01F89010, "Virtual", MW_VIRTUAL("m_Virtual"), "Virtual", 0x33, 0x380)             \
    X(Proc, 0x01F89011, "Call", MW_VIRTUAL(""), "Call", 0x02, 0x380,                               \
      MwThunk<&CFuzzNod::Call>::Call, kArgTypes, kArgNames, kArgValues)

MW_DEFINE_CLASS(CFuzzNod, MwFactory<CFuzzNod>, FUZZ_NOD_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_FuzzClasses[] = {&CFuzzBase::s_ClassInfo, &CFuzzNod::s_ClassInfo};

// Reads the target of a checked path back as text, when its kind has a text form.
void ReadBack(CMwNod& nod, CMwMemberPath& path) {
    CMwTargetInfo target;
    if (path.GetTargetInfo(&target) != MwParam_Ok)
        return;
    path.Reset();
    if (nod.CheckParam(&path) != MwParam_Ok)
        return;
    path.Reset();
    CMwParamValue value;
    if (nod.GetParam(&path, &value) != MwParam_Ok || !value.Value)
        return;
    CMwParam* param = target.Get().Param;
    if (param && param->CanToText()) {
        CClassicWideString text;
        param->ToText(text, value.Value, &target.Get(), CMwParamTextOptions{});
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(CMwClassList{s_FuzzClasses, 2});
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 16))
        return 0;
    const u8 mode = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    const u32 length = static_cast<u32>(size - 1);
    const char* equals = static_cast<const char*>(std::memchr(text, '=', length));
    const u32 pathLength = equals ? static_cast<u32>(equals - text) : length;
    const CClassicString pathText(CClassicStringRef(text, pathLength));
    CClassicWideString valueText;
    if (equals)
        valueText.AssignUtf8(CClassicStringRef(equals + 1, length - pathLength - 1));

    // A small tree with a cycle: root.Link is the other nod, whose Child is the root. Both live
    // on the stack: a reference of their own keeps the Held members from deleting them.
    CFuzzNod root, other;
    root.AddRef();
    other.AddRef();
    root.m_Link = &other;
    root.m_Child = &other;
    other.m_Child = &root;
    root.m_Nods.Add(&other);
    root.m_Nods.Add(nullptr);
    root.m_Values.Add(7);
    other.SetIdName("Other");

    CMwMemberPath path;
    const u32 result = (mode & 1) ? path.ParseFromText(CFuzzNod::s_ClassId, nullptr, pathText)
                                  : path.ParseFromText(0xFFFFFFFF, &root, pathText);
    if (result != MwParam_Ok && path.m_Count != 0)
        std::abort();
    if (path.m_Count > CMwMemberPath::s_MaxTextTokens)
        std::abort();
    if (result == MwParam_Ok)
        ReadBack(root, path);

    if (mode & 2) {
        root.SetParamFromText(pathText, valueText);
        if (mode & 4 && path.ParseFromText(0xFFFFFFFF, &root, pathText) == MwParam_Ok)
            ReadBack(root, path);
    }
    // The tree lives on the stack and goes whatever its counts say, once no member holds a
    // reference on the other nod.
    root.m_Held.Set(nullptr);
    other.m_Held.Set(nullptr);
    return 0;
}
