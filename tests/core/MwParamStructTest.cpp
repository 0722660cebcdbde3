// The structured member kinds: whole and component access through member paths, the length item,
// products and compositions, the text of Vec2 and Vec3, the bounds rule, the component tables and
// the child paths.
#include "core/nod/MwParamStruct.h"

#include "CoreTestSupport.h"
#include "core/math/Iso.h"
#include "core/math/Quat.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr u32 kLength = 0xFFFFFFFF;

// A nod with one member of each structured kind.
class CTestShapes : public CMwNod {
    MW_DECLARE_CLASS(CTestShapes, CMwNod, 0x01F42000)
public:
    CMwParamColor::CValue m_Tint;
    Vec2 m_Size;
    Vec3 m_Position;
    Vec4 m_Plane;
    Quat m_Rotation;
    Iso3 m_Frame;
    Iso4 m_Location;
};

constexpr u32 kTint = 0x01F42000;
constexpr u32 kSize = 0x01F42001;
constexpr u32 kPosition = 0x01F42002;
constexpr u32 kPlane = 0x01F42003;
constexpr u32 kRotation = 0x01F42004;
constexpr u32 kFrame = 0x01F42005;
constexpr u32 kLocation = 0x01F42006;

constexpr const char* kXy[] = {"x", "y"};
constexpr const char* kXyz[] = {"x", "y", "z"};
constexpr const char* kXyzw[] = {"x", "y", "z", "w"};

#define TEST_SHAPES_MEMBERS(X)                                                                     \
    X(Color, 0x01F42000, "Tint", MW_FIELD(m_Tint), "Tint", 0x0F, 0x380)                            \
    X(Vec2, 0x01F42001, "Size", MW_FIELD(m_Size), "Size", 0x0F, 0x380, kXy)                        \
    X(Vec3, 0x01F42002, "Position", MW_FIELD(m_Position), "Position", 0x0F, 0x380, kXyz)           \
    X(Vec4, 0x01F42003, "Plane", MW_FIELD(m_Plane), "Plane", 0x0F, 0x380, kXyzw)                   \
    X(Quat, 0x01F42004, "Rotation", MW_FIELD(m_Rotation), "Rotation", 0x0F, 0x380)                 \
    X(Iso3, 0x01F42005, "Frame", MW_FIELD(m_Frame), "Frame", 0x0F, 0x380)                          \
    X(Iso4, 0x01F42006, "Location", MW_FIELD(m_Location), "Location", 0x0F, 0x380)

MW_DEFINE_CLASS(CTestShapes, MwFactory<CTestShapes>, TEST_SHAPES_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {&CTestShapes::s_ClassInfo};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 1};

class MwParamStruct : public CMwCoreFixture {
protected:
    MwParamStruct() : CMwCoreFixture(&s_TestClassList) {}
};

// The path [member, items...], built by hand, set back to its first item.
void BuildPath(CMwMemberPath& path, u32 memberId, const std::vector<MwPathValue>& indices,
               u32 kind = MwPathItem_Index) {
    path.Reserve(u32(1 + indices.size()));
    ASSERT_EQ(
        path.PushFront(reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(memberId))),
        0u);
    for (MwPathValue index : indices) {
        ASSERT_EQ(path.PushFront(index), 0u);
        path.m_Kinds[0] = kind;
    }
    path.Reset();
}

enum class EOp { Get, Set, Add, Sub };

// Runs one operation the way the nod's member operations route it: the member item is consumed
// and the member's descriptor works on the field.
u32 RunOp(CTestShapes& nod, EOp op, u32 memberId, const std::vector<MwPathValue>& indices,
          const void* input, CMwParamValue* out = nullptr, u32 kind = MwPathItem_Index) {
    CMwMemberPath path;
    BuildPath(path, memberId, indices, kind);
    CMwMemberInfo* member = path.TakeMember();
    EXPECT_NE(member, nullptr);
    if (!member || !member->Param)
        return 0xBAD;
    void* field = reinterpret_cast<u8*>(&nod) + member->FieldOffset;
    u32 result = 0xBAD;
    switch (op) {
        case EOp::Get:
            result = member->Param->Get(field, &path, out);
            break;
        case EOp::Set:
            result = member->Param->Set(field, &path, input);
            break;
        case EOp::Add:
            result = member->Param->Add(field, &path, input);
            break;
        case EOp::Sub:
            result = member->Param->Sub(field, &path, input);
            break;
    }
    if (result == 0) {
        EXPECT_FALSE(path.HasCurrent()) << "a success consumes every item";
    }
    return result;
}

