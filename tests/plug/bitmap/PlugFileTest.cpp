// File-backed nods: the extension table, the guarded read, the load and save roads by path,
// stream and file id, and the archive roads through the Plug file services.
#include "plug/bitmap/PlugFile.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwMemberPath.h"
#include "plug/PlugStart.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/plug/PlugTestSupport.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

CPlugTestWav* Wav(const CMwNodRef& ref) {
    return static_cast<CPlugTestWav*>(ref.Get());
}

// A memory stream holding the text.
void Fill(CClassicBufferMemory& stream, const std::string& text) {
    stream.Write(text.data(), u32(text.size()));
    stream.Rewind();
}

// The Plug file services installed while it lives.
struct CPlugStarted {
    CPlugStarted() { PlugStart(); }
    ~CPlugStarted() { PlugStop(); }
    CPlugStarted(const CPlugStarted&) = delete;
    CPlugStarted& operator=(const CPlugStarted&) = delete;
};

class PlugFile : public CPlugEngineFixture {};

// The first row whose suffix the name ends with decides; a suffix matches a longer name only,
// without regard to ASCII case.
TEST_F(PlugFile, ExtensionTable) {
    const struct {
        const char16_t* Name;
        u32 ClassId;
    } cases[] = {
        {u"a.jpg", 0x09022000},
        {u"x.jpeg", 0x09022000},
        {u"x.jpe", 0xFFFFFFFF},
        {u"a.TGA", 0x09023000},
        {u"a.tga", 0x09023000},
        {u".tga", 0xFFFFFFFF},
        {u"a.dds", 0x09024000},
        {u"a.avi", 0x09032000},
        {u"a.bik", 0x0905F000},
        {u"a.wav", 0x09031000},
        {u"a.mid", 0x09035000},
        {u"a.MIDI", 0x09035000},
        {u"a.mp3", 0x09036000},
        {u"a.ogg", 0x0905A000},
        {u"a.mux", 0x0905A000},
        {u"x.vsh.txt", 0x09042000},
        {u"x.Vsh.Cry", 0x09042000},
        {u"x.psh.txt", 0x09045000},
        {u"x.psh.cry", 0x09045000},
        {u"x.text.txt", 0x09041000},
        {u"x.text.cry", 0x09041000},
        {u"x.script.txt", 0x09041000},
        {u"x.script.cry", 0x09041000},
        {u"x.vpp.txt", 0x09041000},
        {u"x.vpp.cry", 0x09041000},
        {u"x.vhlsl.txt", 0x09074000},
        {u"x.vhlsl.cry", 0x09074000},
        {u"x.phlsl.txt", 0x09077000},
        {u"x.phlsl.cry", 0x09077000},
        {u"x.txt", 0x09041000},
        {u"x.cry", 0x09041000},
        {u"x.mpj.txt", 0x09041000},
        {u"x.mpj.cry", 0x09041000},
        {u".vsh.txt", 0x09041000},
        {u"a.zip", 0x09084000},
        {u"a.ttf", 0x0902D000},
        {u"a.fnt", 0x0902D000},
        {u"a.ttc", 0x0902D000},
        {u"fr.mo", 0x09055000},
        {u"a.fx", 0x09094000},
        {u"a.obj", 0x09099000},
        {u"a.3DS", 0x0909B000},
        {u"Z:\\Data\\a.tga", 0x09023000},
        {u"a.tga.Zun", 0xFFFFFFFF},
        {u"a", 0xFFFFFFFF},
        {u"", 0xFFFFFFFF},
        {u"a.t\u00e7a", 0xFFFFFFFF},
        {u"a.\u0130xt", 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        const std::u16string name(c.Name);
        EXPECT_EQ(CPlugFile::ClassIdFromFileName(c.Name), c.ClassId)
            << platform::WideToHostText(name);
        EXPECT_EQ(PlugFileClasses().ClassIdFromFileName(c.Name), c.ClassId);
    }
}

// The class of a file id comes from its name; a nod is made for it when its class exists.
TEST_F(PlugFile, NodsMadeForFileIds) {
    EXPECT_EQ(CPlugFile::ClassIdFromFid(nullptr), 0xFFFFFFFFu);
    CSystemFid* wav = Engine().GetFileFid(nullptr, Name("Sound.wav"), nullptr);
    CSystemFid* picture = Engine().GetFileFid(nullptr, Name("Sky.dds"), nullptr);
    CSystemFid* other = Engine().GetFileFid(nullptr, Name("Notes.doc"), nullptr);
    ASSERT_TRUE(wav && picture && other);
    EXPECT_EQ(CPlugFile::ClassIdFromFid(wav), CPlugTestWav::s_ClassId);
    EXPECT_EQ(CPlugFile::ClassIdFromFid(picture), 0x09024000u);

    const CMwNodRef made(CPlugFile::CreateNodFromFid(wav));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->GetClassId(), CPlugTestWav::s_ClassId);
    // No class stands on the ".dds" row (the registry says so); an unknown name is said in the
    // log.
    CLogWatch missing;
    EXPECT_EQ(CPlugFile::CreateNodFromFid(picture), nullptr);
    EXPECT_EQ(missing.Since(), "Trying to use a class (0x09024000) from engine \"Plug\", which is "
                               "not available in this exe.\r\n");
    CLogWatch unknown;
    EXPECT_EQ(CPlugFile::CreateNodFromFid(other), nullptr);
    EXPECT_EQ(unknown.Since(), "Unrecognized format file " + Narrow(Name("Notes.doc")) + "\r\n");
}

