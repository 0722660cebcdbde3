#include "core/nod/MwParamRefBuffer.h"

#include "core/nod/MwParamContainer.h"
#include "core/nod/MwParamScalar.h"
#include "core/nod/MwRefBuffer.h"

#include <cstring>

MW_DEFINE_CLASS(CMwParamRefBuffer, MwFactory<CMwParamRefBuffer>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

bool HasItem(const CMwMemberPath* path) {
    return path && path->HasCurrent();
}

// Consumes the element item: an index (up to `limit`), or a name among the buffer's nods.
// MwParam_NotFound when it chooses no position.
u32 TakePosition(CMwRefBuffer& buffer, CMwMemberPath* path, u32 limit, u32* position) {
    switch (path->GetCurrentKind()) {
        case MwPathItem_Index:
            path->TakeIndex(position);
            return *position <= limit ? MwParam_Ok : MwParam_NotFound;
        case MwPathItem_Name:
            return path->FindNodByName(position, buffer.m_FastBuffer.m_Items, buffer.GetCount());
        default:
            return MwParam_NotFound;
    }
}

// The element the item chooses, which has to lie below the count.
u32 TakeElement(CMwRefBuffer& buffer, CMwMemberPath* path, u32* position) {
    if (buffer.GetCount() == 0)
        return MwParam_NotFound;
    return TakePosition(buffer, path, buffer.GetCount() - 1, position);
}

CMwNodList NodsOf(const CMwParamValue& value) {
    const auto* buffer = static_cast<const CMwRefBuffer*>(value.Value);
    return buffer ? CMwNodList{buffer->GetCount(), buffer->m_FastBuffer.m_Items} : CMwNodList{};
}

CMwNod* InputNod(const void* input) {
    return static_cast<CMwNod*>(const_cast<void*>(input));
}

} // namespace

bool CMwParamRefBuffer::IsRefBuffer() {
    return true;
}

u32 CMwParamRefBuffer::GetCount(const CMwParamValue& value) {
    return NodsOf(value).Count;
}

u32 CMwParamRefBuffer::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    if (!field || !out)
        return MwParam_NotFound;
    auto& buffer = *static_cast<CMwRefBuffer*>(field);
    if (!HasItem(path)) {
        out->Value = &buffer;
        return MwParam_Ok;
    }
    u32 position = 0;
    if (TakeElement(buffer, path, &position) != MwParam_Ok)
        return MwParam_NotFound;
    CMwNod* nod = buffer.GetNod(position);
    if (!path->HasCurrent()) {
        out->Value = nod;
        return MwParam_Ok;
    }
    return nod ? nod->GetParam(path, out) : MwParam_NotFound;
}

u32 CMwParamRefBuffer::Set(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    auto& buffer = *static_cast<CMwRefBuffer*>(field);
    if (!HasItem(path))
        return MwParam_Ok;
    u32 position = 0;
    if (TakeElement(buffer, path, &position) != MwParam_Ok)
        return MwParam_NotFound;
    if (!path->HasCurrent())
        return buffer.SetAt(position, InputNod(input)) ? MwParam_Ok : MwParam_NotFound;
    CMwNod* nod = buffer.GetNod(position);
    return nod ? nod->SetParam(path, input) : MwParam_NotFound;
}

u32 CMwParamRefBuffer::Add(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    auto& buffer = *static_cast<CMwRefBuffer*>(field);
    if (!HasItem(path)) {
        buffer.Add(InputNod(input)); // a nod the buffer does not accept is dropped
        return MwParam_Ok;
    }
    u32 position = 0;
    if (path->m_Current == 0) {
        if (TakePosition(buffer, path, buffer.GetCount(), &position) != MwParam_Ok)
            return MwParam_NotFound;
        buffer.Insert(InputNod(input), position);
        return MwParam_Ok;
    }
    if (TakeElement(buffer, path, &position) != MwParam_Ok)
        return MwParam_NotFound;
    CMwNod* nod = buffer.GetNod(position);
    return nod ? nod->AddParam(path, input) : MwParam_NotFound;
}

u32 CMwParamRefBuffer::Sub(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    auto& buffer = *static_cast<CMwRefBuffer*>(field);
    if (!HasItem(path)) {
        u32 position = 0;
        if (!input)
            return MwParam_NotFound;
        std::memcpy(&position, input, sizeof position);
        return buffer.RemoveAt(position) ? MwParam_Ok : MwParam_NotFound;
    }
    u32 position = 0;
    if (TakeElement(buffer, path, &position) != MwParam_Ok)
        return MwParam_NotFound;
    if (!path->HasCurrent())
        return MwParam_Ok;
    CMwNod* nod = buffer.GetNod(position);
    return nod ? nod->SubParam(path, input) : MwParam_NotFound;
}

u32 CMwParamRefBuffer::GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out) {
    if (!owner)
        return CMwParam::GetSubNod(owner, path, out);
    return MwGetSubNodOfList(owner, path, out, NodsOf);
}

void CMwParamRefBuffer::FromText(CMwParamValue*, const CClassicWideString& text,
                                 const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
}

void CMwParamRefBuffer::ToText(CClassicWideString& out, const void*, const CMwMemberInfo*,
                               const CMwParamTextOptions&) {
    out.SetLength(0);
}

void CMwParamRefBuffer::GetKindPair(u32* first, u32* second) {
    *first = 1;
    *second = 2;
}

void CMwParamRefBuffer::ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch,
                                         void* receiver, MwChildPathCallback callback, void* user,
                                         u32 first) {
    u32 count = 0;
    if (scratch && MwReadListMember(root, base, MwType_RefBuffer, this, &count))
        VisitIndexChildren(*base, *scratch, receiver, callback, user, first, count);
}
