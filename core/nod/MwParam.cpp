#include "core/nod/MwParam.h"

#include "core/nod/MwParamContainer.h"
#include "core/nod/MwParamRefBuffer.h"
#include "core/nod/MwParamScalar.h"
#include "core/nod/MwParamStruct.h"

#include <algorithm>

MW_DEFINE_CLASS(CMwParam, MwFactory<CMwParam>, MW_NO_MEMBERS, MW_NO_CHUNKS);

constinit CClassicString CMwParam::s_ConversionText;
constinit const CClassicString CMwParam::s_EmptyString;
constinit const CClassicWideString CMwParam::s_EmptyWideString;

// ---------------------------------------------------------------------------------------------
// The base class: no container, no components, no text form, no children; every access does
// nothing and succeeds.

bool CMwParam::IsArray() {
    return false;
}

bool CMwParam::IsBuffer() {
    return false;
}

bool CMwParam::IsBucketList() {
    return false;
}

bool CMwParam::IsRefBuffer() {
    return false;
}

u32 CMwParam::GetCount(const CMwParamValue&) {
    return 0;
}

bool CMwParam::IsStruct() {
    return false;
}

u32 CMwParam::GetComponentCount(const CMwParamValue&) {
    return 0;
}

u32 CMwParam::Get(void*, CMwMemberPath*, CMwParamValue*) {
    return MwParam_Ok;
}

