#include "core/base/ClassicArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "tests/system/archive/ArchiveTestSupport.h"

#include <memory>

namespace {

using SystemArchive = ArchiveFixture;

CArchiveTestNod* NewNod(u32 value, const char16_t* name = u"", f32 real = 0) {
    auto* nod = new CArchiveTestNod;
    nod->m_Value = value;
    nod->m_Name = name;
    nod->m_Real = real;
    return nod;
}

CArchiveTestNod* TestNod(const CMwNodRef& ref) {
    return static_cast<CArchiveTestNod*>(ref.Get());
}

// A nod with the value 7, the name "ab" and the real 1.5, without links or file.
CArchiveBytes PlainNodBody() {
    CArchiveBytes body;
    body.ValueChunk(7, "ab", 1.5f).LinksChunk(0, "").FileChunk(0xFFFFFFFF).End();
    return body;
}

TEST_F(SystemArchive, BinaryFileByteForByte) {
    CMwNodRef nod(NewNod(7, u"ab", 1.5f));
    const std::string bytes = SaveArchive(nod.Get(), kSystemArchiveSaveRelease);
    CArchiveBytes expected;
    expected.Header(0x0B0F0000, 1).U32(0).Raw(PlainNodBody().Bytes());
    EXPECT_EQ(bytes, expected.Bytes());
}

TEST_F(SystemArchive, NewFileIdSavesTextWithSaveFlagsZero) {
    CMwNodRef nod(NewNod(7, u"ab", 1.5f));
    std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
    ASSERT_TRUE(fid->IsText());
    const std::string bytes = SaveArchive(nod.Get(), 0, fid.get());
    const std::string expected = std::string("ZUN\x06\x00", 5) +
                                 "TUUE"
                                 "b0f0000\r\n0\r\n1\r\n0\r\n"
                                 "b0f0000\r\n7\r\nab\r\n1.500000\r\n"
                                 "b0f0001\r\n1397442896\r\n3\r\n0\r\n"
                                 "b0f0002\r\n4294967295\r\n"
                                 "facade01\r\n";
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(fid->m_ContentClassId, 0x0B0F0000u);

    // Read back, the file id takes the file's format.
    fid->SetFormat(false, true);
    CMwNodRef loaded = LoadArchive(bytes, fid.get());
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(fid->IsText());
    EXPECT_FALSE(fid->IsCompressed());
    EXPECT_EQ(TestNod(loaded)->m_Value, 7u);
    EXPECT_EQ(Narrow(TestNod(loaded)->m_Name), "ab");
    EXPECT_EQ(loaded->GetFid(), fid.get());
}

// Text and compressed together: the header and the table are text lines, the LZO block's two
// sizes are raw 4-byte words, as the block writer writes them.
TEST_F(SystemArchive, TextCompressedBodyKeepsRawBlockSizes) {
    CMwNodRef nod(NewNod(7, u"ab", 1.5f));
    const std::string plain = SaveArchive(nod.Get(), kSystemArchiveSaveText);
    const std::string packed =
        SaveArchive(nod.Get(), kSystemArchiveSaveText | kSystemArchiveSaveCompressed);
    const std::string head = "b0f0000\r\n0\r\n1\r\n0\r\n";
    ASSERT_EQ(plain.substr(0, 9), std::string("ZUN\x06\x00TUUE", 9));
    ASSERT_EQ(packed.substr(0, 9), std::string("ZUN\x06\x00TUCE", 9));
    ASSERT_EQ(packed.substr(9, head.size()), head);
    const std::string plainBody = plain.substr(9 + head.size());
    const std::string block = packed.substr(9 + head.size());
    ASSERT_GE(block.size(), 8u);
    CArchiveBytes sizes;
    sizes.U32(u32(plainBody.size())).U32(u32(block.size() - 8));
    EXPECT_EQ(block.substr(0, 8), sizes.Bytes());

    CClassicBufferMemory stream;
    stream.Write(block.data(), u32(block.size()));
    stream.Rewind();
    CClassicPooledBuffer decoded(stream.ReadLzoBlock());
    ASSERT_NE(decoded.Get(), nullptr);
    EXPECT_EQ(BytesOf(*decoded.Get()), plainBody);

    CMwNodRef loaded = LoadArchive(packed);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(TestNod(loaded)->m_Real, 1.5f);
}

// A nod linked three times is stored once inline (index, class id, chunks) and twice as its bare
// index; a null link is 0xFFFFFFFF.
TEST_F(SystemArchive, NodLinkedThreeTimesIsInlineOnce) {
    CMwNodRef main(NewNod(1));
    CMwNodRef child(NewNod(2));
    TestNod(main)->Link(child.Get())->Link(nullptr)->Link(child.Get())->Link(child.Get());
    const std::string bytes = SaveArchive(main.Get(), kSystemArchiveSaveRelease);

    CArchiveBytes childBody;
    childBody.ValueChunk(2, "", 0).LinksChunk(0, "").FileChunk(0xFFFFFFFF).End();
    CArchiveBytes links;
    links.U32(1).U32(0x0B0F0000).Raw(childBody.Bytes()).U32(0xFFFFFFFF).U32(1).U32(1);
    CArchiveBytes expected;
    expected.Header(0x0B0F0000, 2)
        .U32(0)
        .ValueChunk(1, "", 0)
        .LinksChunk(4, links.Bytes())
        .FileChunk(0xFFFFFFFF)
        .End();
    EXPECT_EQ(bytes, expected.Bytes());

    CMwNodRef loaded = LoadArchive(bytes);
    ASSERT_TRUE(loaded);
    const auto& got = TestNod(loaded)->m_Links;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].Get(), nullptr);
    EXPECT_EQ(got[0].Get(), got[2].Get());
    EXPECT_EQ(got[0].Get(), got[3].Get());
    EXPECT_EQ(got[0]->GetRefCount(), 3);
    EXPECT_EQ(static_cast<CArchiveTestNod*>(got[0].Get())->m_Value, 2u);
}

