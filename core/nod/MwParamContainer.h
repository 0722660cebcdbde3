#pragma once
// The container member kinds: for fourteen base kinds, an exact-size array (type code base + 1, a
// CFastArray), a growable buffer (base + 2, a CFastBuffer) and a bucket list (base + 3, of which
// only the element buffer is used). They have no class identity of their own: they answer as
// CMwParam.
//
// One pattern serves all 42 codes. CMwParamContainer holds it: the element item of the path (an
// index, or a name among the elements when they are nods), the container-level operations
// (reading the container, appending, removing by position) and the child paths. What happens to
// one element is the base kind's own descriptor at work on the element's address (copy, OR and
// AND, wrapping arithmetic, append text, components, lengths, compositions, stepping into a nod).
// The three layouts are the class templates CMwParamArray, CMwParamBuffer and CMwParamBucketList
// over the element's storage type; elements are reached at their real size, never by a word
// layout.
//
// Bounds: an element index at or past the count, a name on a container of other values than
// nods, a name no element nod has, a removal position at or past the count (or from an empty
// container) and an item that is neither an index nor a name answer MwParam_NotFound and change
// nothing. Containers never count references: classes that keep nods in them take and give back
// references in their own code, and route adding and removing there by their member flags.
//
// A container of nods of a derived class (CFastBuffer<CPlugTree*>) is reached as a container of
// CMwNod*: nod classes use single inheritance, so a nod pointer and its CMwNod* are one address.
#include "core/base/FastBuffer.h"
#include "core/nod/MwBucketList.h"
#include "core/nod/MwParam.h"

#include <type_traits>
#include <utility>

// A copy of the value an append receives: for nods the input is the nod pointer itself.
template <class T>
T MwContainerInput(const void* input) {
    if constexpr (std::is_same_v<T, CMwNod*>)
        return static_cast<CMwNod*>(const_cast<void*>(input));
    else
        return *static_cast<const T*>(input);
}

class CMwParamContainer : public CMwParam {
public:
    using Super = CMwParam;

    // The descriptor of one container type code: `elementType` is the base kind's code,
    // `layout` MwTypeArray, MwTypeBuffer or MwTypeBucketList. Null for a base kind without
    // containers or another layout.
    static CMwParam* Create(u32 elementType, u32 layout);

    u32 GetTypeCode() const { return m_ElementType + m_Layout; }
    u32 GetElementType() const { return m_ElementType; }
    u32 GetLayout() const { return m_Layout; }
    // Bytes of one element.
    u32 GetElementSize() const { return m_ElementSize; }

    bool IsArray() override;
    bool IsBuffer() override;
    bool IsBucketList() override;
    // The count of the container a Get with the path used up at the member gave.
    u32 GetCount(const CMwParamValue& value) override;

    // Path used up at the member: Value is the container. Otherwise the element item chooses an
    // element and the base kind's Get runs on it with the rest of the path (for nods: Value is
    // the element nod itself, or the read goes on in it).
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    // Path used up at the member: nothing changes, 0. Otherwise the base kind's Set on the chosen
    // element (a nod element is a plain store, without references). Set, Add and Sub that go on
    // inside an element nod drop that nod's answer and give 0.
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    // Path used up at the member: appends a copy of the input (for nods, the nod pointer); a
    // bucket list changes nothing. Otherwise the base kind's Add on the chosen element.
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    // Path used up at the member: removes the element at the u32 position the input points at,
    // keeping the order of the others; a bucket list changes nothing. Otherwise the base kind's
    // Sub on the chosen element.
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
    // Containers of nods lead into the chosen element nod.
    u32 GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out) override;

    // No text form: FromText only makes the ASCII copy, ToText gives an empty text.
    void FromText(CMwParamValue* out, const CClassicWideString& text, const CMwMemberInfo* info,
                  const CMwParamTextOptions& options) override;
    void ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                const CMwParamTextOptions& options) override;
    void GetKindPair(u32* first, u32* second) override;
    // The children are the element index items from `first` to count - 1.
    void ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override;

    // The elements of one container: how many, and where the first one lies.
    struct CView {
        u32 Count = 0;
        u8* Items = nullptr;
    };

protected:
    CMwParamContainer(u32 elementType, u32 layout, u32 elementSize)
        : m_ElementType(elementType), m_Layout(layout), m_ElementSize(elementSize) {}

    // The layout's part: where the elements of the container at `container` lie, appending a
    // copy of the value at `input`, and removing the element at a position below the count
    // (the others keep their order). A bucket list never changes.
    virtual CView View(void* container) = 0;
    virtual void Append(void* container, const void* input) = 0;
    virtual void RemoveAt(void* container, u32 position) = 0;

