// The census and the class-list check of the plug library, and its start-up.
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "plug/bitmap/PlugBitmapRender.h"
#include "plug/bitmap/PlugBitmapShader.h"
#include "plug/bitmap/PlugFile.h"
#include "plug/bitmap/PlugFileJpg.h"
#include "plug/bitmap/PlugFileTga.h"
#include "plug/shader/PlugShader.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"
#include "tests/support/MwClassListCheck.h"

namespace {

class PlugClassList : public CPlugFixture {};

// Every record of the library is filed once, under engine 9 or, for the lights, the Graphic
// engine 4, with member ids that fit its class and a registered parent.
TEST_F(PlugClassList, Census) {
    const CMwClassCensus census = MwTakeClassCensus(g_PlugClassList);
    EXPECT_EQ(g_PlugClassList.m_Count, 30u);
    EXPECT_EQ(census.PerEngine[0x09], 24u);
    EXPECT_EQ(census.PerEngine[0x04], 6u);
    // CPlugFile, CPlugFileImg, CPlugFileVideo, the three GPU program bases, the visual base, the
    // render base and the two shader bases are abstract.
    EXPECT_EQ(census.WithoutFactory, 10u);
}

// CPlug, the picture file classes, the zip classes, the vertex stream, the index buffer, the
// bitmap, the text file, the six lights, the applied shader, the shader payload and the render
// targets are made, filled, written and read back. The member records cannot fill the two
// geometry classes (none is writable): they get content here. A render's filters are given the
// form every load gives them; the shader payload holds a shader, which the archive stores as a
// node index.
TEST_F(PlugClassList, ClassesRoundTrip) {
    const CMwNodRef shader(new CPlugShaderApply);
    CMwClassListCheck check;
    check.Fill = [&](CMwNod& nod) {
        if (nod.IsKindOf(CPlugVertexStream::s_ClassId)) {
            MakeInterleavedStream(static_cast<CPlugVertexStream&>(nod), 3);
        } else if (nod.IsKindOf(CPlugIndexBuffer::s_ClassId)) {
            MakeIndexBuffer(static_cast<CPlugIndexBuffer&>(nod), 7);
        } else if (nod.IsKindOf(CPlugBitmapShader::s_ClassId)) {
            static_cast<CPlugBitmapShader&>(nod).SetShader(static_cast<CPlugShader*>(shader.Get()));
        } else {
            MwFillMembers(nod);
            if (nod.IsKindOf(CPlugBitmapRender::s_ClassId))
                nod.OnAfterLoad();
        }
    };
    check.MakeArchive = [&] { return std::make_unique<CNodIndexArchive>(shader.Get()); };
    const CMwClassListCheckCounts counts = MwCheckClassList(g_PlugClassList, check);
    EXPECT_EQ(counts.Created, 20u);
    // The lights write 1, 1, 2, 3, 4 and 5 chunks, the shader payload and render targets 16.
    EXPECT_EQ(counts.ChunksWritten, 34u);
}

// The picture file classes are images, file-backed nods and nods; each is of its own kind only.
TEST_F(PlugClassList, PictureClassKinds) {
    CMwNodRef tga(new CPlugFileTga);
    CMwNodRef jpg(new CPlugFileJpg);
    EXPECT_EQ(tga->GetClassId(), 0x09023000u);
    EXPECT_EQ(jpg->GetClassId(), 0x09022000u);
    for (u32 id : {0x09025000u, 0x09020000u, 0x0902B000u, 0x01001000u}) {
        EXPECT_TRUE(tga->IsKindOf(id)) << std::hex << id;
        EXPECT_TRUE(jpg->IsKindOf(id)) << std::hex << id;
    }
    EXPECT_TRUE(tga->IsKindOf(0x09023000));
    EXPECT_FALSE(tga->IsKindOf(0x09022000));
    EXPECT_TRUE(jpg->IsKindOf(0x09022000));
    EXPECT_FALSE(jpg->IsKindOf(0x09023000));
}

// Start-up installs the library's answers to the System engine; stopping puts the defaults back.
TEST_F(PlugClassList, StartAndStopInstallTheFileClasses) {
    ASSERT_NE(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0xFFFFFFFFu);
    PlugStart();
    EXPECT_EQ(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0x09023000u);
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"fr.mo"), 0x09055000u);
    PlugStop();
    EXPECT_NE(&PlugFileServices(), &PlugFileClasses());
    EXPECT_EQ(PlugFileServices().ClassIdFromFileName(u"a.tga"), 0xFFFFFFFFu);
}

} // namespace
