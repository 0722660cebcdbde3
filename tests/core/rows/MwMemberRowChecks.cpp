// Member rows checked by the compiler. Without a ROW_CASE_ definition every row fits and the file
// compiles; each ROW_CASE_ adds one row that does not fit, and the build must stop at it with
// its reason (tests/core/CMakeLists.txt lists the cases and the reasons).
#include "core/math/GmColor.h"
#include "core/math/Iso.h"
#include "core/math/Quat.h"
#include "core/math/Vec.h"
#include "core/nod/MwBitFieldMember.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwRefBuffer.h"
#include "core/nod/MwVirtualMember.h"

namespace {

class CRowNod : public CMwNod {
    MW_DECLARE_CLASS(CRowNod, CMwNod, 0x01FE0000)
public:
    void Reset() {}
    u32 Call(CMwMemberPath*) { return 0; }

    u32 m_Flag = 0;
    i32 m_Offset = 0;
    u32 m_Count = 0;
    f32 m_Scale = 0;
    u32 m_Mode = 0;
    CClassicString m_Label;
    CClassicWideString m_Caption;
    GmColorRgb m_Tint;
    Vec2 m_Size;
    Vec3 m_Position;
    Vec4 m_Plane;
    Quat m_Rotation;
    Iso3 m_Frame;
    Iso4 m_Location;
    CRowNod* m_Link = nullptr;
    CMwNodRef m_Held;
    CFastArray<f32> m_Ranges;
    CFastBuffer<CRowNod*> m_Children;
    CMwBucketList<u32> m_Ticks;
    CMwRefBuffer m_Nods;
    u32 m_Renamed = 0;