// The same tree in the four encodings: what is read back has the same shape and values, and
// writes the same bytes again.
TEST_F(SystemArchive, RoundTripInEveryEncoding) {
    CMwNodRef main(NewNod(1, u"Main \u00e9t\u00e9 | x", -2.25f));
    CMwNodRef shared(NewNod(2, u"shared"));
    CMwNodRef deep(NewNod(3, u"deep", 1e-3f));
    CMwNodRef other(NewNod(4, u"line\r\nbreak"));
    TestNod(shared)->Link(deep.Get());
    TestNod(main)->Link(shared.Get())->Link(other.Get())->Link(shared.Get())->Link(nullptr);
    TestNod(other)->Link(deep.Get());

    for (u32 flags : {0u, 1u, 2u, 3u, 8u, 11u}) {
        SCOPED_TRACE(flags);
        const std::string first = SaveArchive(main.Get(), flags);
        CMwNodRef loaded = LoadArchive(first);
        ASSERT_TRUE(loaded);
        CArchiveTestNod* nod = TestNod(loaded);
        EXPECT_EQ(Narrow(nod->m_Name), Narrow(TestNod(main)->m_Name));
        EXPECT_EQ(nod->m_Real, -2.25f);
        ASSERT_EQ(nod->m_Links.size(), 4u);
        EXPECT_EQ(nod->m_Links[0].Get(), nod->m_Links[2].Get());
        EXPECT_EQ(nod->m_Links[3].Get(), nullptr);
        auto* loadedShared = static_cast<CArchiveTestNod*>(nod->m_Links[0].Get());
        auto* loadedOther = static_cast<CArchiveTestNod*>(nod->m_Links[1].Get());
        EXPECT_EQ(Narrow(loadedOther->m_Name), "line\r\nbreak");
        ASSERT_EQ(loadedShared->m_Links.size(), 1u);
        ASSERT_EQ(loadedOther->m_Links.size(), 1u);
        EXPECT_EQ(loadedShared->m_Links[0].Get(), loadedOther->m_Links[0].Get());
        EXPECT_FLOAT_EQ(static_cast<CArchiveTestNod*>(loadedShared->m_Links[0].Get())->m_Real,
                        1e-3f);
        EXPECT_EQ(SaveArchive(loaded.Get(), flags), first);
    }
}