// The read answers, fails or throws; a failure gives the default content and its result, is
// logged and is remembered until a good read.
TEST_F(PlugFile, GuardedRead) {
    const std::string path = "Z:\\Data\\Sound.wav";
    const std::string cry = "Z:\\Data\\Sound.cry";
    const struct {
        u32 Mode;
        std::string Path;
        std::string Text;
        i32 DefaultResult;
        i32 Result;
        u32 Value;
        std::string Log;
    } cases[] = {
        {CPlugTestWav::ReadText, path, "wav 5", 1, 1, 5, ""},
        {CPlugTestWav::ReadText, path, "noise", 1, 1, 77, "Failed to load " + path + "\r\n"},
        {CPlugTestWav::ReadText, path, "noise", 0, 0, 77, "Failed to load " + path + "\r\n"},
        {CPlugTestWav::ReadThrowsText, path, "wav 5", 1, 1, 77,
         "Error in " + path + "\r\nbad header\r\n"},
        {CPlugTestWav::ReadThrowsBuffer, path, "wav 5", 3, 3, 77,
         "Error in " + path + "\r\nInvalid file format\r\n"},
        // Only text files read the enciphered form.
        {CPlugTestWav::ReadText, cry, "wav 5", 1, 1, 77, "Failed to load " + cry + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text + " " + c.Path + " mode " + std::to_string(c.Mode));
        CMwNodRef nod(new CPlugTestWav);
        Wav(nod)->m_ReadMode = c.Mode;
        Wav(nod)->m_DefaultResult = c.DefaultResult;
        CClassicBufferMemory stream;
        Fill(stream, c.Text);
        u32 failed = 7;
        CLogWatch log;
        EXPECT_EQ(Wav(nod)->ReadStreamOrDefault(stream, Wide(c.Path), &failed), c.Result);
        EXPECT_EQ(Wav(nod)->m_Value, c.Value);
        const bool good = c.Log.empty();
        EXPECT_EQ(failed, good ? 0u : 1u);
        EXPECT_EQ(Wav(nod)->HasLoadFailed(), !good);
        EXPECT_EQ(Wav(nod)->m_Defaults, good ? 0u : 1u);
        EXPECT_EQ(log.Since(), c.Log);

        // A good read afterwards clears the flag.
        Wav(nod)->m_ReadMode = CPlugTestWav::ReadText;
        CClassicBufferMemory again;
        Fill(again, "wav 9");
        EXPECT_EQ(Wav(nod)->ReadStreamOrDefault(again, Wide(path)), 1);
        EXPECT_FALSE(Wav(nod)->HasLoadFailed());
    }
}

// Loading by path: a missing file gives the default content; a file is read whole and closed.
TEST_F(PlugFile, LoadFromPath) {
    CMwNodRef nod(new CPlugTestWav);
    CLogWatch log;
    EXPECT_EQ(Wav(nod)->LoadFromPath(Name("Missing.wav")), 1);
    EXPECT_EQ(Wav(nod)->m_Value, CPlugTestWav::s_DefaultValue);
    EXPECT_TRUE(Wav(nod)->HasLoadFailed());
    EXPECT_EQ(log.Since(), "Failed to load " + Narrow(Name("Missing.wav")) + "\r\n");
    Wav(nod)->m_DefaultResult = 0;
    EXPECT_EQ(Wav(nod)->LoadFromPath(Name("Missing.wav")), 0);

    // The name is found whatever its case, as every engine path.
    WriteWholeFile(HostFile("Sound.WAV"), "wav 31");
    EXPECT_EQ(Wav(nod)->LoadFromPath(Name("sound.wav")), 1);
    EXPECT_EQ(Wav(nod)->m_Value, 31u);
    EXPECT_FALSE(Wav(nod)->HasLoadFailed());
    // Closed: the file can be removed and written again at once.
    fs::remove(HostFile("Sound.WAV"));
    WriteWholeFile(HostFile("Sound.WAV"), "wav");
    EXPECT_EQ(Wav(nod)->LoadFromPath(Name("Sound.WAV")), 0);
    EXPECT_TRUE(Wav(nod)->HasLoadFailed());
}