    // Fields the failing rows stand on.
    bool m_CppBool = false;
    CMwNod* m_Plain = nullptr;
    u32* m_NotANod = nullptr;
    CFastBuffer<i32> m_Integers;
    CFastBuffer<CMwNodRef> m_HeldList;
};

constexpr const char* kModes[] = {"Off", "On"};
constexpr const char* kXy[] = {"x", "y"};
constexpr const char* kXyz[] = {"x", "y", "z"};
constexpr const char* kXyzw[] = {"x", "y", "z", "w"};
constexpr u32 kArgTypes[] = {MwType_Natural};
constexpr const char* kArgNames[] = {"Count"};
constexpr u32 kArgValues[] = {0};

// The row that must fail, as the next row of the table (index 0x1F).
#if defined(ROW_CASE_BOOL_OVER_CPP_BOOL)
#define BAD_ROW(X) X(Bool, 0x01FE001F, "Bad", MW_FIELD(m_CppBool), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_VEC2_OVER_F32)
#define BAD_ROW(X) X(Vec2, 0x01FE001F, "Bad", MW_FIELD(m_Scale), "Bad", 0x03, 0x380, kXy)
#elif defined(ROW_CASE_INTEGER_OVER_U32)
#define BAD_ROW(X) X(Integer, 0x01FE001F, "Bad", MW_FIELD(m_Count), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_STRING_OVER_WIDE_STRING)
#define BAD_ROW(X) X(String, 0x01FE001F, "Bad", MW_FIELD(m_Caption), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_COLOR_OVER_VEC3)
#define BAD_ROW(X) X(Color, 0x01FE001F, "Bad", MW_FIELD(m_Position), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_CLASS_OVER_NON_NOD)
#define BAD_ROW(X)                                                                                 \
    X(Class, 0x01FE001F, "Bad", MW_FIELD(m_NotANod), "Bad", 0x03, 0x380, &CRowNod::s_ClassInfo, 0)
#elif defined(ROW_CASE_REFERENCE_ROW_OVER_PLAIN_POINTER)
#define BAD_ROW(X)                                                                                 \
    X(Class, 0x01FE001F, "Bad", MW_FIELD(m_Plain), "Bad", 0x03, 0x380, &CRowNod::s_ClassInfo, 1)
#elif defined(ROW_CASE_PLAIN_ROW_OVER_REFERENCE)
#define BAD_ROW(X)                                                                                 \
    X(Class, 0x01FE001F, "Bad", MW_FIELD(m_Held), "Bad", 0x03, 0x380, &CRowNod::s_ClassInfo, 0)
#elif defined(ROW_CASE_CLASS_WITHOUT_RECORD)
#define BAD_ROW(X) X(Class, 0x01FE001F, "Bad", MW_FIELD(m_Plain), "Bad", 0x03, 0x380, nullptr, 0)
#elif defined(ROW_CASE_ENUM_WITHOUT_NAMES)
#define BAD_ROW(X) X(Enum, 0x01FE001F, "Bad", MW_FIELD(m_Mode), "Bad", 0x03, 0x380, "", nullptr)
#elif defined(ROW_CASE_ARRAY_OF_ENUM)
#define BAD_ROW(X)                                                                                 \
    X(Array, 0x01FE001F, "Bad", MW_VIRTUAL(""), "Bad", 0x11, 0x380, MwType_Enum, 0x1, "Mode")
#elif defined(ROW_CASE_BUFFER_OF_OTHER_ELEMENTS)
#define BAD_ROW(X)                                                                                 \
    X(Buffer, 0x01FE001F, "Bad", MW_FIELD(m_Integers), "Bad", 0x03, 0x380, MwType_Natural, 0x1,    \
      "Value")
#elif defined(ROW_CASE_BUFFER_OVER_ARRAY)
#define BAD_ROW(X)                                                                                 \
    X(Buffer, 0x01FE001F, "Bad", MW_FIELD(m_Ranges), "Bad", 0x03, 0x380, MwType_Real, 0x1, "Range")
#elif defined(ROW_CASE_LIST_OF_REFERENCES)
#define BAD_ROW(X)                                                                                 \
    X(Buffer, 0x01FE001F, "Bad", MW_FIELD(m_HeldList), "Bad", 0x03, 0x380, MwType_Class, 0x1,      \
      "Nod", &CMwNod::s_ClassInfo)
#elif defined(ROW_CASE_NOD_LIST_WITHOUT_RECORD)
#define BAD_ROW(X)                                                                                 \
    X(Buffer, 0x01FE001F, "Bad", MW_FIELD(m_Children), "Bad", 0x03, 0x380, MwType_Class, 0x1, "Nod")
#elif defined(ROW_CASE_VALUE_LIST_WITH_RECORD)
#define BAD_ROW(X)                                                                                 \
    X(Buffer, 0x01FE001F, "Bad", MW_FIELD(m_Integers), "Bad", 0x03, 0x380, MwType_Integer, 0x1,    \
      "Value", &CMwNod::s_ClassInfo)
#elif defined(ROW_CASE_REFBUFFER_OVER_BUFFER)
#define BAD_ROW(X)                                                                                 \
    X(RefBuffer, 0x01FE001F, "Bad", MW_FIELD(m_Children), "Bad", 0x0F, 0x380, MwType_Class, 0xF,   \
      "Nod", &CMwNod::s_ClassInfo)
#elif defined(ROW_CASE_ACTION_WITH_FIELD)
#define BAD_ROW(X)                                                                                 \
    X(Action, 0x01FE001F, "Bad", MW_FIELD(m_Flag), "Bad", 0x02, 0x380,                             \
      MwThunk<&CRowNod::Reset>::Call)
#elif defined(ROW_CASE_RANGE_UPSIDE_DOWN)
#define BAD_ROW(X)                                                                                 \
    X(NaturalRange, 0x01FE001F, "Bad", MW_FIELD(m_Count), "Bad", 0x03, 0x380, 10u, 1u)
#elif defined(ROW_CASE_ID_OF_ANOTHER_ROW)
#define BAD_ROW(X) X(Natural, 0x01FE0020, "Bad", MW_FIELD(m_Count), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_ID_OF_ANOTHER_CLASS)
#define BAD_ROW(X) X(Natural, 0x01FD001F, "Bad", MW_FIELD(m_Count), "Bad", 0x03, 0x380)
#elif defined(ROW_CASE_NOT_A_FIELD)
#define BAD_ROW(X) X(Natural, 0x01FE001F, "Bad", 8, "Bad", 0x03, 0x380)
#else
#define BAD_ROW(X)
#endif

// Every kind over its field, and every kind without field.
#define CROWNOD_MEMBERS(X)                                                                         \
    X(Bool, 0x01FE0000, "Flag", MW_FIELD(m_Flag), "Flag", 0x03, 0x380)                             \
    X(Integer, 0x01FE0001, "Offset", MW_FIELD(m_Offset), "Offset", 0x03, 0x380)                    \
    X(Natural, 0x01FE0002, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)                       \
    X(Real, 0x01FE0003, "Scale", MW_FIELD(m_Scale), "Scale", 0x03, 0x380)                          \
    X(Enum, 0x01FE0004, "Mode", MW_FIELD(m_Mode), "Mode", 0x03, 0x380, "EMode::", kModes)          \
    X(String, 0x01FE0005, "Label", MW_FIELD(m_Label), "Label", 0x03, 0x380)                        \
    X(StringInt, 0x01FE0006, "Caption", MW_FIELD(m_Caption), "Caption", 0x03, 0x380)               \
    X(Color, 0x01FE0007, "Tint", MW_FIELD(m_Tint), "Tint", 0x03, 0x380)                            \
    X(Vec2, 0x01FE0008, "Size", MW_FIELD(m_Size), "Size", 0x03, 0x380, kXy)                        \
    X(Vec3, 0x01FE0009, "Position", MW_FIELD(m_Position), "Position", 0x03, 0x380, kXyz)           \
    X(Vec4, 0x01FE000A, "Plane", MW_FIELD(m_Plane), "Plane", 0x03, 0x380, kXyzw)                   \
    X(Quat, 0x01FE000B, "Rotation", MW_FIELD(m_Rotation), "Rotation", 0x03, 0x380)                 \
    X(Iso3, 0x01FE000C, "Frame", MW_FIELD(m_Frame), "Frame", 0x03, 0x380)                          \
    X(Iso4, 0x01FE000D, "Location", MW_FIELD(m_Location), "Location", 0x03, 0x380)                 \
    X(IntegerRange, 0x01FE000E, "Bias", MW_FIELD(m_Offset), "Bias", 0x03, 0x380, -5, 5)            \
    X(NaturalRange, 0x01FE000F, "Size", MW_FIELD(m_Count), "Size", 0x03, 0x380, 0u, 64000u)        \
    X(RealRange, 0x01FE0010, "Gain", MW_FIELD(m_Scale), "Gain", 0x03, 0x380, 0.0f, 1.0f)           \
    X(Class, 0x01FE0011, "Link", MW_FIELD(m_Link), "Link", 0x03, 0x380, &CRowNod::s_ClassInfo, 0)  \
    X(Class, 0x01FE0012, "Held", MW_FIELD(m_Held), "Held", 0x03, 0x3FA0, &CMwNod::s_ClassInfo, 1)  \
    X(Array, 0x01FE0013, "Ranges", MW_FIELD(m_Ranges), "Ranges", 0x03, 0x380, MwType_Real, 0xF,    \
      "Range")                                                                                     \
    X(Buffer, 0x01FE0014, "Children", MW_FIELD(m_Children), "Children", 0x0F, 0x3F82,              \
      MwType_Class, 0xF, "Child", &CRowNod::s_ClassInfo)                                           \
    X(BucketList, 0x01FE0015, "Ticks", MW_FIELD(m_Ticks), "Ticks", 0x01, 0x380, MwType_Natural,    \
      0x1, "Tick")                                                                                 \
    X(RefBuffer, 0x01FE0016, "Nods", MW_FIELD(m_Nods), "Nods", 0xCD, 0x3F82, MwType_Class, 0xF,    \
      "Nod", &CMwNod::s_ClassInfo)                                                                 \
    X(Action, 0x01FE0017, "Reset", MW_VIRTUAL(""), "Reset", 0x02, 0x380,                           \
      MwThunk<&CRowNod::Reset>::Call)                                                              \
    X(Proc, 0x01FE0018, "Call", MW_VIRTUAL(""), "Call", 0x02, 0x380,                               \
      MwThunk<&CRowNod::Call>::Call, kArgTypes, kArgNames, kArgValues)                             \
    X(Natural, 0x01FE0019, "Other", MW_FIELD_NAMED(m_Renamed, "m_Other"), "Other", 0x03, 0x380)    \
    X(Vec3, 0x01FE001A, "Computed", MW_VIRTUAL("m_Computed"), "Computed", 0x11, 0x380, kXyz)       \
    X(Class, 0x01FE001B, "Owner", MW_VIRTUAL("m_Owner"), "Owner", 0x11, 0x380,                     \
      &CRowNod::s_ClassInfo, 1)                                                                    \
    X(Buffer, 0x01FE001C, "Values", MW_VIRTUAL("m_Values"), "Values", 0x11, 0x380, MwType_Real,    \
      0x1, "Value")                                                                                \
    X(Enum, 0x01FE001D, "State", MW_VIRTUAL("m_State"), "State", 0x11, 0x380, "", kModes)          \
    X(Bool, 0x01FE001E, "Busy", MW_VIRTUAL("m_Busy"), "Busy", 0x11, 0x380)                         \
    BAD_ROW(X)

MW_DEFINE_CLASS(CRowNod, MwFactory<CRowNod>, CROWNOD_MEMBERS, MW_NO_CHUNKS);

// The virtual member operations of a class declared with MW_DECLARE_CLASS reach its base; a class
// without a declaration of its own must not use the helpers (its Super is its ancestor's base).
class CVirtualRowNod : public CRowNod {
    MW_DECLARE_CLASS(CVirtualRowNod, CRowNod, 0x01FE1000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out,
                                 [](CMwMemberInfo&) -> MwOwnAnswer { return MwNotOwnMember; });
    }
};
MW_DEFINE_CLASS(CVirtualRowNod, MwFactory<CVirtualRowNod>, MW_NO_MEMBERS, MW_NO_CHUNKS);

