// The camera render target and the shader identities: the camera query, the reference the camera
// member holds, the option members, and the old chunk of the render path.
#include "plug/shader/PlugBitmapRenderCamera.h"

#include "plug/shader/PlugShader.h"
#include "tests/plug/PlugMemberTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"

namespace {

using namespace plug_test;
using C = CPlugBitmapRenderCamera;

class PlugBitmapRenderCamera : public CPlugNodCountFixture {};

// Kind 0; true to the query until a camera is set. The member holds a reference, given back when
// the camera is replaced and when the target goes.
TEST_F(PlugBitmapRenderCamera, CameraHeldByReference) {
    CMwNodRef held(new CPlugBitmapRenderCamera);
    auto* target = static_cast<C*>(held.Get());
    EXPECT_EQ(target->GetRenderKind(), 0u);
    EXPECT_TRUE(target->IsWithoutCamera());
    EXPECT_EQ(target->m_RenderFlags, CPlugBitmapRender::s_DefaultFlags);
    CMwNodRef camera(new CPlug), other(new CPlug);
    EXPECT_EQ(SetNod(target, "Camera", camera.Get()), 0u);
    EXPECT_FALSE(target->IsWithoutCamera());
    EXPECT_EQ(GetNod(target, "Camera"), camera.Get());
    EXPECT_EQ(camera->GetRefCount(), 2);
    EXPECT_EQ(SetNod(target, "Camera", other.Get()), 0u);
    EXPECT_EQ(camera->GetRefCount(), 1);
    target->m_SecondRef.Set(camera.Get());
    held.Set(nullptr);
    EXPECT_EQ(camera->GetRefCount(), 1);
    EXPECT_EQ(other->GetRefCount(), 1);
}

// The two options are their bits; other members are the render's.
TEST_F(PlugBitmapRenderCamera, Options) {
    CMwNodRef held(new CPlugBitmapRenderCamera);
    auto* target = static_cast<C*>(held.Get());
    EXPECT_EQ(Set<u32>(target, "ForceAlphaToOne", 1), 0u);
    EXPECT_EQ(target->m_CameraOptions, 2u);
    EXPECT_EQ(Set<u32>(target, "UseCameraDrawRect", 1), 0u);
    EXPECT_EQ(Set<u32>(target, "ForceAlphaToOne", 0), 0u);
    EXPECT_EQ(target->m_CameraOptions, 1u);
    EXPECT_EQ(Get<u32>(target, "UseCameraDrawRect"), 1u);
    EXPECT_EQ(Set<u32>(target, "BlurTexelCount", 300), 0u);
    EXPECT_EQ(target->GetFlagMember(0x09086045), 255u);
}

// The old chunk holds the render path alone; the target writes only its base's chunks.
TEST_F(PlugBitmapRenderCamera, OldRenderPathChunk) {
    CMwNodRef held(new CPlugBitmapRenderCamera);
    auto* target = static_cast<C*>(held.Get());
    ReadChunkBody(*target, 0x09089000, std::string("\x02\x00\x00\x00", 4));
    EXPECT_EQ(target->m_RenderPath, u32(CPlugBitmapRender::GlowInput));
    EXPECT_EQ(Get<u32>(target, "RenderPath"), 2u);
    EXPECT_EQ(target->GetChunkInfo(0x09089000), 1u);
    for (u32 i = 0; i < target->ChunkCount(); ++i)
        if (target->GetChunkInfo(target->ChunkIdByIndex(i)) & 2)
            EXPECT_EQ(target->ChunkIdByIndex(i) & 0xFFFFF000u, 0x09086000u);
}

// The shader classes: kinds along the chain, and which of them the factory makes.
TEST_F(PlugBitmapRenderCamera, ShaderIdentities) {
    EXPECT_EQ(CMwClassRegistry::CreateNodById(0x09002000), nullptr);
    EXPECT_EQ(CMwClassRegistry::CreateNodById(0x09004000), nullptr);
    CMwNodRef apply(CMwClassRegistry::CreateNodById(0x09026000));
    ASSERT_NE(apply.Get(), nullptr);
    EXPECT_EQ(apply->GetClassId(), 0x09026000u);
    for (u32 id : {0x09026000u, 0x09004000u, 0x09002000u, 0x0902B000u, 0x01001000u})
        EXPECT_TRUE(apply->IsKindOf(id)) << std::hex << id;
    EXPECT_FALSE(apply->IsKindOf(0x09086000u));
    EXPECT_EQ(CPlugShader::GetColorOutputCount(static_cast<CPlugShader*>(apply.Get())), 1u);
    EXPECT_EQ(CPlugShader::GetColorOutputCount(nullptr), 1u);
}

} // namespace