// Saving writes the whole file in place of the old one; every failure keeps the old file (or no
// file) and leaves no temporary file.
TEST_F(PlugFile, SaveToPath) {
    CMwNodRef nod(new CPlugTestWav);
    Wav(nod)->m_Value = 12;
    ASSERT_EQ(Wav(nod)->SaveToPath(Name("Sound.wav")), 1);
    EXPECT_EQ(ReadWholeFile(HostFile("Sound.wav")), "wav 12");
    Wav(nod)->m_Value = 13;
    ASSERT_EQ(Wav(nod)->SaveToPath(Name("Sound.wav")), 1);
    EXPECT_EQ(ReadWholeFile(HostFile("Sound.wav")), "wav 13");

    const struct {
        const char* What;
        u32 WriteMode;
        std::string Name;
        bool Exists;
        bool ReadOnly;
    } cases[] = {
        {"a read-only file", CPlugTestWav::WriteText, "Sound.wav", true, true},
        {"a missing folder", CPlugTestWav::WriteText, "Nowhere/Sound.wav", false, false},
        {"a write that answers 0", CPlugTestWav::WriteFails, "Sound.wav", true, false},
        {"a write that throws", CPlugTestWav::WriteThrows, "Sound.wav", true, false},
        {"a first write that answers 0", CPlugTestWav::WriteFails, "New.wav", false, false},
        {"a first write that throws", CPlugTestWav::WriteThrows, "New.wav", false, false},
    };
    const std::vector<std::string> names = {"Sound.wav"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.ReadOnly)
            chmod(HostFile(c.Name).c_str(), 0444);
        Wav(nod)->m_Value = 99;
        Wav(nod)->m_WriteMode = c.WriteMode;
        CLogWatch log;
        EXPECT_EQ(Wav(nod)->SaveToPath(Name(c.Name)), 0);
        EXPECT_EQ(log.Since(), "Failed to save " + Narrow(Name(c.Name)) + "\r\n");
        if (c.Exists) {
            EXPECT_EQ(ReadWholeFile(HostFile(c.Name)), "wav 13");
        }
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(m_Temp.File("GameData")))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, names);
        chmod(HostFile("Sound.wav").c_str(), 0644);
    }
}

// A loader nod that reads the value "wav 40" into the nod it is given, hands over another nod,
// or fails.
class CTestLoader : public CMwNod {
public:
    enum EAnswer { Reads, HandsOver, Fails };
    i32 LoadFid(CMwNod** nod, CSystemFid*) override {
        ++m_Calls;
        if (m_Answer == Fails)
            return 0;
        if (m_Answer == HandsOver) {
            *nod = m_Other.Get();
            return 1;
        }
        CClassicBufferMemory stream;
        Fill(stream, "wav 40");
        static_cast<CPlugFile*>(*nod)->ReadStreamOrDefault(stream, u"Z:\\Zip\\Sound.wav");
        return 1;
    }
    EAnswer m_Answer = Reads;
    u32 m_Calls = 0;
    CMwNodRef m_Other{new CPlugTestWav};
};

