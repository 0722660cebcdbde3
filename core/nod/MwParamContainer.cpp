#include "core/nod/MwParamContainer.h"

#include "core/math/Iso.h"
#include "core/math/Quat.h"
#include "core/math/Vec.h"
#include "core/nod/MwParamScalar.h"
#include "core/nod/MwParamStruct.h"

#include <cstring>

namespace {

// The three layouts of one element storage type.
template <class T>
CMwParam* CreateLayout(u32 elementType, u32 layout) {
    switch (layout) {
        case MwTypeArray:
            return new CMwParamArray<T>(elementType);
        case MwTypeBuffer:
            return new CMwParamBuffer<T>(elementType);
        case MwTypeBucketList:
            return new CMwParamBucketList<T>(elementType);
        default:
            return nullptr;
    }
}

bool HasItem(const CMwMemberPath* path) {
    return path && path->HasCurrent();
}

// The elements of a container of nods, for the sub-nod lookup (which runs only on containers
// whose elements are nods).
CMwNodList NodsOfArray(const CMwParamValue& value) {
    const auto* array = static_cast<const CFastArray<CMwNod*>*>(value.Value);
    return array ? CMwNodList{array->m_Count, array->m_Items} : CMwNodList{};
}

CMwNodList NodsOfBuffer(const CMwParamValue& value) {
    const auto* buffer = static_cast<const CFastBuffer<CMwNod*>*>(value.Value);
    return buffer ? CMwNodList{buffer->m_Count, buffer->m_Items} : CMwNodList{};
}

CMwNodList NodsOfBucketList(const CMwParamValue& value) {
    const auto* list = static_cast<const CMwBucketList<CMwNod*>*>(value.Value);
    return list ? CMwNodList{list->m_Items.m_Count, list->m_Items.m_Items} : CMwNodList{};
}

MwNodListReader NodReaderOf(u32 layout) {
    switch (layout) {
        case MwTypeArray:
            return NodsOfArray;
        case MwTypeBuffer:
            return NodsOfBuffer;
        default:
            return NodsOfBucketList;
    }
}

} // namespace

CMwParam* CMwParamContainer::Create(u32 elementType, u32 layout) {
    switch (elementType) {
        case MwType_Bool:
        case MwType_Natural:
            return CreateLayout<u32>(elementType, layout);
        case MwType_Class:
            return CreateLayout<CMwNod*>(elementType, layout);
        case MwType_Color:
            return CreateLayout<CMwParamColor::CValue>(elementType, layout);
        case MwType_Integer:
            return CreateLayout<i32>(elementType, layout);
        case MwType_Iso4:
            return CreateLayout<Iso4>(elementType, layout);
        case MwType_Iso3:
            return CreateLayout<Iso3>(elementType, layout);
        case MwType_Real:
            return CreateLayout<f32>(elementType, layout);
        case MwType_String:
            return CreateLayout<CClassicString>(elementType, layout);
        case MwType_StringInt:
            return CreateLayout<CClassicWideString>(elementType, layout);
        case MwType_Vec2:
            return CreateLayout<Vec2>(elementType, layout);
        case MwType_Vec3:
            return CreateLayout<Vec3>(elementType, layout);
        case MwType_Vec4:
            return CreateLayout<Vec4>(elementType, layout);
        case MwType_Quat:
            return CreateLayout<Quat>(elementType, layout);
        default:
            return nullptr;
    }
}

bool CMwParamContainer::IsArray() {
    return m_Layout == MwTypeArray;
}

bool CMwParamContainer::IsBuffer() {
    return m_Layout == MwTypeBuffer;
}

bool CMwParamContainer::IsBucketList() {
    return m_Layout == MwTypeBucketList;
}

u32 CMwParamContainer::GetCount(const CMwParamValue& value) {
    return value.Value ? View(value.Value).Count : 0;
}

CMwParam* CMwParamContainer::ElementParam() const {
    return CMwParam::GetDescriptor(m_ElementType);
}

