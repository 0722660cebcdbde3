#pragma once
// The scalar member kinds: Action, Bool, Class, Enum, Integer, IntegerRange, Natural,
// NaturalRange, Real, RealRange, String, StringInt and Proc. Each class overrides the CMwParam
// operations its kind needs; the range kinds share their base kind's operations (their bounds
// are not applied).
//
// The value kinds (Bool to StringInt) read and write the field itself: `Get` points the value
// reference at the field, `Set` copies the input, `Add` and `Sub` combine it (OR and AND for
// Bool, wrapping arithmetic for the integers, append for the strings). Items left in the path
// after such a member are ignored; CMwNod::CheckParam is what refuses an index item after it.
#include "core/nod/MwParam.h"

// Every operation does nothing: setting an Action member calls its method (CMwNod::SetParam).
class CMwParamAction : public CMwParam {
    MW_DECLARE_CLASS(CMwParamAction, CMwParam, 0x01009000)
public:
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

// u32, 0 false, anything else true. Text "True" / "False".
class CMwParamBool : public CMwParam {
    MW_DECLARE_CLASS(CMwParamBool, CMwParam, 0x0100C000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

// A nod pointer. With items left in the path, every operation continues in the stored nod
// (2 when there is none); the value reference's first word receives the nod itself.
class CMwParamClass : public CMwParam {
    MW_DECLARE_CLASS(CMwParamClass, CMwParam, 0x01007000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    // Path used up: a plain store of the input nod, no reference taken or given back.
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    // Consumes the member item and gives the stored nod; 2 when it is null and items are left.
    u32 GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out) override;
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
    void GetKindPair(u32* first, u32* second) override;
    // The children are the stored nod's members, inherited ones first.
    void ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override;
};

// The descriptor of Class records with TakesReference set: the plain Class descriptor, except
// that storing the whole member takes a reference on the new nod and gives back the old nod's.
// It answers with CMwParamClass's identity.
class CMwParamClassRef : public CMwParamClass {
public:
    using Super = CMwParamClass;

    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
};

// u32 index into the record's EnumNames. Add and Sub do not check the bound; the text of a
// value past the names is "Index hors limite!!", with a log line.
class CMwParamEnum : public CMwParam {
    MW_DECLARE_CLASS(CMwParamEnum, CMwParam, 0x0100D000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    // The index of the first name equal to the whole text, ASCII case ignored; 0 when none is.
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

// i32. Text in decimal, grouped and padded as the options say.
class CMwParamInteger : public CMwParam {
    MW_DECLARE_CLASS(CMwParamInteger, CMwParam, 0x0100E000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

class CMwParamIntegerRange : public CMwParamInteger {
    MW_DECLARE_CLASS(CMwParamIntegerRange, CMwParamInteger, 0x0100F000)
};

// u32. Text in decimal, or "0x%X" with the options' hexadecimal flag.
class CMwParamNatural : public CMwParam {
    MW_DECLARE_CLASS(CMwParamNatural, CMwParam, 0x01010000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

class CMwParamNaturalRange : public CMwParamNatural {
    MW_DECLARE_CLASS(CMwParamNaturalRange, CMwParamNatural, 0x01011000)
};

// f32. Text "%.3g".
class CMwParamReal : public CMwParam {
    MW_DECLARE_CLASS(CMwParamReal, CMwParam, 0x01013000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

class CMwParamRealRange : public CMwParamReal {
    MW_DECLARE_CLASS(CMwParamRealRange, CMwParamReal, 0x01014000)
};

// CClassicString. Add appends; Sub does nothing. FromText points the value reference at the
// ASCII copy of the text in the conversion scratch string.
class CMwParamString : public CMwParam {
    MW_DECLARE_CLASS(CMwParamString, CMwParam, 0x01015000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

// CClassicWideString. Add appends; Sub does nothing. FromText points the value reference at the
// given text itself.
class CMwParamStringInt : public CMwParam {
    MW_DECLARE_CLASS(CMwParamStringInt, CMwParam, 0x01028000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    bool CanToText() override { return true; }
    bool CanFromText() override { return true; }
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
};

// A procedure: setting the member calls its method with the path's remaining items as the
// arguments (CMwNod::SetParam). `Get` with a last index item i gives argument i's default.
class CMwParamProc : public CMwParam {
    MW_DECLARE_CLASS(CMwParamProc, CMwParam, 0x01024000)
public:
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
    // When the base path ends at the Proc member: one index item per argument.
    void ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override;
};

// ---------------------------------------------------------------------------------------------
// The sub-nod lookup of the lists of nods (the RefBuffer kind and the containers whose elements
// are nods), shared by their GetSubNod.

// The elements of one list: how many, and where.
struct CMwNodList {
    u32 Count = 0;
    CMwNod* const* Nods = nullptr;
};
// Gives the elements of the list that a value reference from the list member's Get designates.
using MwNodListReader = CMwNodList (*)(const CMwParamValue& value);

// With the path at the list member of `owner`: when an element item follows and the member's
// ElementType is Class, consumes the member and the element item (an index, or a name chosen
// among the nods' name ids) and gives the element nod. 2 for an element that is not there and
// for a null element with items left; a failure of reading the member is passed on. Without an
// element item, or for a list of other values, gives a null nod and 0 and consumes nothing.
u32 MwGetSubNodOfList(CMwNod* owner, CMwMemberPath* path, CMwNod** out, MwNodListReader reader);
