// The engine's archive files read by a reader of their own in Python (struct and python-lzo):
// header, reference table, and a compressed body that decompresses to the plain body.
#include "system/engine/SystemEngine.h"
#include "tests/system/archive/ArchiveTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

namespace {

using SystemArchivePython = ArchiveFixture;

TEST_F(SystemArchivePython, IndependentReaderAgrees) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    CSystemFid* own =
        engine.GetFileFid(nullptr, u"C:\\Game\\GameData\\A\\Z\\Main.Thing.Zun", nullptr);
    CSystemFid* x = engine.GetFileFid(nullptr, u"C:\\Game\\GameData\\A\\X\\x.Thing.Zun", nullptr);
    CSystemFid* resource = engine.GetResourceFid(kSystemResourceIdBase | 4);
    ASSERT_TRUE(own && x && resource);
    CMwNodRef nx(new CArchiveTestNod), bitmap(new CArchiveTestBitmap);
    CSystemEngine::AttachNodToFid(nx.Get(), x);
    CSystemEngine::AttachNodToFid(bitmap.Get(), resource);
    auto* main = new CArchiveTestNod;
    CMwNodRef held(main);
    main->m_Name = u"Caf\u00e9 | \r\n";
    auto* inner = new CArchiveTestNod;
    inner->m_Name = u"inner";
    main->Link(nx.Get())->Link(inner)->Link(bitmap.Get())->Link(inner);
    main->m_File = x;

    CTempFolder temp;
    const struct {
        const char* Name;
        u32 Plain, Packed;
        const char* Letters;
    } forms[] = {{"binary", kSystemArchiveSaveRelease,
                  kSystemArchiveSaveRelease | kSystemArchiveSaveCompressed, "BU"},
                 {"text", kSystemArchiveSaveText,
                  kSystemArchiveSaveText | kSystemArchiveSaveCompressed, "TU"}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.Name);
        const std::string plain = temp.File(std::string(form.Name) + ".Zun");
        const std::string packed = temp.File(std::string(form.Name) + "-lzo.Zun");
        WriteWholeFile(plain, SaveArchive(main, form.Plain, own));
        WriteWholeFile(packed, SaveArchive(main, form.Packed, own));
        const std::string release = form.Plain & kSystemArchiveSaveRelease ? "R" : "E";
        const std::string table = "level 1 folders X,Z\n"
                                  "ref 1 x.Thing.Zun node 1 usefile 0 folder 1\n"
                                  "ref 5 4 node 3 usefile 0 folder -\n"
                                  "ref 1 x.Thing.Zun node 4 usefile 1 folder 1\n";
        const std::string output =
            RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                       "/tests/system/archive/zun_reader.py --same-body " + plain + " " + packed);
        const std::string expected = "version 6 " + std::string(form.Letters) + "U" + release +
                                     " class 0b0f0000 blob 0 nodes 5\n" + table + "version 6 " +
                                     form.Letters + "C" + release +
                                     " class 0b0f0000 blob 0 nodes 5\n" + table;
        ASSERT_EQ(output.substr(0, expected.size()), expected);
        EXPECT_EQ(output.substr(expected.size(), 10), "same body ");
    }
    CSystemEngine::DetachNodFromFid(nx.Get());
    CSystemEngine::DetachNodFromFid(bitmap.Get());
}

} // namespace