// A file of version 3 has no release letter, no blob and no use-file bools.
TEST_F(SystemArchive, ReadsVersionThree) {
    CArchiveBytes bytes;
    bytes.Raw(std::string("ZUN\x03\x00", 5) + "BUU").U32(0x0B0F0000).U32(1).U32(0);
    bytes.Raw(PlainNodBody().Bytes());
    std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
    CClassicBufferMemory in;
    in.Write(bytes.Bytes().data(), u32(bytes.Bytes().size()));
    in.Rewind();
    CSystemArchive archive;
    archive.SetCurrentFid(fid.get());
    CMwNod* nod = nullptr;
    ASSERT_TRUE(archive.Load(&in, &nod));
    const CMwNodRef held(nod);
    EXPECT_EQ(archive.GetVersion(), 3);
    EXPECT_EQ(archive.m_Release, 0);
    EXPECT_EQ(fid->GetHeaderBlobState(), kSystemFidBlobAbsent);
    EXPECT_FALSE(fid->IsText());
    EXPECT_EQ(static_cast<CArchiveTestNod*>(nod)->m_Value, 7u);
}

// Version 3 and 4 records have no use-file bool: every reference is a nod reference.
TEST_F(SystemArchive, OldRecordsHaveNoUseFileBool) {
    for (char version : {'\x03', '\x04'}) {
        SCOPED_TRACE(int(version));
        CArchiveBytes bytes;
        bytes.Raw(std::string("ZUN") + version + std::string(1, '\0') + "BUU");
        if (version == '\x04')
            bytes.Raw("R");
        bytes.U32(0x0B0F0000).U32(2);
        bytes.U32(1).U32(0).U32(1).Text("Sub").U32(0);
        bytes.U32(1).Text("a.Thing.Zun").U32(1).U32(1);
        bytes.Raw(PlainNodBody().Bytes());
        CClassicBufferMemory in;
        in.Write(bytes.Bytes().data(), u32(bytes.Bytes().size()));
        in.Rewind();
        CSystemArchive archive;
        archive.SetLoadMode(kSystemArchiveLoadRawBody);
        CMwNod* nod = nullptr;
        ASSERT_TRUE(archive.Load(&in, &nod));
        ASSERT_EQ(archive.GetRefs().m_Count, 1u);
        EXPECT_EQ(archive.GetRefs().m_Items[0].m_UseFile, 0u);
        EXPECT_EQ(archive.GetRefs().m_Items[0].m_FolderIndex, 1u);
        EXPECT_EQ(archive.m_Release, version == '\x04' ? 1 : 0);
        EXPECT_EQ(BytesOf(*archive.GetBodyBuffer()), PlainNodBody().Bytes());
    }
}

// Without a drive to make references relative to, a memory image is saved against an empty one.
TEST_F(SystemArchive, NoDriveLocal) {
    CArchiveTestNod* part = NewNod(2);
    CMwNodRef held(part);
    std::unique_ptr<CSystemFidFile> file(new CSystemFidFile);
    file->m_FileName = u"Part.Thing.Zun";
    CSystemEngine::AttachNodToFid(part, file.get());
    CMwNodRef main(NewNod(1));
    TestNod(main)->Link(part);
    std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
    CLogWatch log;
    const std::string bytes = SaveArchive(main.Get(), kSystemArchiveSaveRelease, fid.get());
    EXPECT_NE(log.Since().find("No Drive Local\r\n"), std::string::npos);
    CArchiveBytes table;
    table.U32(1).U32(0).U32(0).U32(1).Text("Part.Thing.Zun").U32(1).U32(0).U32(0);
    EXPECT_EQ(bytes.substr(21, table.Bytes().size()), table.Bytes());
    CSystemEngine::DetachNodFromFid(part);
}