u32 CMwParam::Set(void*, CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

u32 CMwParam::Add(void*, CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

u32 CMwParam::Sub(void*, CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

u32 CMwParam::GetSubNod(CMwNod*, CMwMemberPath*, CMwNod** out) {
    // A kind without nods leads nowhere; the caller never sees a stale output.
    *out = nullptr;
    return MwParam_Ok;
}

bool CMwParam::CanToText() {
    return false;
}

bool CMwParam::CanFromText() {
    return false;
}

void CMwParam::FromText(CMwParamValue*, const CClassicWideString&, const CMwMemberInfo*,
                        const CMwParamTextOptions&) {}

void CMwParam::ToText(CClassicWideString&, const void*, const CMwMemberInfo*,
                      const CMwParamTextOptions&) {}

void CMwParam::GetKindPair(u32* first, u32* second) {
    *first = 3;
    *second = 4;
}

void CMwParam::ForEachChildPath(CMwNod*, CMwMemberPath*, CMwMemberPath*, void*, MwChildPathCallback,
                                void*, u32) {}

bool CMwParam::IsContainerKind() {
    return IsArray() || IsBuffer() || IsBucketList() || IsRefBuffer();
}

// ---------------------------------------------------------------------------------------------
// The child-path frame

void CMwParam::BeginChildPaths(const CMwMemberPath& base, CMwMemberPath& scratch) {
    const u32 count = base.m_Count;
    if (scratch.m_Capacity < count + 1)
        scratch.Reserve(count + 1); // keeps the items, so `base` may be `scratch`
    // Storage position 0 is the path's last item: the base's items move up by one and position 0
    // is left for the child.
    std::copy_backward(base.m_Values, base.m_Values + count, scratch.m_Values + count + 1);
    std::copy_backward(base.m_Kinds, base.m_Kinds + count, scratch.m_Kinds + count + 1);
    scratch.m_Values[0] = 0;
    scratch.m_Kinds[0] = MwPathItem_Index;
    scratch.m_Count = count + 1;
    scratch.Reset();
}

bool CMwParam::VisitChildPath(CMwMemberPath& scratch, MwPathValue value, u32 kind, void* receiver,
                              MwChildPathCallback callback, void* user) {
    if (!callback || scratch.m_Count == 0)
        return false;
    scratch.m_Values[0] = value;
    scratch.m_Kinds[0] = kind;
    scratch.Reset();
    return callback(receiver, &scratch, user) != 0;
}

void CMwParam::VisitIndexChildren(const CMwMemberPath& base, CMwMemberPath& scratch, void* receiver,
                                  MwChildPathCallback callback, void* user, u32 first, u32 count) {
    if (first >= count || !callback)
        return;
    BeginChildPaths(base, scratch);
    for (u32 i = first; i < count; ++i)
        if (!VisitChildPath(scratch, i, MwPathItem_Index, receiver, callback, user))
            return;
}

// ---------------------------------------------------------------------------------------------
// The descriptor table: one shared descriptor per type code, in code order, and the
// reference-taking Class descriptor beside it. Built by the registry's binding pass and
// destroyed by its Shutdown, so no static destructor ever runs over them.

namespace {

constinit CMwParam* s_Descriptors[MwType_Count] = {};
constinit CMwParam* s_ReferenceTakingClass = nullptr;

template <class C>
CMwParam* NewDescriptor() {
    return new C;
}

struct CBaseKind {
    u32 TypeCode;
    CMwParam* (*Create)();
    bool HasContainers; // base + 1, + 2 and + 3 are its array, buffer and bucket-list kinds
};

constexpr CBaseKind kBaseKinds[] = {
    {MwType_Action, NewDescriptor<CMwParamAction>, false},
    {MwType_Bool, NewDescriptor<CMwParamBool>, true},
    {MwType_Class, NewDescriptor<CMwParamClass>, true},
    {MwType_Color, NewDescriptor<CMwParamColor>, true},
    {MwType_Enum, NewDescriptor<CMwParamEnum>, false},
    {MwType_Integer, NewDescriptor<CMwParamInteger>, true},
    {MwType_IntegerRange, NewDescriptor<CMwParamIntegerRange>, false},
    {MwType_Iso4, NewDescriptor<CMwParamIso4>, true},
    {MwType_Iso3, NewDescriptor<CMwParamIso3>, true},
    {MwType_Natural, NewDescriptor<CMwParamNatural>, true},
    {MwType_NaturalRange, NewDescriptor<CMwParamNaturalRange>, false},
    {MwType_Real, NewDescriptor<CMwParamReal>, true},
    {MwType_RealRange, NewDescriptor<CMwParamRealRange>, false},
    {MwType_String, NewDescriptor<CMwParamString>, true},
    {MwType_StringInt, NewDescriptor<CMwParamStringInt>, true},
    {MwType_Vec2, NewDescriptor<CMwParamVec2>, true},
    {MwType_Vec3, NewDescriptor<CMwParamVec3>, true},
    {MwType_Vec4, NewDescriptor<CMwParamVec4>, true},
    {MwType_Quat, NewDescriptor<CMwParamQuat>, true},
    {MwType_Proc, NewDescriptor<CMwParamProc>, false},
    {MwType_RefBuffer, NewDescriptor<CMwParamRefBuffer>, false},
};

// The base kinds and their containers fill the codes 0-62 in order, each exactly once, and the
// kinds with containers are those the member rows accept as list elements.
constexpr bool CoversEveryTypeCode() {
    u32 next = 0;
    for (const CBaseKind& kind : kBaseKinds) {
        if (kind.TypeCode != next || kind.HasContainers != MwHasContainers(kind.TypeCode))
            return false;
        next += kind.HasContainers ? 4 : 1;
    }
    return next == MwType_Count;
}
static_assert(CoversEveryTypeCode());

void BuildDescriptors() {
    for (const CBaseKind& kind : kBaseKinds) {
        s_Descriptors[kind.TypeCode] = kind.Create();
        if (kind.HasContainers)
            for (u32 layout = MwTypeArray; layout <= MwTypeBucketList; ++layout)
                s_Descriptors[kind.TypeCode + layout] =
                    CMwParamContainer::Create(kind.TypeCode, layout);
    }
    s_ReferenceTakingClass = new CMwParamClassRef;
}

void DestroyDescriptors() {
    delete s_ReferenceTakingClass;
    s_ReferenceTakingClass = nullptr;
    for (u32 code = MwType_Count; code-- > 0;) {
        delete s_Descriptors[code];
        s_Descriptors[code] = nullptr;
    }
}

CMwParam* DescriptorFor(const CMwMemberInfo& member) {
    if (member.TypeCode == MwType_Class &&
        static_cast<const CMwMemberInfoClass&>(member).TakesReference != 0)
        return s_ReferenceTakingClass;
    return member.TypeCode < MwType_Count ? s_Descriptors[member.TypeCode] : nullptr;
}

} // namespace

CMwParam* CMwParam::GetDescriptor(u32 typeCode) {
    return typeCode < MwType_Count ? s_Descriptors[typeCode] : nullptr;
}

CMwParam* CMwParam::GetReferenceTakingClassDescriptor() {
    return s_ReferenceTakingClass;
}

// ---------------------------------------------------------------------------------------------
// The registry's binding pass

void CMwClassRegistry::BindMemberInfos() {
    if (!s_ReferenceTakingClass)
        BuildDescriptors();
    for (CMwClassInfo* info = GetFirstClassInfo(); info; info = info->m_Next)
        for (u32 i = 0; i < info->m_MemberCount; ++i)
            if (CMwMemberInfo* member = info->m_MemberInfos[i])
                member->Param = DescriptorFor(*member);
}

void CMwClassRegistry::UnbindMemberInfos() {
    for (CMwClassInfo* info = GetFirstClassInfo(); info; info = info->m_Next)
        for (u32 i = 0; i < info->m_MemberCount; ++i)
            if (CMwMemberInfo* member = info->m_MemberInfos[i])
                member->Param = nullptr;
    DestroyDescriptors();
}