// Loading from the bound file id: nothing without one, the file by its full name, or through
// the file id's loader, which must give this very nod.
TEST_F(PlugFile, EnsureLoaded) {
    CMwNodRef nod(new CPlugTestWav);
    EXPECT_EQ(Wav(nod)->EnsureLoaded(), 0);
    EXPECT_EQ(Wav(nod)->m_Reads, 0u);
    CClassicWideString path(u"untouched");
    Wav(nod)->GetFilePath(path);
    EXPECT_EQ(Narrow(path), "untouched");

    WriteWholeFile(HostFile("Sound.wav"), "wav 21");
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Sound.wav"), nullptr);
    ASSERT_NE(fid, nullptr);
    CSystemEngine::AttachNodToFid(nod.Get(), fid);
    Wav(nod)->GetFilePath(path);
    EXPECT_EQ(Narrow(path), Narrow(Name("Sound.wav")));
    EXPECT_EQ(Wav(nod)->EnsureLoaded(), 1);
    EXPECT_EQ(Wav(nod)->m_Value, 21u);

    // The ReGenerate member loads again.
    WriteWholeFile(HostFile("Sound.wav"), "wav 22");
    CMwMemberPath member;
    ASSERT_EQ(member.ParseFromText(CMwNod::s_NoClassId, nod.Get(), CClassicString("ReGenerate")),
              0u);
    EXPECT_EQ(nod->SetParam(&member, nullptr), 0u);
    EXPECT_EQ(Wav(nod)->m_Value, 22u);

    CMwNodRef loader(new CTestLoader);
    auto* testLoader = static_cast<CTestLoader*>(loader.Get());
    fid->SetLoader(loader.Get());
    EXPECT_EQ(Wav(nod)->EnsureLoaded(), 1);
    EXPECT_EQ(Wav(nod)->m_Value, 40u);
    EXPECT_FALSE(Wav(nod)->HasLoadFailed());
    for (CTestLoader::EAnswer answer : {CTestLoader::HandsOver, CTestLoader::Fails}) {
        testLoader->m_Answer = answer;
        Wav(nod)->m_Value = 1;
        CLogWatch log;
        EXPECT_EQ(Wav(nod)->EnsureLoaded(), 0);
        EXPECT_EQ(Wav(nod)->m_Value, 1u);
        EXPECT_TRUE(Wav(nod)->HasLoadFailed());
        EXPECT_EQ(log.Since(), "Failed to load " + Narrow(Name("Sound.wav")) + "\r\n");
    }
    EXPECT_EQ(testLoader->m_Calls, 3u);
    EXPECT_EQ(Wav(nod)->m_Reads, 3u);
    fid->SetLoader(nullptr);
    CSystemEngine::DetachNodFromFid(nod.Get());
}

// Inside an archive the body of a file-backed nod is exactly what it writes: no chunk ids.
TEST_F(PlugFile, ArchiveBodyHasNoChunks) {
    CMwNodRef nod(new CPlugTestWav);
    Wav(nod)->m_Value = 0x01020304;
    CClassicArchive writer;
    auto* out = new CClassicBufferMemory;
    writer.SetBuffer(out);
    writer.m_Writing = 1;
    EXPECT_EQ(nod->Archive(writer), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out->GetData()), out->GetSize()),
              std::string("\x04\x03\x02\x01", 4));

    CMwNodRef back(new CPlugTestWav);
    CClassicArchive reader;
    auto* in = new CClassicBufferMemory;
    in->Write(out->GetData(), out->GetSize());
    in->Rewind();
    reader.SetBuffer(in);
    EXPECT_EQ(back->Archive(reader), 0u);
    EXPECT_EQ(Wav(back)->m_Value, 0x01020304u);
}

