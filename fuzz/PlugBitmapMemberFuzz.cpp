// Fuzzes the bitmap's members and operations: a bitmap over a small image, then a run of steps
// from the input: member reads, writes, adds and subs by path (member, element or component,
// a continuation into the image, and a value of the member's kind), pixel-update kinds, usages,
// new images and videos, swap partners that come and go, and the flag operations. No sanitizer
// report, and no nod of the run is left alive at its end.
//
// Input: width, height (mod 33 each), components (mod 5), dimension bit; then steps of one
// operation byte and its arguments until the input ends.
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "fuzz/FuzzReader.h"
#include "plug/PlugClasses.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileVideo.h"

#include <cstring>
#include <string>

namespace {

// A video that copies a frame of the input's choosing.
class CFuzzVideo : public CPlugFileVideo {
    MW_DECLARE_CLASS(CFuzzVideo, CPlugFileVideo, 0x09FFD000)
public:
    i32 UpdateFrame(CPlugBitmap*, u32, u32 nbComp, u32, u8* pixels, u32 pitch) override {
        if (pixels && pitch)
            for (u64 i = 0; i < u64(pitch) * m_Height && i < m_ByteSize; ++i)
                pixels[i] = u8(i * nbComp);
        return 1;
    }
    void Start(u32, u32, u32) override {}
    void Stop(u32) override {}
    void Rewind() override {}
};
MW_DEFINE_CLASS(CFuzzVideo, MwFactory<CFuzzVideo>, MW_NO_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_FuzzClasses[] = {&CFuzzVideo::s_ClassInfo};

volatile u32 g_Sink;

template <class T>
T* NewHeld() {
    T* nod = new T;
    nod->AddRef();
    return nod;
}

CPlugFileImg* NewImage(CFuzzReader& in) {
    const u8 kind = in.Byte();
    CPlugFileImg* image =
        (kind & 1) ? static_cast<CPlugFileImg*>(NewHeld<CFuzzVideo>()) : NewHeld<CPlugFileImg>();
    const u32 format = (kind >> 1) & 1 ? CPlugFileImg::EFormat_DXT1 : CPlugFileImg::EFormat_BGRA;
    const u32 width = in.Byte() % 33, height = in.Byte() % 33;
    const u32 dimension = (kind >> 2) & 3;
    u8* blocks = nullptr;
    u32 size = 0;
    if (format == CPlugFileImg::EFormat_DXT1) {
        size = ((width + 3) / 4) * ((height + 3) / 4) * 8;
        blocks = size ? new u8[size]() : nullptr;
    }
    image->Create(width, height, (kind >> 4) % 5, format, blocks, size, (kind >> 5) & 1,
                  (kind >> 6) & 1, dimension == 3 ? 1 : dimension, 1);
    if (kind & 0x80)
        image->FreePixels();
    return image;
}

struct CWorld {
    CPlugBitmap* Bitmap = nullptr;
    CPlugBitmap* Partner = nullptr;
    CPlugFileImg* Image = nullptr;

    void ReleaseAll() {
        for (CMwNod** nod :
             {reinterpret_cast<CMwNod**>(&Bitmap), reinterpret_cast<CMwNod**>(&Partner),
              reinterpret_cast<CMwNod**>(&Image)}) {
            if (*nod)
                (*nod)->Release();
            *nod = nullptr;
        }
    }
};

// The nod a Class member is given.
CMwNod* PickNod(CWorld& world, u8 choice) {
    switch (choice % 4) {
        case 0:
            return nullptr;
        case 1:
            return world.Image;
        case 2:
            return world.Bitmap;
        default:
            return world.Partner;
    }
}

// One member access by path: the member (index among the bitmap's members), then an element or
// component item, or a member of the image, and a value of the target's kind.
void MemberStep(CWorld& world, CFuzzReader& in, u8 operation) {
    CPlugBitmap* bitmap = world.Bitmap;
    const u32 index = in.Byte() % bitmap->MemberCount();
    const u8 item = in.Byte();
    const u8 choice = in.Byte();
    u8 raw[48] = {};
    const std::string bytes = in.Bytes(16);
    std::memcpy(raw, bytes.data(), bytes.size());

    CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(bitmap->MemberIdByIndex(index));
    if (!member)
        return;
    std::string text = member->Name;
    CMwMemberInfo* target = member;
    if (member->MemberId == 0x09011029 && (item & 0x80) && world.Image) {
        CMwMemberInfo* sub = CMwClassRegistry::GetMemberInfo(
            world.Image->MemberIdByIndex((item & 0x7F) % world.Image->MemberCount()));
        if (sub) {
            text += std::string(".") + sub->Name;
            target = sub;
        }
    } else if (item < 0x40) {
        text += "." + std::to_string(item % 6);
    } else if (item < 0x48) {
        text += ".length";
    }
    CMwMemberPath path;
    if (path.ParseFromText(CMwNod::s_NoClassId, bitmap, CClassicString(text.c_str())) != 0)
        return;

    u32 kind = MwContainerElementType(target->TypeCode);
    if (kind == MwType_Count)
        kind = target->TypeCode;
    CClassicString string("fuzz");
    CClassicWideString wide(u"fuzz");
    const void* value = raw;
    if (kind == MwType_String)
        value = &string;
    else if (kind == MwType_StringInt)
        value = &wide;
    else if (kind == MwType_Class)
        value = PickNod(world, choice);

    switch (operation) {
        case 0: {
            CMwParamValue out;
            if (bitmap->GetParam(&path, &out) == 0 && out.Value && kind != MwType_Class &&
                kind != MwType_String && kind != MwType_StringInt) {
                u32 word;
                std::memcpy(&word, out.Value, sizeof word);
                g_Sink = g_Sink + word;
            }
            break;
        }
        case 1:
            bitmap->SetParam(&path, value);
            break;
        case 2:
            bitmap->AddParam(&path, value);
            break;
        case 3:
            bitmap->SubParam(&path, value);
            break;
        default:
            path.Reset();
            bitmap->CheckParam(&path);
            break;
    }
}

void Step(CWorld& world, CFuzzReader& in) {
    CPlugBitmap* bitmap = world.Bitmap;
    const u8 operation = in.Byte();
    switch (operation % 16) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            MemberStep(world, in, operation % 16);
            break;
        case 5:
            bitmap->SetPixelUpdate(in.Byte() % 11);
            break;
        case 6:
            bitmap->SetUsage(in.Byte() % 30);
            break;
        case 7: {
            CPlugFileImg* image = NewImage(in);
            bitmap->SetImage(image);
            if (world.Image)
                world.Image->Release();
            world.Image = image;
            break;
        }
        case 8: {
            const u8 choice = in.Byte();
            if (choice & 4) {
                if (!world.Partner)
                    world.Partner = NewHeld<CPlugBitmap>();
                bitmap->SetSwapPartner(world.Partner, choice & 1);
            } else if (choice & 2) {
                bitmap->SetSwapPartner(nullptr, choice & 1);
            } else if (world.Partner) {
                world.Partner->Release();
                world.Partner = nullptr;
            }
            break;
        }
        case 9:
            bitmap->UpdateFromImage();
            break;
        case 10: {
            const u8 a = in.Byte();
            bitmap->SetTexAddress(a & 3, (a >> 2) & 3, (a >> 4) & 3);
            bitmap->SetWantMipMapping(a & 0x40);
            bitmap->SetWantedColorDepth(in.Byte() % 4);
            bitmap->SetMipLevelSkipCountMax(in.Byte());
            break;
        }
        case 11:
            if (world.Image && (in.Byte() & 1))
                world.Image->EnsurePixelBuffer();
            else
                bitmap->DropPreparedPixels();
            break;
        case 12: {
            const u8 a = in.Byte();
            if (a & 1)
                bitmap->m_AtlasEntries.Add({u16(a), u16(a >> 1)});
            else
                bitmap->m_AtlasSubEntries.Add({u16(a >> 1 & 7), u8(a), u8(a >> 3)});
            break;
        }
        case 13:
            if (BitmapVideoFrames* frames = bitmap->GetVideoFrames())
                if (world.Image)
                    frames->Callbacks[in.Byte() & 1](
                        bitmap, 0, world.Image->GetNbComp(), 0, world.Image->m_Pixels,
                        world.Image->m_Width * world.Image->GetNbComp());
            break;
        case 14:
            if (DynaSpecularRegionList* list = bitmap->GetDynaSpecularRegions()) {
                const u8 a = in.Byte();
                if (a & 1)
                    list->Add();
                else
                    list->Shrink(a >> 1);
            }
            break;
        default:
            bitmap->SetDirty(in.Byte() & 1);
            break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CPlugFileImg::SetImageLimit(u64(1) << 20);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::AddClassList(CMwClassList{s_FuzzClasses, 1});
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    const u32 live = CMwNod::GetLiveNodCount();
    {
        CFuzzReader in{data, size};
        CWorld world;
        world.Bitmap = NewHeld<CPlugBitmap>();
        auto* image = NewHeld<CPlugFileImg>();
        const u32 width = in.Byte() % 33, height = in.Byte() % 33;
        const u8 shape = in.Byte();
        image->Create(width, height, shape % 5, CPlugFileImg::EFormat_BGRA, nullptr, 0, false,
                      false, (shape & 0x80) ? CPlugFileImg::EDimension_Cube : 1, 1);
        world.Image = image;
        world.Bitmap->SetImage(image);
        for (u32 steps = 0; in.More() && steps < 512; ++steps)
            Step(world, in);
        world.ReleaseAll();
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == live);
    return 0;
}