f32 ScratchFloat(const CMwParamValue& value, u32 i = 0) {
    f32 f = 0;
    std::memcpy(&f, value.Scratch + i * sizeof(f32), sizeof f);
    return f;
}

std::vector<f32> Floats(const void* value, u32 count) {
    std::vector<f32> floats(count);
    std::memcpy(floats.data(), value, count * sizeof(f32));
    return floats;
}

// The bytes of every member, to show that nothing changed.
std::vector<u8> Snapshot(const CTestShapes& nod) {
    std::vector<u8> bytes;
    auto add = [&bytes](const void* p, size_t n) {
        bytes.insert(bytes.end(), static_cast<const u8*>(p), static_cast<const u8*>(p) + n);
    };
    add(&nod.m_Tint, sizeof nod.m_Tint);
    add(&nod.m_Size, sizeof nod.m_Size);
    add(&nod.m_Position, sizeof nod.m_Position);
    add(&nod.m_Plane, sizeof nod.m_Plane);
    add(&nod.m_Rotation, sizeof nod.m_Rotation);
    add(&nod.m_Frame, sizeof nod.m_Frame);
    add(&nod.m_Location, sizeof nod.m_Location);
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Component tables and descriptor identity

struct CKindRow {
    u32 ClassId;
    u32 TypeCode;
    std::vector<const char*> Names;
    std::vector<const char*> Labels;
    u32 AxisCount; // leading components with flags 0x11, the rest 0xFF
    bool HasText;
};

const std::vector<CKindRow>& KindRows() {
    static const std::vector<CKindRow> rows = {
        {0x01018000, 9, {"r", "g", "b"}, {"red", "green", "blue"}, 0, false},
        {0x01019000, 45, {"x", "y"}, {"x", "y"}, 0, true},
        {0x01016000, 49, {"x", "y", "z"}, {"x", "y", "z"}, 0, true},
        {0x0101F000, 53, {"x", "y", "z", "w"}, {"x", "y", "z", "w"}, 0, false},
        {0x010B0000, 57, {"w", "x", "y", "z"}, {"w", "x", "y", "z"}, 0, false},
        {0x01017000,
         23,
         {"AxeXx", "AxeXy", "AxeYx", "AxeYy", "tx", "ty"},
         {"Axe X/x", "Axe X/y", "Axe Y/x", "Axe Y/y", "tx", "ty"},
         4,
         false},
        {0x0101A000,
         19,
         {"AxeXx", "AxeXy", "AxeXz", "AxeYx", "AxeYy", "AxeYz", "AxeZx", "AxeZy", "AxeZz", "tx",
          "ty", "tz"},
         {"Axe X/x", "Axe X/y", "Axe X/z", "Axe Y/x", "Axe Y/y", "Axe Y/z", "Axe Z/x", "Axe Z/y",
          "Axe Z/z", "tx", "ty", "tz"},
         9,
         false},
    };
    return rows;
}

TEST_F(MwParamStruct, EachKindDeclaresItsComponentsAsRealMembersInValueOrder) {
    CMwParam* real = CMwParam::GetDescriptor(MwType_Real);
    ASSERT_NE(real, nullptr);
    for (const CKindRow& row : KindRows()) {
        SCOPED_TRACE(testing::Message() << "type code " << row.TypeCode);
        const u32 n = u32(row.Names.size());
        const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(row.ClassId);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->m_MemberCount, n);
        for (u32 i = 0; i < n; ++i) {
            const CMwMemberInfo* member = info->m_MemberInfos[i];
            EXPECT_EQ(member, CMwClassRegistry::GetMemberInfo(row.ClassId | i));
            EXPECT_EQ(member->TypeCode, u32(MwType_Real));
            EXPECT_EQ(member->MemberId, row.ClassId | i);
            EXPECT_EQ(member->Param, real);
            EXPECT_EQ(member->FieldOffset, -1);
            EXPECT_STREQ(member->Name, row.Names[i]);
            EXPECT_EQ(member->FieldName, ClassicEmptyText<char>()) << "the shared empty text";
            EXPECT_STREQ(member->Label, row.Labels[i]);
            EXPECT_EQ(member->Flags, i < row.AxisCount ? 0x11u : 0xFFu) << member->Name;
            EXPECT_EQ(member->Mask, 0x380u);
        }

        // The shared descriptor and a fresh one enumerate the root's IdName, then the components.
        CMwParam* shared = CMwParam::GetDescriptor(row.TypeCode);
        ASSERT_NE(shared, nullptr);
        EXPECT_EQ(shared->GetClassId(), row.ClassId);
        CMwNod* fresh = CMwClassRegistry::CreateNodById(row.ClassId);
        ASSERT_NE(fresh, nullptr);
        for (CMwNod* nod : {static_cast<CMwNod*>(shared), fresh}) {
            ASSERT_EQ(nod->MemberCount(), n + 1);
            EXPECT_EQ(nod->MemberIdByIndex(0), 0x01001000u);
            for (u32 i = 1; i <= n; ++i)
                EXPECT_EQ(nod->MemberIdByIndex(i), row.ClassId | (i - 1));
        }
        delete fresh;

        const CMwParamValue value;
        EXPECT_TRUE(shared->IsStruct());
        EXPECT_EQ(shared->GetComponentCount(value), n);
        EXPECT_EQ(shared->CanToText(), row.HasText);
        EXPECT_EQ(shared->CanFromText(), row.HasText);
        EXPECT_FALSE(shared->IsContainerKind());
        EXPECT_EQ(shared->GetCount(value), 0u);
        u32 first = 0, second = 0;
        shared->GetKindPair(&first, &second);
        EXPECT_EQ(first, 3u);
        EXPECT_EQ(second, 4u);

        const CMwStructShape* shape = CMwParamStruct::FindShape(row.TypeCode);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(shape, static_cast<CMwParamStruct*>(shared)->GetShape());
        EXPECT_EQ(shape->ComponentCount, n);
        EXPECT_EQ(shape->ValueSize, n * 4);
        EXPECT_EQ(shape->HasLength, row.TypeCode == 45 || row.TypeCode == 49 || row.TypeCode == 53);
    }
    EXPECT_EQ(CMwParamStruct::FindShape(MwType_Real), nullptr);
    EXPECT_EQ(CMwParamStruct::FindShape(50), nullptr) << "a Vec3 array is no structured value";
}

