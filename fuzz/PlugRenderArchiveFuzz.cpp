// Fuzzes the loading of archive images whose nod is a render target of a bitmap (water, cube map,
// camera) or a bitmap's shader payload: the filters, flag words old and new, the view volume, nod
// references to clear bitmaps, shaders, swap bitmaps and extra render targets. The images go
// through the memory file ids of a System engine registered once over a temporary folder, with
// the core, system and plug classes.
//
// A load ends loaded or failed, never in a fault, a hang or an allocation sized from the image,
// and leaves no nod behind. A loaded render has HideAlways in both masks and out of both refs;
// a payload holds at most 64 extra targets. Installed in a bitmap that then goes, the nod keeps
// no link to it; it saves, loads and saves again to the same bytes.
#include "FuzzArchive.h"
#include "FuzzCheck.h"
#include "FuzzEngine.h"
#include "FuzzFiles.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "plug/PlugClasses.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugBitmapRender.h"
#include "plug/bitmap/PlugBitmapShader.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFids.h"

#include <filesystem>

namespace {

struct SWorld {
    CFuzzFolder Folder{"plugrenderfuzz"};
    CSystemEngine* Engine = nullptr;
    // The loader file ids share, made on first use and kept: made and held here, so that the
    // count of nods compares like with like.
    CMwNodRef Loader;

    SWorld() {
        // The log would keep every line of every run.
        g_ClassicLog.m_SuspendCount = 1;
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::Init();
        std::filesystem::create_directories(Folder.File("GameData"));
        Engine = fuzz_engine::Register(Folder.Host());
        FUZZ_CHECK(Engine && Engine->m_MemoryFids && Engine->GetDataFolder()->m_Trees.m_Count == 0);
        Loader.Set(CSystemDummyFidLoader::Get());
    }
};

SWorld* s_World = nullptr;

// Folders a reference table of an image named below the data folder stay in the engine's tree
// after the load, as they would for a file; they go before the next input, with their file ids.
void DropFolder(CSystemFids* folder) {
    while (folder->m_Trees.m_Count != 0)
        DropFolder(folder->m_Trees.m_Items[folder->m_Trees.m_Count - 1]);
    while (folder->m_Leaves.m_Count != 0)
        CSystemEngine::DeleteFid(folder->m_Leaves.m_Items[folder->m_Leaves.m_Count - 1]);
    delete folder;
}

void CheckRender(CPlugBitmapRender& render) {
    constexpr u16 kHideAlways = CPlugBitmapRender::s_HideAlwaysBit;
    FUZZ_CHECK((render.m_ItemFilter.Mask & kHideAlways) &&
               (render.m_ShadowFilter.Mask & kHideAlways));
    FUZZ_CHECK(!(render.m_ItemFilter.Ref & kHideAlways) &&
               !(render.m_ShadowFilter.Ref & kHideAlways));
    FUZZ_CHECK(!(render.m_RenderFlags & CPlugBitmapRender::s_LoadClearedBit));
    // Installed in a bitmap that goes first: the render forgets its owner.
    CMwNodRef bitmap(new CPlugBitmap);
    static_cast<CPlugBitmap*>(bitmap.Get())
        ->SetPixelUpdate(CPlugBitmap::PixelUpdateRender, &render);
    FUZZ_CHECK(render.GetOwnerBitmap() == bitmap.Get());
    bitmap.Set(nullptr);
    FUZZ_CHECK(render.GetOwnerBitmap() == nullptr);
}

void CheckShader(CPlugBitmapShader& payload) {
    FUZZ_CHECK(payload.GetExtraRTs().m_Count <= CPlugBitmapShader::s_MaxExtraRTs);
    for (u32 i = 0; i < payload.GetExtraRTs().m_Count; ++i)
        if (CMwNod* target = payload.GetExtraRTs()[i])
            FUZZ_CHECK(CMwNod::IsValidNod(target) && target->IsKindOf(CPlugBitmap::s_ClassId));
    // The payload of a bitmap that goes first forgets its container, and the swap bitmap its
    // partner.
    CMwNodRef bitmap(new CPlugBitmap);
    auto* container = static_cast<CPlugBitmap*>(bitmap.Get());
    container->SetPixelUpdate(CPlugBitmap::PixelUpdateShader);
    CMwMemberPath path;
    FUZZ_CHECK(path.ParseFromText(CMwNod::s_NoClassId, container, CClassicString("Shader")) == 0);
    FUZZ_CHECK(container->SetParam(&path, &payload) == 0);
    FUZZ_CHECK(payload.GetContainer() == container);
    bitmap.Set(nullptr);
    FUZZ_CHECK(payload.GetContainer() == nullptr);
    if (CPlugBitmap* swap = payload.GetBitmapToSwap())
        FUZZ_CHECK(swap->GetSwapPartner() == nullptr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    s_World = new SWorld;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount();
    {
        CClassicBufferMemory image;
        image.Write(data, u32(size));
        image.Rewind();
        CMwNod* out = nullptr;
        const i32 loaded = LoadNodFromMemoryBuffer(&image, &out);
        FUZZ_CHECK((loaded == 1) == (out != nullptr));
        CMwNodRef nod(out);
        if (nod && nod->IsKindOf(CPlugBitmapRender::s_ClassId)) {
            CheckRender(static_cast<CPlugBitmapRender&>(*out));
            FuzzCheckSaveReloads(out);
        } else if (nod && nod->IsKindOf(CPlugBitmapShader::s_ClassId)) {
            CheckShader(static_cast<CPlugBitmapShader&>(*out));
            FuzzCheckSaveReloads(out);
        }
    }
    CSystemFids* dataFolder = s_World->Engine->GetDataFolder();
    fuzz_engine::ForgetUnheldNods(dataFolder);
    while (dataFolder->m_Trees.m_Count != 0)
        DropFolder(dataFolder->m_Trees.m_Items[dataFolder->m_Trees.m_Count - 1]);
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
