#pragma once
// CPlugBitmapShader, the payload of a bitmap whose pixels a shader produces (pixel-update kind
// 5): the shader, the extra render targets a shader with several colour outputs writes, and an
// optional bitmap the container is swapped with (ping-pong rendering). There is no renderer
// here: the nod keeps and archives these links and keeps the two swapped bitmaps linked.
#include "core/base/FastBuffer.h"
#include "plug/bitmap/PlugFile.h"

class CPlugBitmap;
class CPlugShader;

class CPlugBitmapShader : public CPlug {
    MW_DECLARE_CLASS(CPlugBitmapShader, CPlug, 0x09080000)
public:
    // A stored list of extra render targets holds at most this many entries.
    static constexpr u32 s_MaxExtraRTs = 64;

    CPlugBitmapShader() = default;
    CPlugBitmapShader(const CPlugBitmapShader&) = delete;
    CPlugBitmapShader& operator=(const CPlugBitmapShader&) = delete;
    ~CPlugBitmapShader() override;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // Links the container and BitmapToSwap as each other's swap partners.
    void OnAfterLoad() override;

    // The bitmap whose payload this is (no reference; the bitmap clears it when it gives the
    // payload up). Setting it links the swap partners when BitmapToSwap is set.
    void SetContainer(CPlugBitmap* bitmap);
    CPlugBitmap* GetContainer() const { return m_Container; }
    // Takes a reference on the new shader (none allowed), gives the old one back, and sizes the
    // extra render targets to the shader's colour outputs minus one.
    void SetShader(CPlugShader* shader);
    CPlugShader* GetShader() const { return m_Shader; }
    // A bitmap (or none) compatible with the container: same image width, height and NbComp,
    // same usage and WantedColorDepth. Refused with a log line (false, nothing changed)
    // otherwise; on success the two bitmaps become each other's swap partners.
    bool SetBitmapToSwap(CPlugBitmap* bitmap);
    CPlugBitmap* GetBitmapToSwap() const { return m_BitmapToSwap; }
    // Ignored past the entry count or for none.
    void SetExtraRT(u32 index, CPlugBitmap* bitmap);
    // The entries (bitmaps or none).
    const CFastArray<CMwNod*>& GetExtraRTs() const { return m_ExtraRTs; }

private:
    bool IsCompatible(CPlugBitmap* bitmap) const;
    void LinkSwapPartners();
    // Resizes the list: entries past the new count are given back, new ones are empty.
    void ResizeExtraRTs(u32 count);
    void ArchiveShaderAndTargets(CClassicArchive& archive);

    // No reference.
    CPlugBitmap* m_Container = nullptr;
    // One reference each.
    CPlugShader* m_Shader = nullptr;
    CPlugBitmap* m_BitmapToSwap = nullptr;
    // Bitmaps, one reference per non-empty entry. Kept as nods: the member's list descriptor
    // reads the array as one of nods.
    CFastArray<CMwNod*> m_ExtraRTs;
};