// A header-chunk blob whose size does not match its pairs is dropped; the load goes on. The
// second letter 'C' is kept and written back.
TEST_F(SystemArchive, MismatchedBlobIsIgnoredAndSecondLetterKept) {
    CArchiveBytes bytes;
    bytes.Raw(std::string("ZUN\x06\x00", 5) + "BCUR").U32(0x0B0F0000);
    bytes.U32(12).U32(1).U32(0x0B0F0000).U32(9); // one pair of 9 bytes in a blob of 12
    bytes.U32(1).U32(0).Raw(PlainNodBody().Bytes());
    std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
    CClassicBufferMemory in;
    in.Write(bytes.Bytes().data(), u32(bytes.Bytes().size()));
    in.Rewind();
    CSystemArchive archive;
    archive.SetCurrentFid(fid.get());
    CMwNod* nod = nullptr;
    ASSERT_TRUE(archive.Load(&in, &nod));
    const CMwNodRef held(nod);
    EXPECT_EQ(fid->GetHeaderBlobState(), kSystemFidBlobUnread);
    EXPECT_TRUE(archive.m_SecondLetterC);

    CClassicBufferMemory out;
    archive.SetSaveFlags(kSystemArchiveSaveRelease);
    archive.SetCurrentFid(nullptr);
    ASSERT_TRUE(archive.Save(nod, &out));
    EXPECT_EQ(BytesOf(out).substr(0, 9), std::string("ZUN\x06\x00"
                                                     "BCUR",
                                                     9));
}