private:
    using Write = u32 (CMwParam::*)(void* field, CMwMemberPath* path, const void* input);

    // Consumes the element item and gives the element's address; MwParam_NotFound when the item
    // chooses no element.
    u32 TakeElement(void* container, CMwMemberPath* path, void** element);
    // Set, Add or Sub of the base kind on the element the item chooses. A write that goes on
    // inside an element nod answers 0 whatever that nod's member answers; 2 when the element nod
    // is null.
    u32 WriteElement(Write write, void* field, CMwMemberPath* path, const void* input);
    // The base kind's descriptor, which works on one element.
    CMwParam* ElementParam() const;

    u32 m_ElementType;
    u32 m_Layout;
    u32 m_ElementSize;
};

// The three layouts over the element's storage type T (u32 for Bool and Natural, i32, f32,
// CMwNod* for nods, CClassicString, CClassicWideString, the vector and transform types).

// CFastArray<T>: every append and removal moves to a block of exactly the new count.
template <class T>
class CMwParamArray final : public CMwParamContainer {
public:
    explicit CMwParamArray(u32 elementType)
        : CMwParamContainer(elementType, MwTypeArray, sizeof(T)) {}

protected:
    CView View(void* container) override {
        auto& array = *static_cast<CFastArray<T>*>(container);
        return {array.m_Count, reinterpret_cast<u8*>(array.m_Items)};
    }
    void Append(void* container, const void* input) override {
        auto& array = *static_cast<CFastArray<T>*>(container);
        // Copied first: the input may be one of the elements, and the block moves.
        T copy = MwContainerInput<T>(input);
        array.Grow(1);
        array.m_Items[array.m_Count - 1] = std::move(copy);
    }
    void RemoveAt(void* container, u32 position) override {
        auto& array = *static_cast<CFastArray<T>*>(container);
        for (u32 i = position + 1; i < array.m_Count; ++i)
            array.m_Items[i - 1] = std::move(array.m_Items[i]);
        array.Shrink(1); // the last element frees the block
    }
};

// CFastBuffer<T>: appends grow the capacity by one and a half; removals move the tail down and
// keep the block.
template <class T>
class CMwParamBuffer final : public CMwParamContainer {
public:
    explicit CMwParamBuffer(u32 elementType)
        : CMwParamContainer(elementType, MwTypeBuffer, sizeof(T)) {}

protected:
    CView View(void* container) override {
        auto& buffer = *static_cast<CFastBuffer<T>*>(container);
        return {buffer.m_Count, reinterpret_cast<u8*>(buffer.m_Items)};
    }
    void Append(void* container, const void* input) override {
        auto& buffer = *static_cast<CFastBuffer<T>*>(container);
        T copy = MwContainerInput<T>(input);
        buffer.Reserve(buffer.m_Count + 1);
        buffer.m_Items[buffer.m_Count++] = std::move(copy);
    }
    void RemoveAt(void* container, u32 position) override {
        auto& buffer = *static_cast<CFastBuffer<T>*>(container);
        for (u32 i = position + 1; i < buffer.m_Count; ++i)
            buffer.m_Items[i - 1] = std::move(buffer.m_Items[i]);
        --buffer.m_Count;
    }
};

// CMwBucketList<T>: only its element buffer is read; appending and removing change nothing (the
// list's owner places elements in its buckets).
template <class T>
class CMwParamBucketList final : public CMwParamContainer {
public:
    explicit CMwParamBucketList(u32 elementType)
        : CMwParamContainer(elementType, MwTypeBucketList, sizeof(T)) {}

protected:
    CView View(void* container) override {
        auto& items = static_cast<CMwBucketList<T>*>(container)->m_Items;
        return {items.m_Count, reinterpret_cast<u8*>(items.m_Items)};
    }
    void Append(void*, const void*) override {}
    void RemoveAt(void*, u32) override {}
};

// The child-path frame of the lists (containers and RefBuffer): reads the list member that `base`
// ends at (its last item a member item of `typeCode`) from `root` and gives its element count
// through `param`, and sets the path back to its first item. False, with a count of 0, when the
// path ends elsewhere or the read fails.
bool MwReadListMember(CMwNod* root, CMwMemberPath* base, u32 typeCode, CMwParam* param, u32* count);
