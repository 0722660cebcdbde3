#pragma once
// The RefBuffer member kind: a member whose field is an embedded CMwRefBuffer, reached element by
// element along member paths. An element is chosen by an index below the count or by a name
// among the buffer's nods; an item that chooses none answers MwParam_NotFound and changes
// nothing.
//
// Every change goes through the buffer, so its references stay exact: Add appends (with an
// element item left alone, inserts before that element), Sub removes by position, and Set of an
// element replaces it through CMwRefBuffer::SetAt. Further items go on in the element nod.
#include "core/nod/MwParam.h"

class CMwParamRefBuffer : public CMwParam {
    MW_DECLARE_CLASS(CMwParamRefBuffer, CMwParam, 0x01027000)
public:
    bool IsRefBuffer() override;
    // The count of the buffer a Get with the path used up at the member gave.
    u32 GetCount(const CMwParamValue& value) override;

    // Path used up: Value is the buffer. Element item: Value is the element nod, or the read
    // goes on in it.
    u32 Get(void* field, CMwMemberPath* path, CMwParamValue* out) override;
    // Path used up: nothing, 0. Element item alone: the input nod replaces the element (2 for a
    // nod the buffer does not accept). Further items: the element's SetParam.
    u32 Set(void* field, CMwMemberPath* path, const void* input) override;
    // Path used up: the buffer's Add of the input nod. Element item alone: the buffer's Insert
    // before it (an index may be the count: appends). Further items: the element's AddParam.
    u32 Add(void* field, CMwMemberPath* path, const void* input) override;
    // Path used up: the buffer's RemoveAt of the u32 position the input points at (2 at or past
    // the count). Element item alone: nothing. Further items: the element's SubParam.
    u32 Sub(void* field, CMwMemberPath* path, const void* input) override;
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
};