TEST_F(MwParamStruct, TheBaseIsAStructWithoutValue) {
    CMwParamStruct base;
    f32 field[3] = {1, 2, 3};
    const f32 input[3] = {5, 5, 5};
    CMwMemberPath path(1);
    path.PushFront(0);
    path.m_Kinds[0] = MwPathItem_Index;
    path.Reset();
    CMwParamValue value;
    EXPECT_TRUE(base.IsStruct());
    EXPECT_EQ(base.GetShape(), nullptr);
    EXPECT_EQ(base.GetComponentCount(value), 0u);
    EXPECT_EQ(base.Get(field, &path, &value), 0u);
    EXPECT_EQ(value.Value, nullptr);
    EXPECT_EQ(base.Add(field, &path, input), 0u);
    EXPECT_EQ(Floats(field, 3), (std::vector<f32>{1, 2, 3}));
    EXPECT_EQ(base.MemberCount(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Get

TEST_F(MwParamStruct, TheLengthItemComputesTheLengthIntoScratch) {
    CTestShapes nod;
    nod.m_Size = {3, 4};
    nod.m_Position = {3, 4, 0};
    nod.m_Plane = {1, 1, 1, 1};
    const std::vector<u8> before = Snapshot(nod);
    struct Case {
        u32 Member;
        f32 Length;
    };
    for (const Case& c : {Case{kSize, 5}, Case{kPosition, 5}, Case{kPlane, 2}}) {
        CMwParamValue out;
        ASSERT_EQ(RunOp(nod, EOp::Get, c.Member, {kLength}, nullptr, &out), 0u) << c.Member;
        EXPECT_EQ(out.Value, out.Scratch);
        EXPECT_EQ(ScratchFloat(out), c.Length) << c.Member;
    }
    EXPECT_EQ(Snapshot(nod), before);
}

TEST_F(MwParamStruct, AComponentItemGivesTheComponentsAddress) {
    CTestShapes nod;
    struct Case {
        u32 Member;
        u32 Index;
        const f32* Expected;
    };
    const Case cases[] = {
        {kTint, 0, &nod.m_Tint.r},
        {kTint, 2, &nod.m_Tint.b},
        {kSize, 1, &nod.m_Size.y},
        {kPosition, 1, &nod.m_Position.y},
        {kPlane, 3, &nod.m_Plane.w},
        {kRotation, 0, &nod.m_Rotation.w},
        {kRotation, 3, &nod.m_Rotation.z},
        {kFrame, 2, &nod.m_Frame.R.m10},
        {kFrame, 4, &nod.m_Frame.t.x},
        {kFrame, 5, &nod.m_Frame.t.y},
        {kLocation, 5, &nod.m_Location.R.m12},
        {kLocation, 8, &nod.m_Location.R.m22},
        {kLocation, 9, &nod.m_Location.t.x},
        {kLocation, 11, &nod.m_Location.t.z},
    };
    for (const Case& c : cases) {
        CMwParamValue out;
        EXPECT_EQ(RunOp(nod, EOp::Get, c.Member, {c.Index}, nullptr, &out), 0u);
        EXPECT_EQ(out.Value, c.Expected) << c.Member << " component " << c.Index;
    }
    CMwParamValue whole;
    EXPECT_EQ(RunOp(nod, EOp::Get, kLocation, {}, nullptr, &whole), 0u);
    EXPECT_EQ(whole.Value, &nod.m_Location);
}

// ---------------------------------------------------------------------------------------------
// Set, Add, Sub

TEST_F(MwParamStruct, WholeAndComponentArithmetic) {
    struct Case {
        const char* What;
        u32 Member;
        EOp Op;
        std::vector<MwPathValue> Items;
        std::vector<f32> Start, Input, Expected;
    };
    const Case cases[] = {
        {"add a vector", kPosition, EOp::Add, {}, {1, 1, 1}, {1, 2, 3}, {2, 3, 4}},
        {"add to z", kPosition, EOp::Add, {2}, {1, 1, 1}, {5}, {1, 1, 6}},
        {"subtract from z", kPosition, EOp::Sub, {2}, {1, 1, 1}, {5}, {1, 1, -4}},
        {"subtract a vector", kPosition, EOp::Sub, {}, {1, 1, 1}, {1, 2, 3}, {0, -1, -2}},
        {"copy a vector", kPosition, EOp::Set, {}, {1, 1, 1}, {7, 8, 9}, {7, 8, 9}},
        {"copy y", kPosition, EOp::Set, {1}, {1, 1, 1}, {7}, {1, 7, 1}},
        {"add a colour",
         kTint,
         EOp::Add,
         {},
         {0.5f, 0.25f, 0},
         {0.25f, 0.25f, 1},
         {0.75f, 0.5f, 1}},
        {"subtract green", kTint, EOp::Sub, {1}, {0.5f, 0.5f, 0.5f}, {0.5f}, {0.5f, 0, 0.5f}},
        {"subtract a Vec2", kSize, EOp::Sub, {}, {3, 4}, {1, 1}, {2, 3}},
        {"add to w", kPlane, EOp::Add, {3}, {1, 2, 3, 4}, {1}, {1, 2, 3, 5}},
        {"add a Vec4", kPlane, EOp::Add, {}, {1, 2, 3, 4}, {4, 3, 2, 1}, {5, 5, 5, 5}},
        {"copy a quaternion", kRotation, EOp::Set, {}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}},
        {"add to ty", kFrame, EOp::Add, {5}, {1, 0, 0, 1, 0, 0}, {2}, {1, 0, 0, 1, 0, 2}},
        {"subtract from AxeYy", kFrame, EOp::Sub, {3}, {1, 0, 0, 1, 0, 0}, {1}, {1, 0, 0, 0, 0, 0}},
        {"add to tz",
         kLocation,
         EOp::Add,
         {11},
         {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
         {3},
         {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 3}},
        {"copy AxeXz",
         kLocation,
         EOp::Set,
         {2},
         {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
         {0.5f},
         {1, 0, 0.5f, 0, 1, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        CTestShapes nod;
        CMwParamValue whole;
        ASSERT_EQ(RunOp(nod, EOp::Get, c.Member, {}, nullptr, &whole), 0u);
        std::memcpy(whole.Value, c.Start.data(), c.Start.size() * sizeof(f32));
        EXPECT_EQ(RunOp(nod, c.Op, c.Member, c.Items, c.Input.data()), 0u);
        EXPECT_EQ(Floats(whole.Value, u32(c.Expected.size())), c.Expected);
    }
}

void ExpectQuatNear(const Quat& a, const Quat& b) {
    EXPECT_NEAR(a.w, b.w, 1e-6f);
    EXPECT_NEAR(a.x, b.x, 1e-6f);
    EXPECT_NEAR(a.y, b.y, 1e-6f);
    EXPECT_NEAR(a.z, b.z, 1e-6f);
}

TEST_F(MwParamStruct, QuaternionAddAndSubBothMultiplyOnTheRight) {
    const Vec3 axisZ{0, 0, 1};
    Quat start, step, expected;
    start.SetAxisAngle(GmPi / 6, axisZ);
    step.SetAxisAngle(GmPi / 3, axisZ);
    expected.SetAxisAngle(GmPi / 2, axisZ);
    const Quat identity;

    for (EOp op : {EOp::Add, EOp::Sub}) {
        SCOPED_TRACE(op == EOp::Add ? "Add" : "Sub");
        CTestShapes nod;
        nod.m_Rotation = start;
        ASSERT_EQ(RunOp(nod, op, kRotation, {}, &identity), 0u);
        EXPECT_EQ(Floats(&nod.m_Rotation, 4), Floats(&start, 4)) << "the identity changes nothing";
        ASSERT_EQ(RunOp(nod, op, kRotation, {}, &step), 0u);
        ExpectQuatNear(nod.m_Rotation, expected);
    }

    // The value stands on the left: i * j = k, where j * i would give -k.
    CTestShapes nod;
    nod.m_Rotation = {0, 1, 0, 0};
    const Quat j{0, 0, 1, 0};
    ASSERT_EQ(RunOp(nod, EOp::Add, kRotation, {}, &j), 0u);
    EXPECT_EQ(Floats(&nod.m_Rotation, 4), (std::vector<f32>{0, 0, 0, 1}));
}

Vec3 Transform(const Iso4& iso, const Vec3& p) {
    Vec3 out;
    out.SetTransformByIso4(p, iso);
    return out;
}

void ExpectVec3Near(const Vec3& a, const Vec3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}

TEST_F(MwParamStruct, Iso4AddComposesAndSubUndoesIt) {
    CTestShapes nod;
    Iso4 shift;
    shift.t = {1, 0, 0};
    ASSERT_EQ(RunOp(nod, EOp::Add, kLocation, {}, &shift), 0u);
    EXPECT_TRUE(nod.m_Location.IsEqual(shift));
    ASSERT_EQ(RunOp(nod, EOp::Sub, kLocation, {}, &shift), 0u);
    EXPECT_TRUE(nod.m_Location.IsEqual(GmIso4Identity));

    // A rigid value and input: Add applies the input after the value, Sub takes it off again.
    Iso4 a, b;
    a.R.SetQuat(std::cos(0.3f), std::sin(0.3f), 0, 0);
    a.t = {1, 2, 3};
    b.R.SetQuat(std::cos(0.7f), 0, 0, std::sin(0.7f));
    b.t = {-2, 0.5f, 4};
    nod.m_Location = a;
    ASSERT_EQ(RunOp(nod, EOp::Add, kLocation, {}, &b), 0u);
    for (const Vec3& p : {Vec3{0, 0, 0}, Vec3{1, -2, 5}})
        ExpectVec3Near(Transform(nod.m_Location, p), Transform(b, Transform(a, p)));
    ASSERT_EQ(RunOp(nod, EOp::Sub, kLocation, {}, &b), 0u);
    EXPECT_TRUE(nod.m_Location.IsEqual(a));

    // The input may be the value itself.
    nod.m_Location = a;
    ASSERT_EQ(RunOp(nod, EOp::Sub, kLocation, {}, &nod.m_Location), 0u);
    EXPECT_TRUE(nod.m_Location.IsEqual(GmIso4Identity));
}

TEST_F(MwParamStruct, Iso3AddComposesAndSubUndoesIt) {
    CTestShapes nod;
    nod.m_Frame.t = {3, 0};
    Iso3 quarter; // a quarter turn, then (1, 2)
    quarter.R = Mat2{0, -1, 1, 0};
    quarter.t = {1, 2};
    ASSERT_EQ(RunOp(nod, EOp::Add, kFrame, {}, &quarter), 0u);
    // R := R_in R, t := R_in t + t_in.
    EXPECT_EQ(Floats(&nod.m_Frame, 6), (std::vector<f32>{0, -1, 1, 0, 1, 5}));
    ASSERT_EQ(RunOp(nod, EOp::Sub, kFrame, {}, &quarter), 0u);
    // R := R_in^T R, t := R_in^T (t - t_in).
    const std::vector<f32> back = Floats(&nod.m_Frame, 6);
    const f32 expected[6] = {1, 0, 0, 1, 3, 0};
    for (u32 i = 0; i < 6; ++i)
        EXPECT_NEAR(back[i], expected[i], 1e-6f) << i;
}

// ---------------------------------------------------------------------------------------------
// The bounds rule

TEST_F(MwParamStruct, AnItemOutsideTheComponentsAnswers2AndChangesNothing) {
    struct Case {
        u32 Member;
        EOp Op;
        MwPathValue Index;
    };
    const Case cases[] = {
        {kPosition, EOp::Get, 3},       {kPosition, EOp::Set, 3},
        {kPosition, EOp::Set, kLength}, {kPosition, EOp::Add, kLength},
        {kPosition, EOp::Sub, kLength}, {kSize, EOp::Add, 2},
        {kPlane, EOp::Sub, 4},          {kTint, EOp::Get, kLength},
        {kTint, EOp::Set, 3},           {kRotation, EOp::Get, kLength},
        {kRotation, EOp::Add, 4},       {kFrame, EOp::Get, kLength},
        {kFrame, EOp::Set, 6},          {kLocation, EOp::Get, 12},
        {kLocation, EOp::Sub, kLength}, {kLocation, EOp::Add, 0x7FFFFFFF},
    };
    CTestShapes nod;
    nod.m_Position = {1, 2, 3};
    nod.m_Tint = {0.1f, 0.2f, 0.3f};
    const std::vector<u8> before = Snapshot(nod);
    const f32 input[12] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    for (const Case& c : cases) {
        CMwParamValue out;
        out.Value = &out;
        EXPECT_EQ(RunOp(nod, c.Op, c.Member, {c.Index}, input, &out), 2u)
            << c.Member << " item " << c.Index;
        EXPECT_EQ(out.Value, &out) << "no value handed out";
        EXPECT_EQ(ScratchFloat(out), 0.0f);
    }
    // A name item where a component item belongs, and a missing input.
    for (EOp op : {EOp::Get, EOp::Set, EOp::Add, EOp::Sub}) {
        CMwParamValue out;
        EXPECT_EQ(RunOp(nod, op, kPosition, {1}, input, &out, MwPathItem_Name), 2u);
    }
    for (EOp op : {EOp::Set, EOp::Add, EOp::Sub}) {
        EXPECT_EQ(RunOp(nod, op, kPosition, {}, nullptr), 2u);
        EXPECT_EQ(RunOp(nod, op, kPosition, {0}, nullptr), 2u);
    }
    EXPECT_EQ(Snapshot(nod), before);
}

// ---------------------------------------------------------------------------------------------
// Text

std::string Narrow(const CClassicWideString& text) {
    const CClassicString narrow = text.GetNarrow();
    return std::string(narrow.GetText(), narrow.GetLength());
}

TEST_F(MwParamStruct, VectorsPrintEachComponentWithSixDecimals) {
    struct Case {
        u32 TypeCode;
        std::vector<f32> Value;
        const char* Text;
    };
    const Case cases[] = {
        {MwType_Vec3, {1, 2.5f, -3}, "1.000000 2.500000 -3.000000"},
        {MwType_Vec3, {0, -0.125f, 123456.5f}, "0.000000 -0.125000 123456.500000"},
        {MwType_Vec2, {0.5f, -0.25f}, "0.500000 -0.250000"},
    };
    for (const Case& c : cases) {
        CMwParam* param = CMwParam::GetDescriptor(c.TypeCode);
        CClassicWideString out(u"old");
        param->ToText(out, c.Value.data(), nullptr, CMwParamTextOptions());
        EXPECT_EQ(Narrow(out), c.Text);

        // And back.
        CMwParamValue value;
        param->FromText(&value, out, nullptr, CMwParamTextOptions());
        ASSERT_EQ(value.Value, value.Scratch) << c.Text;
        EXPECT_EQ(Floats(value.Scratch, u32(c.Value.size())), c.Value) << c.Text;
    }
}

TEST_F(MwParamStruct, ReadingStopsAtTheFirstTextThatIsNotANumber) {
    struct Case {
        u32 TypeCode;
        const char16_t* Text;
        std::vector<f32> Expected; // empty: refused
    };
    const Case cases[] = {
        {MwType_Vec3, u"1 2 3", {1, 2, 3}},
        {MwType_Vec3, u" \t-1.5\r\n2e1  3D-1", {-1.5f, 20, 0.3f}},
        {MwType_Vec3, u"1 2 3 4", {1, 2, 3}},
        {MwType_Vec3, u"1 2 3abc", {1, 2, 3}},
        {MwType_Vec3, u"1-2+.5", {1, -2, 0.5f}},
        {MwType_Vec3, u"1 2", {}},
        {MwType_Vec3, u"1 x 3", {}},
        {MwType_Vec3, u"1,2,3", {}},
        {MwType_Vec3, u"", {}},
        {MwType_Vec3, u"nan inf 1", {}},
        {MwType_Vec2, u"7 8", {7, 8}},
        {MwType_Vec2, u"7", {}},
        {MwType_Vec2, u"-. 1", {}},
    };
    for (const Case& c : cases) {
        CMwParam* param = CMwParam::GetDescriptor(c.TypeCode);
        const CClassicWideString text(c.Text);
        const std::string shown = Narrow(text);
        CMwParamValue value;
        std::memset(value.Scratch, 0xAB, sizeof value.Scratch);
        const CLogWatch log;
        param->FromText(&value, text, nullptr, CMwParamTextOptions());
        if (c.Expected.empty()) {
            EXPECT_EQ(value.Value, nullptr) << shown;
            EXPECT_NE(log.Since().find("[MwParam] Vec"), std::string::npos) << shown;
            EXPECT_NE(log.Since().find("does not hold"), std::string::npos) << log.Since();
        } else {
            ASSERT_EQ(value.Value, value.Scratch) << shown;
            EXPECT_EQ(Floats(value.Scratch, u32(c.Expected.size())), c.Expected) << shown;
            EXPECT_EQ(log.Since(), "") << shown;
        }
        for (size_t i = c.Expected.size() * 4; i < sizeof value.Scratch; ++i)
            ASSERT_EQ(value.Scratch[i], 0) << shown << ": scratch byte " << i;
    }
}

// A text with too few numbers must not be completed from what an earlier conversion left in the
// value reference: the write that follows is refused and the member keeps its value.
TEST_F(MwParamStruct, AShortTextIsNeverCompletedFromAnEarlierOne) {
    CTestShapes nod;
    nod.m_Position = {1, 1, 1};
    CMwParam* param = CMwParam::GetDescriptor(MwType_Vec3);
    CMwParamValue value;
    param->FromText(&value, CClassicWideString(u"7 8 9"), nullptr, CMwParamTextOptions());
    ASSERT_EQ(RunOp(nod, EOp::Set, kPosition, {}, value.Value), 0u);
    EXPECT_EQ(Floats(&nod.m_Position, 3), (std::vector<f32>{7, 8, 9}));

    param->FromText(&value, CClassicWideString(u"4 5"), nullptr, CMwParamTextOptions());
    EXPECT_EQ(value.Value, nullptr);
    EXPECT_EQ(RunOp(nod, EOp::Set, kPosition, {}, value.Value), 2u);
    EXPECT_EQ(Floats(&nod.m_Position, 3), (std::vector<f32>{7, 8, 9}));
}

// Through the nod's own member operations: components named by text, checked paths and values
// set from text.
TEST_F(MwParamStruct, ComponentNamesAndTextsThroughTheNod) {
    CTestShapes nod;
    nod.m_Position = {3, 4, 0};
    struct Case {
        const char* Path;
        u32 Parse;        // result of the parse
        MwPathValue Item; // the component item when parsed
        u32 Check;        // CheckParam of the parsed path
    };
    const Case cases[] = {
        {"Location.AxeYz", 0, 5, 0}, {"Location.tz", 0, 11, 0}, {"Position.length", 0, kLength, 2},
        {"Position.y", 0, 1, 0},     {"Tint.g", 0, 1, 0},       {"Location.axeyz", 1, 0, 0},
        {"Tint.length", 1, 0, 0},    {"Rotation.w.x", 1, 0, 0},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, &nod, CClassicString(c.Path)), c.Parse) << c.Path;
        if (c.Parse != 0)
            continue;
        ASSERT_EQ(path.m_Count, 2u) << c.Path;
        EXPECT_EQ(path.m_Kinds[0], u32(MwPathItem_Index)) << c.Path;
        EXPECT_EQ(path.m_Values[0], c.Item) << c.Path;
        path.Reset();
        EXPECT_EQ(nod.CheckParam(&path), c.Check) << c.Path;
    }

    CMwMemberPath length;
    ASSERT_EQ(length.ParseFromText(0xFFFFFFFF, &nod, CClassicString("Position.length")), 0u);
    CMwParamValue value;
    ASSERT_EQ(nod.GetParam(&length, &value), 0u);
    EXPECT_EQ(ScratchFloat(value), 5.0f);

    EXPECT_EQ(nod.SetParamFromText(CClassicString("Position"), CClassicWideString(u"1 2.5 -3")),
              0u);
    EXPECT_EQ(Floats(&nod.m_Position, 3), (std::vector<f32>{1, 2.5f, -3}));
    EXPECT_EQ(nod.SetParamFromText(CClassicString("Position"), CClassicWideString(u"4 5")), 7u);
    EXPECT_EQ(Floats(&nod.m_Position, 3), (std::vector<f32>{1, 2.5f, -3}));
    EXPECT_EQ(nod.SetParamFromText(CClassicString("Location"), CClassicWideString(u"1 2 3")), 7u)
        << "an Iso4 has no text form";
}

// ---------------------------------------------------------------------------------------------
// Child paths and element operations

// Records the last item of every child path; answers 0 (stop) at call number m_StopAt.
class CComponentRecorder {
public:
    i32 OnChild(CMwMemberPath* path, void*) {
        EXPECT_EQ(path->m_Current, i32(path->m_Count) - 1);
        EXPECT_EQ(path->m_Kinds[0], u32(MwPathItem_Index));
        m_Last.push_back(u32(path->m_Values[0]));
        m_Counts.push_back(path->m_Count);
        return m_Last.size() == m_StopAt ? 0 : 1;
    }

    size_t m_StopAt = 0;
    std::vector<u32> m_Last;
    std::vector<u32> m_Counts;
};

TEST_F(MwParamStruct, ChildrenAreTheComponentItems) {
    struct Case {
        u32 Member;
        u32 First;
        size_t StopAt;
        std::vector<u32> Visited;
    };
    const Case cases[] = {
        {kFrame, 4, 0, {4, 5}},    {kPosition, 0, 0, {0, 1, 2}}, // no length item
        {kLocation, 0, 2, {0, 1}}, {kTint, 3, 0, {}},
        {kRotation, 9, 0, {}},
    };
    for (const Case& c : cases) {
        CMwMemberPath base, scratch;
        BuildPath(base, c.Member, {});
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(c.Member);
        CComponentRecorder recorder;
        recorder.m_StopAt = c.StopAt;
        CTestShapes nod;
        member->Param->ForEachChildPath(&nod, &base, &scratch, &recorder,
                                        MwChildPathThunk<&CComponentRecorder::OnChild>::Call,
                                        nullptr, c.First);
        EXPECT_EQ(recorder.m_Last, c.Visited) << c.Member;
        for (u32 count : recorder.m_Counts)
            EXPECT_EQ(count, 2u);
    }
}

// The containers run the same operations on their elements, with the element item consumed.
TEST_F(MwParamStruct, ElementOperationsWorkOnAnyValueOfTheKind) {
    const CMwStructShape* shape = CMwParamStruct::FindShape(MwType_Vec3);
    ASSERT_NE(shape, nullptr);
    Vec3 elements[2] = {{1, 2, 3}, {3, 4, 0}};
    CMwMemberPath path(1);
    path.PushFront(kLength);
    path.m_Kinds[0] = MwPathItem_Index;
    path.Reset();
    CMwParamValue out;
    ASSERT_EQ(CMwParamStruct::GetValue(*shape, &elements[1], &path, &out), 0u);
    EXPECT_EQ(ScratchFloat(out), 5.0f);

    path.SetFront(2);
    path.Reset();
    const f32 half = 1.5f;
    ASSERT_EQ(CMwParamStruct::AddValue(*shape, &elements[0], &path, &half), 0u);
    EXPECT_EQ(Floats(&elements[0], 3), (std::vector<f32>{1, 2, 4.5f}));
    path.Reset();
    ASSERT_EQ(CMwParamStruct::SubValue(*shape, &elements[0], &path, &half), 0u);
    path.Reset();
    ASSERT_EQ(CMwParamStruct::SubValue(*shape, &elements[0], &path, &half), 0u);
    EXPECT_EQ(Floats(&elements[0], 3), (std::vector<f32>{1, 2, 1.5f}));

    CMwMemberPath empty;
    ASSERT_EQ(CMwParamStruct::SetValue(*shape, &elements[0], &empty, &elements[1]), 0u);
    EXPECT_EQ(Floats(&elements[0], 3), (std::vector<f32>{3, 4, 0}));
    EXPECT_EQ(Floats(&elements[1], 3), (std::vector<f32>{3, 4, 0}));
}

} // namespace
