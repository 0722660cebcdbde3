#include "plug/shader/PlugBitmapRenderCamera.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"

#include <cstring>

namespace {

constexpr u32 kUseCameraDrawRect = 0x09089000;
constexpr u32 kForceAlphaToOne = 0x09089001;

// The option bit of a member; 0 for another member.
u32 OptionBit(u32 memberId) {
    return memberId == kUseCameraDrawRect ? CPlugBitmapRenderCamera::s_UseCameraDrawRectBit
           : memberId == kForceAlphaToOne ? CPlugBitmapRenderCamera::s_ForceAlphaToOneBit
                                          : 0;
}

} // namespace

#define CPLUGBITMAPRENDERCAMERA_MEMBERS(X)                                                         \
    X(Bool, 0x09089000, "UseCameraDrawRect", MW_VIRTUAL(""), "CameraDrawRect", 0x33, 0x380)        \
    X(Bool, 0x09089001, "ForceAlphaToOne", MW_VIRTUAL(""), "Force Alpha=1", 0x33, 0x380)           \
    X(Class, 0x09089002, "Camera", MW_FIELD(m_HmsCamera), "Camera", 0x03, 0x3FA0,                  \
      &CMwNod::s_ClassInfo, 1)
#define CPLUGBITMAPRENDERCAMERA_CHUNKS(X) X(0x09089000, 1)

MW_DEFINE_CLASS(CPlugBitmapRenderCamera, MwFactory<CPlugBitmapRenderCamera>,
                CPLUGBITMAPRENDERCAMERA_MEMBERS, CPLUGBITMAPRENDERCAMERA_CHUNKS);

u32 CPlugBitmapRenderCamera::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (const u32 bit = OptionBit(member.MemberId))
            return MwAnswerValue(out, u32((m_CameraOptions & bit) != 0));
        return MwNotOwnMember;
    });
}

u32 CPlugBitmapRenderCamera::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        const u32 bit = OptionBit(member.MemberId);
        if (!bit)
            return MwNotOwnMember;
        if (!value)
            return MwParam_NotFound;
        u32 on = 0;
        std::memcpy(&on, value, sizeof on);
        m_CameraOptions = on ? m_CameraOptions | bit : m_CameraOptions & ~bit;
        return MwParam_Ok;
    });
}

void CPlugBitmapRenderCamera::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x09089000:
            // An old form: the render path alone.
            if (!archive.m_Writing)
                archive.ReadUInts(&m_RenderPath, 1);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}