u32 CMwParamContainer::TakeElement(void* container, CMwMemberPath* path, void** element) {
    const CView view = View(container);
    u32 index = 0;
    switch (path->GetCurrentKind()) {
        case MwPathItem_Index:
            path->TakeIndex(&index);
            break;
        case MwPathItem_Name:
            // Only nods have names; other values are never read as nods.
            if (m_ElementType != MwType_Class ||
                path->FindNodByName(&index, reinterpret_cast<CMwNod* const*>(view.Items),
                                    view.Count) != MwParam_Ok)
                return MwParam_NotFound;
            break;
        default:
            return MwParam_NotFound;
    }
    if (index >= view.Count || !view.Items)
        return MwParam_NotFound;
    *element = view.Items + u64(index) * m_ElementSize;
    return MwParam_Ok;
}

u32 CMwParamContainer::WriteElement(Write write, void* field, CMwMemberPath* path,
                                    const void* input) {
    CMwParam* param = ElementParam();
    void* element = nullptr;
    if (!param || TakeElement(field, path, &element) != MwParam_Ok)
        return MwParam_NotFound;
    if (m_ElementType != MwType_Class || !HasItem(path))
        return (param->*write)(element, path, input);
    // The write goes on inside the element nod, whose member answers for itself: the list only
    // passes the write on and answers 0. A null element has nothing to pass it to.
    if (!*static_cast<CMwNod**>(element))
        return MwParam_NotFound;
    (param->*write)(element, path, input);
    return MwParam_Ok;
}

u32 CMwParamContainer::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    if (!field || !out)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        out->Value = field;
        return MwParam_Ok;
    }
    CMwParam* param = ElementParam();
    void* element = nullptr;
    if (!param || TakeElement(field, path, &element) != MwParam_Ok)
        return MwParam_NotFound;
    return param->Get(element, path, out);
}

u32 CMwParamContainer::Set(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    if (!HasItem(path))
        return MwParam_Ok; // a container is not replaced as a whole
    return WriteElement(&CMwParam::Set, field, path, input);
}

u32 CMwParamContainer::Add(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        // A nod list may receive a null nod; any other value has to be there.
        if (!input && m_ElementType != MwType_Class)
            return MwParam_NotFound;
        Append(field, input);
        return MwParam_Ok;
    }
    return WriteElement(&CMwParam::Add, field, path, input);
}

u32 CMwParamContainer::Sub(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        if (m_Layout == MwTypeBucketList)
            return MwParam_Ok; // the list's owner removes its elements
        u32 position = 0;
        if (!input)
            return MwParam_NotFound;
        std::memcpy(&position, input, sizeof position);
        if (position >= View(field).Count)
            return MwParam_NotFound;
        RemoveAt(field, position);
        return MwParam_Ok;
    }
    return WriteElement(&CMwParam::Sub, field, path, input);
}

u32 CMwParamContainer::GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out) {
    if (m_ElementType != MwType_Class || !owner)
        return CMwParam::GetSubNod(owner, path, out);
    return MwGetSubNodOfList(owner, path, out, NodReaderOf(m_Layout));
}

void CMwParamContainer::FromText(CMwParamValue*, const CClassicWideString& text,
                                 const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
}

void CMwParamContainer::ToText(CClassicWideString& out, const void*, const CMwMemberInfo*,
                               const CMwParamTextOptions&) {
    out.SetLength(0);
}

void CMwParamContainer::GetKindPair(u32* first, u32* second) {
    *first = 1;
    *second = 2;
}

void CMwParamContainer::ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch,
                                         void* receiver, MwChildPathCallback callback, void* user,
                                         u32 first) {
    u32 count = 0;
    if (scratch && MwReadListMember(root, base, GetTypeCode(), this, &count))
        VisitIndexChildren(*base, *scratch, receiver, callback, user, first, count);
}

bool MwReadListMember(CMwNod* root, CMwMemberPath* base, u32 typeCode, CMwParam* param,
                      u32* count) {
    *count = 0;
    if (!root || !base || base->m_Count == 0 || base->m_Kinds[0] != MwPathItem_Member)
        return false;
    const auto* last = reinterpret_cast<const CMwMemberInfo*>(base->m_Values[0]);
    if (!last || last->TypeCode != typeCode)
        return false;
    base->Reset();
    CMwParamValue value;
    const u32 result = root->GetParam(base, &value);
    base->Reset();
    if (result != MwParam_Ok)
        return false;
    *count = param->GetCount(value);
    return true;
}
