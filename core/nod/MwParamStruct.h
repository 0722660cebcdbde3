#pragma once
// The structured member kinds: small tuples of 32-bit floats (Color, Vec2, Vec3, Vec4, Quat, Iso3,
// Iso4), handled as a whole or component by component. CMwParamStruct is their common base;
// each class declares its components as members of its own ("x", "AxeYz", "g" ...), in value
// order, and the member-path parser names components through those tables.
//
// A component is addressed by an index item after the member. For Vec2, Vec3 and Vec4 the index
// item -1 is the length item: the Euclidean length, computed into the value reference's Scratch
// on reading. Any other index at or past the component count (the length item too, except in a
// Get of a Vec2, Vec3 or Vec4) answers MwParam_NotFound and changes nothing, as does a current
// item that is not an index item.
//
// The element operations (the static functions taking a CMwStructShape) serve any value of a
// structured kind wherever it lives: a member's field here, an element of an array, buffer or
// bucket list in the containers.
#include "core/math/GmColor.h"
#include "core/nod/MwParam.h"

// How one structured kind is laid out and how whole values combine.
struct CMwStructShape {
    u32 TypeCode;
    u32 ComponentCount;
    u32 ValueSize; // bytes: ComponentCount floats, no padding
    bool HasLength;
    // Address of component i (storage order), null when i is not a component.
    f32* (*Component)(void* value, u32 index);
    // value := value + input (component-wise, product or composition), and its counterpart.
    void (*AddWhole)(void* value, const void* input);
    void (*SubWhole)(void* value, const void* input);
};

class CMwParamStruct : public CMwParam {
    MW_DECLARE_CLASS(CMwParamStruct, CMwParam, 0x01008000)
public:
    bool IsStruct() override;
    u32 GetComponentCount(const CMwParamValue& value) override;
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    // The children are the component index items (never the length item).
    void ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override;

    // The kind's shape; null for this base class, which has no value of its own.
    virtual const CMwStructShape* GetShape();
    // The shape of a structured type code (9, 19, 23, 45, 49, 53, 57), null for any other code.
    static const CMwStructShape* FindShape(u32 typeCode);

    // Element operations on the value at `value`. The path's current item is the one after the
    // value (the member or the element item); a used-up path means the whole value. `input`
    // points at a whole value, or at one float after a component item.
    static u32 GetValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                        CMwParamValue* out);
    static u32 SetValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                        const void* input);
    static u32 AddValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                        const void* input);
    static u32 SubValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                        const void* input);

    // Text of a Vec2 or Vec3 value: the components in "%f" separated by one blank.
    static void FormatVector(CClassicString& out, const void* value, u32 componentCount);
    // Reads componentCount numbers separated by white space into `components`, stopping at the
    // first text that is not a number; false when fewer numbers stand in the text.
    static bool ParseVector(const CClassicString& text, f32* components, u32 componentCount);
};

class CMwParamColor : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamColor, CMwParamStruct, 0x01018000)
public:
    // The value of a Color member: three floats r, g, b.
    using CValue = GmColorRgb;

    const CMwStructShape* GetShape() override;
};

// Vec2 and Vec3 have a text form: "%f %f" and "%f %f %f".
class CMwParamVec2 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec2, CMwParamStruct, 0x01019000)
public:
    const CMwStructShape* GetShape() override;
    bool CanToText() override;
    bool CanFromText() override;
    // Parses into out->Scratch and points Value there; a text with fewer than two numbers is
    // refused: Value is null and the log says why.
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

class CMwParamVec3 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec3, CMwParamStruct, 0x01016000)
public:
    const CMwStructShape* GetShape() override;
    bool CanToText() override;
    bool CanFromText() override;
    // As Vec2's, with three numbers.
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

class CMwParamVec4 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamVec4, CMwParamStruct, 0x0101F000)
public:
    const CMwStructShape* GetShape() override;
};

// Whole Add and Sub both multiply: value := value * input, the Hamilton product with the value
// on the left. Callers depend on Sub rotating further, as Add does.
class CMwParamQuat : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamQuat, CMwParamStruct, 0x010B0000)
public:
    const CMwStructShape* GetShape() override;
};

// Whole Add applies the input after the value (Iso3::MultInPlaceBy), whole Sub the input's
// inverse (Iso3::ToLocalOf).
class CMwParamIso3 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamIso3, CMwParamStruct, 0x01017000)
public:
    const CMwStructShape* GetShape() override;
};

// As Iso3, in space (Iso4::MultInPlaceBy, Iso4::ToLocalOf).
class CMwParamIso4 : public CMwParamStruct {
    MW_DECLARE_CLASS(CMwParamIso4, CMwParamStruct, 0x0101A000)
public:
    const CMwStructShape* GetShape() override;
};
