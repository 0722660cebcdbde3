#include "core/nod/MwClassInfoViewer.h"

#include "core/nod/MwVirtualMember.h"

namespace {
constexpr const char* kNoFieldName = ClassicEmptyText<char>();
}

#define CMWCLASSINFOVIEWER_MEMBERS(X)                                                              \
    X(Natural, 0x01022000, "ClassId", MW_VIRTUAL(kNoFieldName), "ClassId", 0x11, 0x380)

MW_DEFINE_CLASS(CMwClassInfoViewer, MwFactory<CMwClassInfoViewer>, CMWCLASSINFOVIEWER_MEMBERS,
                MW_NO_CHUNKS);

u32 CMwClassInfoViewer::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_ClassIdMemberId)
            return MwNotOwnMember;
        // A Natural has no components.
        if (path->GetCurrentKind() == MwPathItem_Index)
            return MwParam_NotFound;
        if (!m_ClassInfo)
            return MwAnswerValue(out, s_NoClassId);
        out->Value = &m_ClassInfo->m_ClassId;
        return MwParam_Ok;
    });
}