// Load mode 3 reads header and table and keeps the body's bytes without creating a nod.
TEST_F(SystemArchive, RawBodyMode) {
    CMwNodRef nod(NewNod(7, u"ab", 1.5f));
    const std::string bytes = SaveArchive(nod.Get(), kSystemArchiveSaveRelease);
    const u32 before = CMwNod::GetLiveNodCount();
    CClassicBufferMemory in;
    in.Write(bytes.data(), u32(bytes.size()));
    in.Rewind();
    CSystemArchive archive;
    archive.SetLoadMode(kSystemArchiveLoadRawBody);
    CMwNod* out = reinterpret_cast<CMwNod*>(1);
    ASSERT_TRUE(archive.Load(&in, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    EXPECT_EQ(BytesOf(*archive.GetBodyBuffer()), PlainNodBody().Bytes());
}

// ---- Damaged files ----

struct SBadFile {
    const char* Name;
    std::string Bytes;
    const char* LogLine; // null: no line expected
};

std::vector<SBadFile> BadFiles() {
    const std::string body = PlainNodBody().Bytes();
    auto header = [](u32 classId, u32 nodes) {
        CArchiveBytes bytes;
        bytes.Header(classId, nodes);
        return bytes;
    };
    std::vector<SBadFile> cases;
    cases.push_back({"magic", std::string("ZUM\x06\x00", 5) + "BUUR" + body,
                     "Wrong .Zun format : <fid not fidfile>\r\n"});
    cases.push_back({"version 7", std::string("ZUN\x07\x00", 5) + "BUUR" + body, nullptr});
    cases.push_back({"version 2", std::string("ZUN\x02\x00", 5) + "BUUR" + body, nullptr});
    cases.push_back({"cut in the header", std::string("ZUN\x06\x00", 5) + "BUUR\x00\x00",
                     "damaged or truncated data"});
    cases.push_back({"unknown main class", header(0x0B0F7000, 1).U32(0).Raw(body).Bytes(),
                     "a main nod of a class that cannot be created"});
    cases.push_back({"node count above the limit", header(0x0B0F0000, 0x7FFFFFFF).Bytes(),
                     "a node count above the limit"});
    cases.push_back({"node count above the body", header(0x0B0F0000, 1000).U32(0).Raw(body).Bytes(),
                     "a node count above what the body can hold"});
    cases.push_back({"no node table", header(0x0B0F0000, 0).U32(0).Raw(body).Bytes(),
                     "a body without a node table"});
    {
        CArchiveBytes links;
        links.U32(1).U32(0x0B0F7000).Raw(body);
        CArchiveBytes bytes = header(0x0B0F0000, 2);
        bytes.U32(0).ValueChunk(1, "", 0).LinksChunk(1, links.Bytes()).End();
        cases.push_back({"unknown inline class", bytes.Bytes(),
                         "an inline nod of a class that cannot be created"});
    }
    {
        CArchiveBytes links;
        links.U32(5);
        CArchiveBytes bytes = header(0x0B0F0000, 2);
        bytes.U32(0).ValueChunk(1, "", 0).LinksChunk(1, links.Bytes()).End();
        cases.push_back(
            {"link past the node table", bytes.Bytes(), "a nod reference past the node table"});
    }
    {
        CArchiveBytes bytes = header(0x0B0F0000, 1);
        bytes.U32(0).ValueChunk(1, "", 0).FileChunk(3).End();
        cases.push_back({"file id past the node table", bytes.Bytes(),
                         "a file-id reference past the node table"});
    }
    {
        CArchiveBytes links;
        links.U32(1).U32(0x0B0F0000).ValueChunk(1, "", 0).End();
        CArchiveBytes bytes = header(0x0B0F0000, 3);
        bytes.U32(0).ValueChunk(1, "", 0).LinksChunk(1, links.Bytes()).FileChunk(1).End();
        cases.push_back({"file id of a nod", bytes.Bytes(), "a file-id reference to a nod"});
    }
    {
        // Each nod links the next one inline, deeper than an archive reads.
        std::string nested = CArchiveBytes().End().Bytes();
        for (u32 level = 300; level > 0; --level) {
            CArchiveBytes links;
            links.U32(level).U32(0x0B0F0000).Raw(nested);
            CArchiveBytes wrap;
            wrap.LinksChunk(1, links.Bytes()).End();
            nested = wrap.Bytes();
        }
        CArchiveBytes bytes = header(0x0B0F0000, 301);
        bytes.U32(0).Raw(nested);
        cases.push_back(
            {"inline nods nested too deep", bytes.Bytes(), "damaged or truncated data"});
    }
    cases.push_back({"cut in the body",
                     header(0x0B0F0000, 1).U32(0).Raw(body.substr(0, body.size() - 6)).Bytes(),
                     "damaged or truncated data"});
    {
        CArchiveBytes bytes;
        bytes.Raw(std::string("ZUN\x06\x00", 5) + "BUCR").U32(0x0B0F0000).U32(0).U32(1).U32(0);
        bytes.U32(u32(body.size())).U32(12).Raw(std::string(12, '\x55'));
        cases.push_back({"corrupt compressed body", bytes.Bytes(), "LZO"});
    }
    cases.push_back({"reference count past the bytes",
                     header(0x0B0F0000, 1).U32(0x00FFFFFF).Raw(body).Bytes(),
                     "damaged or truncated data"});
    return cases;
}

// Every damaged file is a failed load with a log line (none for an unknown version), and the nods
// made before the failure go again.
TEST_F(SystemArchive, DamagedFilesFailWithALogLine) {
    for (const SBadFile& bad : BadFiles()) {
        SCOPED_TRACE(bad.Name);
        const u32 before = CMwNod::GetLiveNodCount();
        CLogWatch log;
        const CMwNodRef nod = LoadArchive(bad.Bytes);
        EXPECT_FALSE(nod);
        if (bad.LogLine)
            EXPECT_NE(log.Since().find(bad.LogLine), std::string::npos) << log.Since();
        else
            EXPECT_EQ(log.Since(), "");
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
}

// The nods an inline body made before it failed are deleted, also those already linked.
TEST_F(SystemArchive, FailedLoadDeletesTheNodsItMade) {
    CMwNodRef main(NewNod(1));
    for (u32 i = 0; i < 5; ++i)
        TestNod(main)->Link(NewNod(10 + i)->Link(NewNod(20 + i)));
    const std::string bytes = SaveArchive(main.Get(), kSystemArchiveSaveRelease);
    const u32 before = CMwNod::GetLiveNodCount();
    for (size_t cut : {bytes.size() - 1, bytes.size() / 2, size_t(40)}) {
        SCOPED_TRACE(cut);
        CLogWatch log;
        EXPECT_FALSE(LoadArchive(bytes.substr(0, cut)));
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
    EXPECT_TRUE(LoadArchive(bytes));
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

} // namespace
