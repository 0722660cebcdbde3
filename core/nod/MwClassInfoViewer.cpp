#include "core/nod/MwClassInfoViewer.h"

#include "core/nod/MwMemberPath.h"

#include <cstring>

namespace {
constexpr const char* kNoFieldName = ClassicEmptyText<char>();
}

#define CMWCLASSINFOVIEWER_MEMBERS(X)                                                              \
    X(Natural, 0x01022000, "ClassId", MW_VIRTUAL(kNoFieldName), "ClassId", 0x11, 0x380)

MW_DEFINE_CLASS(CMwClassInfoViewer, MwFactory<CMwClassInfoViewer>, CMWCLASSINFOVIEWER_MEMBERS,
                MW_NO_CHUNKS);

u32 CMwClassInfoViewer::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    const CMwMemberInfo* member = path->TakeMember();
    if (!member || member->MemberId != s_ClassIdMemberId) {
        if (member)
            path->PutBack();
        return Super::GetParamVirtual(path, out);
    }
    // A Natural has no components.
    if (path->GetCurrentKind() == MwPathItem_Index)
        return MwParam_NotFound;
    if (m_ClassInfo) {
        out->Value = &m_ClassInfo->m_ClassId;
        return MwParam_Ok;
    }
    const u32 unset = s_NoClassId;
    std::memcpy(out->Scratch, &unset, sizeof unset);
    out->Value = out->Scratch;
    return MwParam_Ok;
}
