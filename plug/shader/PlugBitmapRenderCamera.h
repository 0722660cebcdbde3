#pragma once
// CPlugBitmapRenderCamera, the render target that draws the scene as a camera nod sees it into
// its bitmap. The camera's class lies outside this system: the target holds the camera and two
// options, and is made by the conversion of old render bitmaps.
#include "plug/bitmap/PlugBitmapRender.h"

class CPlugBitmapRenderCamera : public CPlugBitmapRender {
    MW_DECLARE_CLASS(CPlugBitmapRenderCamera, CPlugBitmapRender, 0x09089000)
public:
    static constexpr u32 s_UseCameraDrawRectBit = 1u << 0;
    static constexpr u32 s_ForceAlphaToOneBit = 1u << 1;

    u32 GetRenderKind() override { return 0; }
    bool IsWithoutCamera() override { return m_HmsCamera.Get() == nullptr; }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_CameraOptions = 0;
    // No member; nothing in this system sets it.
    CMwNodRef m_SecondRef;
    // One reference held, so that a camera released elsewhere never leaves it dangling.
    CMwNodRef m_HmsCamera;
    // The two words after the camera of an old render bitmap.
    u32 m_LegacyWords[2] = {};
};