// A bit-field table over two flag words, with a row that must fail as its last entry.
#if defined(ROW_CASE_BIT_FIELD_PAST_THE_WORD)
#define BAD_BIT_FIELD                                                                              \
    , {                                                                                            \
        0x01FE001F, 1, 30, 4, 1, 0                                                                 \
    }
#elif defined(ROW_CASE_BIT_FIELD_MAX_OVER_WIDTH)
#define BAD_BIT_FIELD                                                                              \
    , {                                                                                            \
        0x01FE001F, 0, 8, 2, 4, 0                                                                  \
    }
#elif defined(ROW_CASE_BIT_FIELD_OF_ANOTHER_CLASS)
#define BAD_BIT_FIELD                                                                              \
    , {                                                                                            \
        0x01FD001E, 0, 8, 1, 1, 0                                                                  \
    }
#elif defined(ROW_CASE_BIT_FIELD_WITHOUT_WORD)
#define BAD_BIT_FIELD                                                                              \
    , {                                                                                            \
        0x01FE001F, 2, 0, 1, 1, 0                                                                  \
    }
#elif defined(ROW_CASE_BIT_FIELD_TWICE)
#define BAD_BIT_FIELD                                                                              \
    , {                                                                                            \
        0x01FE001E, 0, 8, 1, 1, 0                                                                  \
    }
#else
#define BAD_BIT_FIELD
#endif
[[maybe_unused]] constexpr auto kBitFields = MwBitFieldTable<0x01FE0000, 2>({
    {0x01FE001D, 0, 0, 2, 1, 0}, // State: values 0 and 1 in two bits
    {0x01FE001E, 1, 31, 1, 1, 1} BAD_BIT_FIELD,
});
static_assert(kBitFields.Find(0x01FE001E)->Shift == 31 && kBitFields.Find(0x01FE0000) == nullptr);

#if defined(ROW_CASE_VIRTUAL_OPERATIONS_WITHOUT_DECLARATION)
class CUndeclaredNod : public CVirtualRowNod {
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out,
                                 [](CMwMemberInfo&) -> MwOwnAnswer { return MwNotOwnMember; });
    }
};
#endif

} // namespace
