// The shader payload of a bitmap: its creation by the bitmap, the shader and its extra render
// targets, the swap bitmap's compatibility and partner links, its chunks, and the links that
// must not dangle when the bitmap goes first.
#include "plug/bitmap/PlugBitmapShader.h"

#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileTga.h"
#include "plug/shader/PlugShader.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugMemberTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"

namespace {

using namespace plug_test;
using B = CPlugBitmap;
using S = CPlugBitmapShader;

const char* const kIncompatible = "BitmapToSwap must be \"compatible\" with container bitmap";

class PlugBitmapShader : public CPlugNodCountFixture {
protected:
    // A bitmap over a BGRA image of the size, with the usage and colour depth given.
    static CMwNodRef Bitmap(u32 width, u32 height, u32 nbComp = 4, u32 depth = 0) {
        CMwNodRef image(new CPlugFileTga);
        static_cast<CPlugFileImg*>(image.Get())
            ->Create(width, height, nbComp, CPlugFileImg::EFormat_BGRA, nullptr, 0, false, false,
                     CPlugFileImg::EDimension_2d, 1);
        CMwNodRef bitmap(new CPlugBitmap);
        Bmp(bitmap)->SetImage(static_cast<CPlugFileImg*>(image.Get()));
        Bmp(bitmap)->SetWantedColorDepth(depth);
        return bitmap;
    }
    static B* Bmp(const CMwNodRef& held) { return static_cast<B*>(held.Get()); }
    static S* Payload(const CMwNodRef& bitmap) {
        Bmp(bitmap)->SetPixelUpdate(B::PixelUpdateShader);
        return Bmp(bitmap)->GetShaderPayload();
    }
};

std::string Le32(u32 v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// Kind 5 gives a payload held once, whose container is the bitmap and whose shader is a new
// applied shader with one colour output (no extra target); SetUpdateShader hands it another.
TEST_F(PlugBitmapShader, BitmapShaderKind) {
    const CMwNodRef held = Bitmap(16, 16);
    S* payload = Payload(held);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(Bmp(held)->GetPixelUpdateKind(), 5u);
    EXPECT_EQ(payload->GetRefCount(), 1);
    EXPECT_EQ(payload->GetContainer(), Bmp(held));
    ASSERT_NE(payload->GetShader(), nullptr);
    for (u32 id : {0x09026000u, 0x09004000u, 0x09002000u, 0x0902B000u})
        EXPECT_TRUE(payload->GetShader()->IsKindOf(id)) << std::hex << id;
    EXPECT_EQ(payload->GetShader()->GetRefCount(), 1);
    EXPECT_EQ(CPlugShader::GetColorOutputCount(payload->GetShader()), 1u);
    EXPECT_EQ(payload->GetExtraRTs().m_Count, 0u);
    EXPECT_EQ(GetNod(Bmp(held), "Shader"), payload);
    EXPECT_EQ(GetNod(Bmp(held), "Shader.Shader"), payload->GetShader());
    EXPECT_EQ(payload->MemberCount(), 4u);
    EXPECT_EQ(payload->ChunkCount(), 3u);
    EXPECT_STREQ(CMwClassRegistry::GetMemberInfo(0x09080001)->Label, "BitmapSwap");

    CMwNodRef other(new CPlugShaderApply);
    EXPECT_TRUE(Bmp(held)->SetUpdateShader(other.Get()));
    EXPECT_EQ(Bmp(held)->GetShaderPayload(), payload);
    EXPECT_EQ(payload->GetShader(), other.Get());
    EXPECT_FALSE(Bmp(held)->SetUpdateShader(nullptr));
    CLogWatch log;
    EXPECT_FALSE(Bmp(held)->SetUpdateShader(Bmp(held)));
    EXPECT_NE(log.Since().find("no shader"), std::string::npos);
    EXPECT_EQ(payload->GetShader(), other.Get());
    // SetUpdateShader switches another kind to 5 first.
    const CMwNodRef plain = Bitmap(4, 4);
    EXPECT_TRUE(Bmp(plain)->SetUpdateShader(other.Get()));
    ASSERT_NE(Bmp(plain)->GetShaderPayload(), nullptr);
    EXPECT_EQ(Bmp(plain)->GetShaderPayload()->GetShader(), other.Get());
}

// A swap bitmap must match the container's image size and NbComp, usage and colour depth; a side
// without image, the container itself and a payload without container are incompatible too. The
// refusal logs its line and changes nothing.
TEST_F(PlugBitmapShader, SwapCompatibility) {
    const CMwNodRef container = Bitmap(256, 256);
    S* payload = Payload(container);
    const CMwNodRef noImage(new CPlugBitmap);
    const CMwNodRef usage = Bitmap(256, 256);
    ASSERT_TRUE(Bmp(usage)->SetUsage(B::ColorFloat));
    const struct {
        const char* What;
        CMwNodRef Candidate;
    } refused[] = {{"256 x 128", Bitmap(256, 128)},
                   {"128 x 256", Bitmap(128, 256)},
                   {"3 bytes per texel", Bitmap(256, 256, 3)},
                   {"32-bit colour", Bitmap(256, 256, 4, 2)},
                   {"other usage", usage},
                   {"no image", noImage},
                   {"itself", container}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.What);
        CLogWatch log;
        EXPECT_FALSE(payload->SetBitmapToSwap(Bmp(r.Candidate)));
        EXPECT_NE(log.Since().find(kIncompatible), std::string::npos);
        EXPECT_EQ(payload->GetBitmapToSwap(), nullptr);
        EXPECT_EQ(Bmp(container)->GetSwapPartner(), nullptr);
        EXPECT_EQ(Bmp(r.Candidate)->GetSwapPartner(), nullptr);
    }
    // A container without image.
    const CMwNodRef bare(new CPlugBitmap);
    const CMwNodRef match = Bitmap(256, 256);
    EXPECT_FALSE(Payload(bare)->SetBitmapToSwap(Bmp(match)));
    // A payload of no bitmap.
    CMwNodRef loose(new CPlugBitmapShader);
    EXPECT_FALSE(static_cast<S*>(loose.Get())->SetBitmapToSwap(Bmp(match)));

    // Compatible: held, and each bitmap the other's partner with the flag.
    EXPECT_TRUE(payload->SetBitmapToSwap(Bmp(match)));
    EXPECT_EQ(payload->GetBitmapToSwap(), Bmp(match));
    EXPECT_EQ(match->GetRefCount(), 2);
    EXPECT_EQ(Bmp(container)->GetSwapPartner(), Bmp(match));
    EXPECT_EQ(Bmp(match)->GetSwapPartner(), Bmp(container));
    EXPECT_NE(Bmp(container)->m_Flags[1] & B::s_SwapPartnerBit, 0u);
    EXPECT_NE(Bmp(match)->m_Flags[1] & B::s_SwapPartnerBit, 0u);
    // By path, none: the reference goes back and the container has no partner.
    EXPECT_EQ(SetNod(Bmp(container), "Shader.BitmapToSwap", nullptr), 0u);
    EXPECT_EQ(payload->GetBitmapToSwap(), nullptr);
    EXPECT_EQ(match->GetRefCount(), 1);
    EXPECT_EQ(Bmp(container)->GetSwapPartner(), nullptr);
}

// Reading keeps exactly the stored extra targets, whatever the shader's size; the next write
// first sizes the list to the shader (the entries' references go back) and writes that.
TEST_F(PlugBitmapShader, ExtraTargetsReadAndWritten) {
    const CMwNodRef target = Bitmap(8, 8);
    CMwNodRef held(new CPlugBitmapShader);
    auto* payload = static_cast<S*>(held.Get());
    ReadChunkBody(*payload, 0x09080000, Le32(0xFFFFFFFF) + Le32(2) + Le32(0) + Le32(0), false,
                  target.Get());
    EXPECT_EQ(payload->GetShader(), nullptr);
    ASSERT_EQ(payload->GetExtraRTs().m_Count, 2u);
    EXPECT_EQ(payload->GetExtraRTs()[1], Bmp(target));
    EXPECT_EQ(target->GetRefCount(), 3);
    // Set by path or by call: the entry is replaced; past the count or none is ignored.
    const CMwNodRef other = Bitmap(8, 8);
    EXPECT_EQ(SetNod(payload, "ExtraRTs.1", other.Get()), 0u);
    EXPECT_EQ(payload->GetExtraRTs()[1], Bmp(other));
    EXPECT_EQ(target->GetRefCount(), 2);
    EXPECT_EQ(SetNod(payload, "ExtraRTs.2", other.Get()), 2u);
    payload->SetExtraRT(0, nullptr);
    payload->SetExtraRT(7, Bmp(other));
    EXPECT_EQ(payload->GetExtraRTs()[0], Bmp(target));
    EXPECT_EQ(GetNod(payload, "ExtraRTs.0"), target.Get());

    EXPECT_EQ(WriteChunkBody(*payload, 0x09080001), Le32(0xFFFFFFFF) + Le32(0) + Le32(0xFFFFFFFF));
    EXPECT_EQ(payload->GetExtraRTs().m_Count, 0u);
    EXPECT_EQ(target->GetRefCount(), 1);
    EXPECT_EQ(other->GetRefCount(), 1);

    // A shader with one colour output sizes the list to nothing, entries released.
    ReadChunkBody(*payload, 0x09080000, Le32(0xFFFFFFFF) + Le32(1) + Le32(0), false, target.Get());
    CMwNodRef shader(new CPlugShaderApply);
    EXPECT_EQ(SetNod(payload, "Shader", shader.Get()), 0u);
    EXPECT_EQ(payload->GetShader(), shader.Get());
    EXPECT_EQ(payload->GetExtraRTs().m_Count, 0u);
    EXPECT_EQ(target->GetRefCount(), 1);
    // None, or a nod that is no shader, is ignored.
    EXPECT_EQ(SetNod(payload, "Shader", nullptr), 2u);
    EXPECT_EQ(SetNod(payload, "Shader", target.Get()), 2u);
    EXPECT_EQ(payload->GetShader(), shader.Get());
}

// A stored count past 64 or past the bytes left, or a nod of the wrong class, fails the read
// with a log line; the shader has sized the list already (its entries given back) and nothing
// read holds a reference.
TEST_F(PlugBitmapShader, BadStoredTargets) {
    const CMwNodRef target = Bitmap(8, 8);
    CMwNodRef held(new CPlugBitmapShader);
    auto* payload = static_cast<S*>(held.Get());
    std::string many = Le32(0xFFFFFFFF) + Le32(65);
    for (u32 i = 0; i < 65; ++i)
        many += Le32(0);
    const struct {
        const char* What;
        std::string Body;
        CMwNod* Reference;
    } cases[] = {{"past 64", many, target.Get()},
                 {"past the bytes left", Le32(0xFFFFFFFF) + Le32(3) + Le32(0), target.Get()},
                 {"an entry that is no bitmap", Le32(0xFFFFFFFF) + Le32(1) + Le32(0), payload}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ReadChunkBody(*payload, 0x09080000, Le32(0xFFFFFFFF) + Le32(1) + Le32(0), false,
                      target.Get());
        ASSERT_EQ(target->GetRefCount(), 2);
        CLogWatch log;
        EXPECT_THROW(ReadChunkBody(*payload, 0x09080000, c.Body, false, c.Reference),
                     CClassicBufferException);
        EXPECT_FALSE(log.Since().empty());
        EXPECT_EQ(payload->GetExtraRTs().m_Count, 0u);
        EXPECT_EQ(target->GetRefCount(), 1);
    }
}

// The swap bitmap read is stored without the test; the partner links are made after the load,
// or when the payload is given its container.
TEST_F(PlugBitmapShader, PartnersLinkedAfterLoad) {
    const CMwNodRef container = Bitmap(16, 16), swap = Bitmap(32, 32);
    for (bool containerFirst : {true, false}) {
        SCOPED_TRACE(containerFirst);
        CMwNodRef held(new CPlugBitmapShader);
        auto* payload = static_cast<S*>(held.Get());
        if (containerFirst)
            payload->SetContainer(Bmp(container));
        ReadChunkBody(*payload, 0x09080001, Le32(0xFFFFFFFF) + Le32(0) + Le32(0), false,
                      swap.Get());
        EXPECT_EQ(payload->GetBitmapToSwap(), Bmp(swap));
        EXPECT_EQ(Bmp(container)->GetSwapPartner(), nullptr);
        payload->OnAfterLoad();
        if (!containerFirst)
            payload->SetContainer(Bmp(container));
        EXPECT_EQ(Bmp(container)->GetSwapPartner(), Bmp(swap));
        EXPECT_EQ(Bmp(swap)->GetSwapPartner(), Bmp(container));
        Bmp(container)->SetSwapPartner(nullptr, false);
        Bmp(swap)->SetSwapPartner(nullptr, false);
        payload->SetContainer(nullptr);
    }
}

// A payload held elsewhere forgets its container when the bitmap goes or gives it up; the Shader
// member moves the references to a new payload. Destruction gives every reference back.
TEST_F(PlugBitmapShader, PayloadLinks) {
    auto* bitmap = new CPlugBitmap;
    bitmap->AddRef();
    bitmap->SetPixelUpdate(B::PixelUpdateShader);
    CMwNodRef first(bitmap->GetShaderPayload());
    CMwNodRef second(new CPlugBitmapShader);
    EXPECT_EQ(SetNod(bitmap, "Shader", second.Get()), 0u);
    EXPECT_EQ(bitmap->GetShaderPayload(), second.Get());
    EXPECT_EQ(static_cast<S*>(first.Get())->GetContainer(), nullptr);
    EXPECT_EQ(static_cast<S*>(second.Get())->GetContainer(), bitmap);
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(second->GetRefCount(), 2);
    EXPECT_EQ(SetNod(bitmap, "Shader", bitmap), 2u);
    bitmap->Release();
    auto* kept = static_cast<S*>(second.Get());
    EXPECT_EQ(kept->GetContainer(), nullptr);
    const CMwNodRef swap = Bitmap(4, 4);
    CLogWatch log;
    EXPECT_FALSE(kept->SetBitmapToSwap(Bmp(swap)));

    // Destroyed with a shader, a swap bitmap and a target, the payload leaves them to their
    // other holders only.
    const CMwNodRef container = Bitmap(4, 4), target = Bitmap(4, 4);
    CMwNodRef shader(new CPlugShaderApply);
    auto* payload = new CPlugBitmapShader;
    payload->AddRef();
    payload->SetContainer(Bmp(container));
    payload->SetShader(static_cast<CPlugShader*>(shader.Get()));
    ASSERT_TRUE(payload->SetBitmapToSwap(Bmp(swap)));
    ReadChunkBody(*payload, 0x09080000, Le32(0xFFFFFFFF) + Le32(1) + Le32(0), false, target.Get());
    payload->Release();
    EXPECT_EQ(shader->GetRefCount(), 1);
    EXPECT_EQ(swap->GetRefCount(), 1);
    EXPECT_EQ(target->GetRefCount(), 1);
    Bmp(container)->SetSwapPartner(nullptr, false);
}

} // namespace