// Identity and members of the two base classes.
TEST_F(PlugFile, KindsAndMembers) {
    CMwNodRef plug(CMwClassRegistry::CreateNodById(CPlug::s_ClassId));
    ASSERT_TRUE(plug);
    EXPECT_TRUE(plug->IsKindOf(0x0902B000));
    EXPECT_TRUE(plug->IsKindOf(0x01001000));
    EXPECT_FALSE(plug->IsKindOf(0x09020000));
    EXPECT_EQ(plug->MemberCount(), 1u);
    EXPECT_EQ(CMwClassRegistry::CreateNodById(CPlugFile::s_ClassId), nullptr);

    CMwNodRef file(new CPlugTestWav);
    for (u32 id : {0x09020000u, 0x0902B000u, 0x01001000u})
        EXPECT_TRUE(file->IsKindOf(id)) << std::hex << id;
    // The test class adds no member.
    EXPECT_EQ(file->MemberCount(), 2u);
    EXPECT_EQ(file->MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(file->MemberIdByIndex(1), 0x09020000u);
    const CMwMemberInfo* regenerate = CMwClassRegistry::GetMemberInfo(0x09020000);
    ASSERT_NE(regenerate, nullptr);
    EXPECT_EQ(regenerate->TypeCode, u32(MwType_Action));
    EXPECT_STREQ(regenerate->Name, "ReGenerate");
    EXPECT_STREQ(regenerate->Label, "Regenerate");
}

// The services answer for file-backed nods only.
TEST_F(PlugFile, ServicesAnswerForFileBackedNodsOnly) {
    WriteWholeFile(HostFile("Sound.wav"), "wav 8");
    CMwNodRef holder(new CPlugTestHolder);
    EXPECT_FALSE(PlugFileClasses().LoadFromPath(holder.Get(), Name("Sound.wav")));
    EXPECT_EQ(PlugFileClasses().SaveToPath(holder.Get(), Name("Other.wav")), 0u);
    EXPECT_FALSE(PlugFileClasses().LoadFromPath(nullptr, Name("Sound.wav")));
    EXPECT_FALSE(fs::exists(HostFile("Other.wav")));

    CMwNodRef nod(new CPlugTestWav);
    EXPECT_TRUE(PlugFileClasses().LoadFromPath(nod.Get(), Name("Sound.wav")));
    EXPECT_EQ(Wav(nod)->m_Value, 8u);
    // The default content is a load as the system sees it; the nod knows better.
    EXPECT_TRUE(PlugFileClasses().LoadFromPath(nod.Get(), Name("Missing.wav")));
    EXPECT_TRUE(Wav(nod)->HasLoadFailed());
    Wav(nod)->m_DefaultResult = 0;
    EXPECT_FALSE(PlugFileClasses().LoadFromPath(nod.Get(), Name("Missing.wav")));
    EXPECT_EQ(PlugFileClasses().SaveToPath(nod.Get(), Name("Other.wav")), 1u);
    EXPECT_EQ(ReadWholeFile(HostFile("Other.wav")), "wav 77");
}

// Through the archive operations: a file of another format is saved and loaded by its
// file-backed nod; an archive refers to such a nod as a file and loads it back through the
// extension table and the load road. A damaged file still loads, with the default content.
TEST_F(PlugFile, ArchiveRoadsThroughTheServices) {
    const CPlugStarted started;
    {
        CMwNodRef wav(new CPlugTestWav);
        Wav(wav)->m_Value = 12;
        CSystemArchive saver;
        ASSERT_EQ(saver.SaveNodToFile(Name("Sky.wav"), wav.Get(), nullptr, 0, 7, false, true), 1);
        EXPECT_EQ(ReadWholeFile(HostFile("Sky.wav")), "wav 12");
        ASSERT_NE(wav->GetFid(), nullptr);

        CMwNodRef holder(new CPlugTestHolder);
        static_cast<CPlugTestHolder*>(holder.Get())->m_Links.emplace_back(wav.Get());
        CSystemArchive scene;
        ASSERT_EQ(
            scene.SaveNodToFile(Name("Scene.Holder.Zun"), holder.Get(), nullptr, 0, 7, false, true),
            1);
    }
    // The archive names the file, it does not hold its value.
    const std::string image = ReadWholeFile(HostFile("Scene.Holder.Zun"));
    EXPECT_NE(image.find("Sky.wav"), std::string::npos);

    const auto loadScene = [&](CMwNodRef& held) {
        CSystemArchive loader;
        CMwNod* out = nullptr;
        const i32 loaded =
            loader.LoadNodFromFile(Name("Scene.Holder.Zun"), &out, nullptr, 7, false);
        held = CMwNodRef(out);
        return loaded;
    };
    {
        CMwNodRef scene;
        ASSERT_EQ(loadScene(scene), 1);
        auto& links = static_cast<CPlugTestHolder*>(scene.Get())->m_Links;
        ASSERT_EQ(links.size(), 1u);
        ASSERT_EQ(links[0]->GetClassId(), CPlugTestWav::s_ClassId);
        EXPECT_EQ(Wav(links[0])->m_Value, 12u);
        EXPECT_FALSE(Wav(links[0])->HasLoadFailed());
        EXPECT_EQ(Wav(links[0])->m_Reads, 1u);
    }
    WriteWholeFile(HostFile("Sky.wav"), "damaged");
    {
        CLogWatch log;
        CMwNodRef scene;
        ASSERT_EQ(loadScene(scene), 1);
        auto& links = static_cast<CPlugTestHolder*>(scene.Get())->m_Links;
        ASSERT_EQ(links.size(), 1u);
        EXPECT_EQ(Wav(links[0])->m_Value, CPlugTestWav::s_DefaultValue);
        EXPECT_TRUE(Wav(links[0])->HasLoadFailed());
        EXPECT_NE(log.Since().find("Failed to load " + Narrow(Name("Sky.wav"))), std::string::npos)
            << log.Since();
    }
}

} // namespace
