// Fuzzes the loading of archive images whose main nod is a light (any of the six classes, every
// older chunk version), with the core, system and plug classes registered.
//
// A load ends loaded or failed, never in a fault, a hang or an allocation, and a failed load
// leaves no nod behind. After a load every member is read, a few are written with values taken
// from the input's last bytes, and the light is reset to its defaults. A member write or the
// reset may leave a derived radius or angle that the next load refreshes, so the light is saved
// and loaded once first; that light then saves, loads and saves again to the same bytes.
#include "FuzzArchive.h"
#include "FuzzCheck.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "plug/PlugClasses.h"
#include "plug/visual/GxLight.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The path of one member of the nod.
void MemberPath(CMwMemberPath& path, CMwMemberInfo& member) {
    path.Reserve(0);
    path.Reserve(1);
    path.PushFront(reinterpret_cast<MwPathValue>(&member));
    path.Reset();
}

// The members of the Graphic engine's classes; those of CMwNod are left alone.
bool IsLightMember(const CMwMemberInfo& member) {
    return member.MemberId >> 24 == 0x04;
}

CMwMemberInfo* MemberByIndex(CMwNod& nod, u32 index) {
    return CMwClassRegistry::GetMemberInfo(nod.MemberIdByIndex(index));
}

void ReadEveryMember(CMwNod& nod) {
    const u32 count = nod.MemberCount();
    for (u32 i = 0; i < count; ++i) {
        CMwMemberInfo* member = MemberByIndex(nod, i);
        FUZZ_CHECK(member != nullptr);
        CMwMemberPath path;
        MemberPath(path, *member);
        CMwParamValue out;
        const u32 result = nod.GetParam(&path, &out);
        FUZZ_CHECK(!IsLightMember(*member) || result == MwParam_Ok);
    }
}

// Up to eight writes, five bytes each from the end of the input: the member index, then the four
// bytes of the value, repeated over the width of the largest value (a colour).
void WriteSomeMembers(CMwNod& nod, const u8* data, size_t size) {
    const u32 count = nod.MemberCount();
    for (u32 w = 0; w < 8 && size >= 5 * (w + 1); ++w) {
        const u8* item = data + size - 5 * (w + 1);
        CMwMemberInfo* member = MemberByIndex(nod, item[0] % count);
        FUZZ_CHECK(member != nullptr);
        u8 value[48];
        for (u32 b = 0; b < sizeof value; ++b)
            value[b] = item[1 + b % 4];
        if (!IsLightMember(*member))
            continue;
        CMwMemberPath path;
        MemberPath(path, *member);
        // Every light member may be written.
        FUZZ_CHECK(nod.SetParam(&path, value) == MwParam_Ok);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount();
    {
        std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
        CSystemArchive archive;
        CMwNodRef nod(FuzzLoadBytes(archive, fid.get(), data, size));
        if (nod && nod->IsKindOf(GxLight::s_ClassId)) {
            ReadEveryMember(*nod.Get());
            WriteSomeMembers(*nod.Get(), data, size);
            ReadEveryMember(*nod.Get());
            static_cast<GxLight*>(nod.Get())->ResetDefaults();

            CClassicBufferMemory image;
            FuzzSaveBytes(nod.Get(), image);
            std::unique_ptr<CSystemFidMemory> loadedFid(new CSystemFidMemory);
            CSystemArchive loader;
            CMwNodRef loaded(
                FuzzLoadBytes(loader, loadedFid.get(), image.GetData(), image.GetSize()));
            FUZZ_CHECK(loaded.Get() != nullptr);
            FUZZ_CHECK(loaded->GetClassId() == nod->GetClassId());
            FuzzCheckSaveReloads(loaded.Get());
        }
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
