#pragma once
// CMwParam, the code of one member type. Every member record points at the shared descriptor of
// its type code; the member operations read, write, add to, remove from, validate, convert and
// enumerate any member through it without knowing its type.
//
// The kinds live beside this file, one header per family: the scalar kinds (MwParamScalar.h),
// the structured kinds (MwParamStruct.h), the containers (MwParamContainer.h) and the RefBuffer
// kind (MwParamRefBuffer.h). The shared descriptors, one per type code plus the reference-taking
// Class descriptor, are built by the registry's binding pass (CMwClassRegistry::Init) and
// destroyed by CMwClassRegistry::Shutdown.
//
// Conventions of every operation: results are the EMwParamResult codes (0 success, 2 an element
// or nod that is not there). When an operation is called, the path's current item is the one
// after the member, and the path is used up when it has no current item. `Get` fills a
// CMwParamValue; `Set`, `Add` and `Sub` take a pointer to the input value (for nod kinds the
// nod pointer itself).
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwNod.h"

// The options of a text conversion. Descriptors read only Flags.
struct CMwParamTextOptions {
    static constexpr u32 GroupDigits = 0x8;    // digits grouped in threes
    static constexpr u32 ZeroPad = 0x10;       // padded with zeros instead of blanks
    static constexpr u32 MinWidthShift = 5;    // bits 5-12: the minimum width
    static constexpr u32 Hexadecimal = 0x2000; // naturals in hexadecimal

    bool GroupsDigits() const { return (Flags & GroupDigits) != 0; }
    bool PadsWithZeros() const { return (Flags & ZeroPad) != 0; }
    u32 GetMinWidth() const { return (Flags >> MinWidthShift) & 0xFF; }
    bool IsHexadecimal() const { return (Flags & Hexadecimal) != 0; }

    u32 Flags = 12;
    // Carried with the options from their builder; no conversion reads them.
    u8 Extra[8] = {0, 0, 0, 255, 0, 0, 128, 255};
};

// Receives each child path of ForEachChildPath; a result of 0 stops the visit.
using MwChildPathCallback = i32 (*)(void* receiver, CMwMemberPath* path, void* user);

// Turns a member function `i32 C::Method(CMwMemberPath*, void* user)` into the callback.
template <auto Method>
struct MwChildPathThunk;
template <class C, i32 (C::*Method)(CMwMemberPath*, void*)>
struct MwChildPathThunk<Method> {
    static i32 Call(void* receiver, CMwMemberPath* path, void* user) {
        return (static_cast<C*>(receiver)->*Method)(path, user);
    }
};

class CMwParam : public CMwNod {
    MW_DECLARE_CLASS(CMwParam, CMwNod, 0x01006000)
public:
    // The kind is an exact-size array / a growable buffer / a bucket list / the RefBuffer kind.
    virtual bool IsArray();
    virtual bool IsBuffer();
    virtual bool IsBucketList();
    virtual bool IsRefBuffer();
    // Element count of the container the value reference designates.
    virtual u32 GetCount(const CMwParamValue& value);
    // The kind is a small tuple of floats, and how many.
    virtual bool IsStruct();
    virtual u32 GetComponentCount(const CMwParamValue& value);

    // Member access on the field at `field` (the nod's address plus the record's offset).
    virtual u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out);
    virtual u32 Set(void* field, CMwMemberPath* path, const void* input);
    virtual u32 Add(void* field, CMwMemberPath* path, const void* input);
    virtual u32 Sub(void* field, CMwMemberPath* path, const void* input);
    // The nod a path continues into from the member at the path's current item of `owner`
    // (CMwNod::CheckParam follows paths with it); null when the member leads to no nod.
    virtual u32 GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out);

    // Text conversions. Every conversion works in s_ConversionText.
    virtual bool CanToText();
    virtual bool CanFromText();
    virtual void FromText(CMwParamValue* out, const CClassicWideString& text,
                          const CMwMemberInfo* info, const CMwParamTextOptions& options);
    virtual void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                        const CMwParamTextOptions& options);

    virtual void GetKindPair(u32* first, u32* second);
    // Visits the children of the value that `base` designates from `root`, from child number
    // `first` on: each child is handed to the callback as `scratch`, a copy of `base` with one
    // more item holding the child (see VisitChildPath). The base class has no children.
    virtual void ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch,
                                  void* receiver, MwChildPathCallback callback, void* user,
                                  u32 first);

    // True for the array, buffer, bucket-list and RefBuffer kinds.
    bool IsContainerKind();

    // The shared descriptor of a type code (0-62), and the Class descriptor of records that take
    // references. Null before the registry's binding pass, after Shutdown and for a code out of
    // range.
    static CMwParam* GetDescriptor(u32 typeCode);
    static CMwParam* GetReferenceTakingClassDescriptor();

    // The narrow text every conversion composes in or copies into; conversions are therefore not
    // reentrant.
    static CClassicString s_ConversionText;
    // The defaults of String and StringInt procedure arguments. Never written.
    static const CClassicString s_EmptyString;
    static const CClassicWideString s_EmptyWideString;

protected:
    // The frame of ForEachChildPath. BeginChildPaths makes `scratch` a copy of `base` with room
    // for one more item after its last (`scratch` may be `base` itself); VisitChildPath then
    // sets that item, sets the scratch path back to its first item and calls the callback, and
    // answers false when the callback asked to stop.
    static void BeginChildPaths(const CMwMemberPath& base, CMwMemberPath& scratch);
    static bool VisitChildPath(CMwMemberPath& scratch, MwPathValue value, u32 kind, void* receiver,
                               MwChildPathCallback callback, void* user);
    // The whole frame for children that are the index items first .. count - 1.
    static void VisitIndexChildren(const CMwMemberPath& base, CMwMemberPath& scratch,
                                   void* receiver, MwChildPathCallback callback, void* user,
                                   u32 first, u32 count);
};
