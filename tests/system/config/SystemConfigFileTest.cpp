// Loading and saving the configuration's file: through a stand-in of the archive operations that
// keeps each "file" as the configuration's body in memory, and through the archive operations on
// disk.
#include "system/config/SystemConfigFile.h"

#include "core/base/ClassicArchive.h"
#include "system/archive/SystemArchive.h"
#include "system/config/SystemConfig.h"
#include "system/file/PathHelpers.h"
#include "tests/system/config/ConfigTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

// The configuration's chunks, as the archive writes them in its body.
std::string BodyOf(CSystemConfig& config, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    config.Archive(archive);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

// Files hold a body and its encoding; a new file is text, a file keeps its encoding when saved
// again. Every call's arguments are recorded.
class CMemoryArchiveOps : public CSystemConfigArchiveOps {
public:
    CMemoryArchiveOps() { SetSystemConfigArchiveOps(this); }
    ~CMemoryArchiveOps() { SetSystemConfigArchiveOps(nullptr); }
    CMemoryArchiveOps(const CMemoryArchiveOps&) = delete;
    CMemoryArchiveOps& operator=(const CMemoryArchiveOps&) = delete;

    struct SFile {
        std::string Bytes;
        bool Text = true;
    };
    struct SCall {
        std::u16string Name;
        CSystemFids* Folder;
        u32 Mode;
        bool FindInTree;
        u32 SaveFlags;
        bool CheckChanges;
        bool Register;
    };

    u32 LoadNodFromFile(CClassicWideStringRef name, CMwNod** nod, CSystemFids* folder, u32 mode,
                        bool findInTree) override {
        m_Loads.push_back({Key(name), folder, mode, findInTree, 0, false, false});
        *nod = nullptr;
        const auto file = m_Files.find(Key(name));
        if (file == m_Files.end())
            return 0;
        if (m_Other) {
            *nod = m_Other;
            return 1;
        }
        auto* config = new CSystemConfig;
        CClassicArchive archive;
        auto* memory = new CClassicBufferMemory;
        memory->Write(file->second.Bytes.data(), u32(file->second.Bytes.size()));
        memory->Rewind();
        archive.SetBuffer(memory);
        archive.m_Text = file->second.Text;
        try {
            config->Archive(archive);
        } catch (const CClassicBufferException&) {
            delete config;
            return 0;
        }
        *nod = config;
        return 1;
    }

    u32 SaveNodToFile(CClassicWideStringRef name, CMwNod* nod, CSystemFids* folder, u32 saveFlags,
                      u32 mode, bool checkChanges, bool registerFid) override {
        m_Saves.push_back({Key(name), folder, mode, false, saveFlags, checkChanges, registerFid});
        SFile& file = m_Files[Key(name)];
        CClassicArchive archive;
        auto* memory = new CClassicBufferMemory;
        archive.SetBuffer(memory);
        archive.m_Writing = 1;
        archive.m_Text = file.Text;
        nod->Archive(archive);
        const std::string bytes(reinterpret_cast<const char*>(memory->GetData()),
                                memory->GetSize());
        if (checkChanges && bytes == file.Bytes)
            ++m_Unchanged;
        else
            file.Bytes = bytes;
        return 1;
    }

    static std::u16string Key(CClassicWideStringRef name) {
        return std::u16string(name.m_Text, name.m_Length);
    }

    std::map<std::u16string, SFile> m_Files;
    std::vector<SCall> m_Loads;
    std::vector<SCall> m_Saves;
    u32 m_Unchanged = 0;
    // Answered for every file that exists, when set.
    CMwNod* m_Other = nullptr;
};

// A nod of another class that says when it goes.
class CGoneNod : public CMwNod {
public:
    explicit CGoneNod(bool* gone) : m_Gone(gone) {}
    ~CGoneNod() override { *m_Gone = true; }

private:
    bool* m_Gone;
};

class SystemConfigFile : public CSystemFixture {
protected:
    void SetUp() override {
        CSystemFixture::SetUp();
        g_GpuPerf = GpuPerf();
        g_GpuPerf.Geom = 120;
        g_GpuPerf.Flags = kGpuPerfFound;
    }
    CConfigRecords m_Records;
};

constexpr char16_t kName[] = u"Config\\Default.SystemConfig.Zun";

// Created with its defaults, saved, loaded and saved again: the same bytes, in both encodings,
// and the second save finds nothing changed.
TEST_F(SystemConfigFile, SaveLoadSaveKeepsTheBytes) {
    for (bool text : {true, false}) {
        CMemoryArchiveOps ops;
        if (!text)
            ops.m_Files[kName].Text = false;
        bool loaded = true;
        CSystemConfig* config = LoadSystemConfig(kName, nullptr, &loaded);
        EXPECT_FALSE(loaded);
        EXPECT_EQ(config->GetRefCount(), 1);
        ops.m_Files.clear();
        if (!text)
            ops.m_Files[kName].Text = false;
        ASSERT_TRUE(SaveSystemConfig(config, kName, nullptr));
        const std::string first = ops.m_Files[kName].Bytes;
        // The language chunk first, framed.
        EXPECT_EQ(first.substr(0, 8),
                  text ? std::string("b005008\r") : std::string("\x08\x50\x00\x0bPIKS", 8));
        config->Release();

        CSystemConfig* again = LoadSystemConfig(kName, nullptr, &loaded);
        EXPECT_TRUE(loaded);
        EXPECT_EQ(again->GetRefCount(), 1);
        ASSERT_TRUE(SaveSystemConfig(again, kName, nullptr));
        EXPECT_EQ(ops.m_Files[kName].Bytes, first);
        EXPECT_EQ(ops.m_Unchanged, 1u);
        again->m_AudioMusicVolume = 0.5f;
        ASSERT_TRUE(SaveSystemConfig(again, kName, nullptr));
        EXPECT_NE(ops.m_Files[kName].Bytes, first);
        EXPECT_EQ(ops.m_Unchanged, 1u);
        again->Release();

        // Every load finds the file in the tree with the full load; every save takes the
        // file id's format, writes only a change and registers the file id.
        for (const auto& load : ops.m_Loads) {
            EXPECT_EQ(load.Name, kName);
            EXPECT_EQ(load.Mode, 7u);
            EXPECT_TRUE(load.FindInTree);
        }
        for (const auto& save : ops.m_Saves) {
            EXPECT_EQ(save.SaveFlags, 0u);
            EXPECT_EQ(save.Mode, 7u);
            EXPECT_TRUE(save.CheckChanges);
            EXPECT_TRUE(save.Register);
        }
    }
}

TEST_F(SystemConfigFile, FallsBackToDefaults) {
    CMemoryArchiveOps ops;
    // A damaged file.
    ops.m_Files[kName].Bytes = "b005008\r\n1397442896\r\n";
    bool loaded = true;
    CSystemConfig* config = LoadSystemConfig(kName, nullptr, &loaded);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(config->m_NetworkServerPort, 2350u);
    config->Release();

    // A file of another class: that nod goes, a new configuration comes.
    bool gone = false;
    ops.m_Other = new CGoneNod(&gone);
    CLogWatch log;
    config = LoadSystemConfig(kName, nullptr, &loaded);
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(gone);
    EXPECT_NE(log.Since().find("Not a configuration file: Config\\Default.SystemConfig.Zun"),
              std::string::npos)
        << log.Since();
    config->Release();
}

// Without operations of its own the file goes through the ".Zun" archive operations, on disk: a
// new file is text, the header then the configuration's chunks; loaded and saved again it is
// left alone; a binary file stays binary; a changed configuration replaces the file and keeps its
// permissions (it holds passwords in clear).
class SystemConfigArchiveFile : public SystemConfigFile {
protected:
    void SetUp() override {
        SystemConfigFile::SetUp();
        CClassicWideString current = m_Temp.Engine();
        StripTrailingSlashes(current);
        m_Host = std::make_unique<CEngineHost>(FakeEngineHost(current));
    }
    void TearDown() override {
        m_Host.reset();
        SystemConfigFile::TearDown();
    }

    // Loads the file, checks that it loaded, saves it again and gives the result.
    bool LoadAndSave(const CClassicWideString& name, CLogWatch& log) {
        bool loaded = false;
        CSystemConfig* config = LoadSystemConfig(name, nullptr, &loaded);
        EXPECT_TRUE(loaded) << log.Since();
        const bool saved = SaveSystemConfig(config, name, nullptr);
        config->Release();
        return saved;
    }

    CTempFolder m_Temp;
    std::unique_ptr<CEngineHost> m_Host;
};

constexpr char kTextHeader[] = "ZUN\x06\x00TUUEb005000\r\n0\r\n1\r\n0\r\n";

TEST_F(SystemConfigArchiveFile, DefaultsSavedLoadedAndSavedAgain) {
    const CClassicWideString name = m_Temp.Engine("Default.SystemConfig.Zun");
    const std::string host = m_Temp.File("Default.SystemConfig.Zun");
    bool loaded = true;
    CSystemConfig* config = LoadSystemConfig(name, nullptr, &loaded);
    EXPECT_FALSE(loaded);
    ASSERT_TRUE(SaveSystemConfig(config, name, nullptr));
    const std::string text = ReadWholeFile(host);
    EXPECT_EQ(text, std::string(kTextHeader, sizeof kTextHeader - 1) + BodyOf(*config, true));
    config->Release();

    struct stat before {};
    ASSERT_EQ(stat(host.c_str(), &before), 0);
    CLogWatch log;
    ASSERT_TRUE(LoadAndSave(name, log));
    EXPECT_NE(log.Since().find("no change detected to " + Narrow(name)), std::string::npos)
        << log.Since();
    EXPECT_EQ(ReadWholeFile(host), text);
    struct stat after {};
    ASSERT_EQ(stat(host.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    // A binary file: saved once by the archive with a binary format, it keeps that format.
    const CClassicWideString binaryName = m_Temp.Engine("Binary.SystemConfig.Zun");
    const std::string binaryHost = m_Temp.File("Binary.SystemConfig.Zun");
    {
        CSystemConfig fresh;
        CSystemArchive archive;
        ASSERT_EQ(archive.SaveNodToFile(binaryName, &fresh, nullptr, kSystemArchiveSaveRelease,
                                        kSystemConfigLoadMode, false, false),
                  1);
    }
    ASSERT_TRUE(LoadAndSave(binaryName, log));
    const std::string binary = ReadWholeFile(binaryHost);
    ASSERT_GT(binary.size(), 9u);
    EXPECT_EQ(binary[5], 'B');
    CSystemConfig defaults;
    EXPECT_TRUE(binary.ends_with(BodyOf(defaults, false)));
    const CLogWatch second;
    ASSERT_TRUE(LoadAndSave(binaryName, log));
    EXPECT_EQ(ReadWholeFile(binaryHost), binary);
    EXPECT_NE(second.Since().find("no change detected to " + Narrow(binaryName)), std::string::npos)
        << second.Since();

    // A change replaces the file; the player's restriction of its permissions stays.
    ASSERT_EQ(chmod(host.c_str(), 0600), 0);
    config = LoadSystemConfig(name, nullptr, &loaded);
    ASSERT_TRUE(loaded);
    config->m_MasterServerPassword.Assign("secret");
    ASSERT_TRUE(SaveSystemConfig(config, name, nullptr));
    config->Release();
    EXPECT_NE(ReadWholeFile(host), text);
    ASSERT_EQ(stat(host.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    config = LoadSystemConfig(name, nullptr, &loaded);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ(config->m_MasterServerPassword.GetText(), "secret");
    config->Release();
}

// The permissions of a file as Python's os.stat reads them, in octal.
std::string PythonMode(const std::string& path) {
    return RunCommand(std::string(ENGINE_TEST_PYTHON) +
                      " -c 'import os, sys; print(oct(os.stat(sys.argv[1]).st_mode & 0o7777))' " +
                      path);
}

// A new configuration file is its owner's only, whatever the umask (it holds passwords in
// clear); an existing file keeps the permissions it has.
TEST_F(SystemConfigArchiveFile, NewFileIsItsOwnersOnlyAndAnExistingOneKeepsItsMode) {
    const CClassicWideString name = m_Temp.Engine("Default.SystemConfig.Zun");
    const std::string host = m_Temp.File("Default.SystemConfig.Zun");
    const mode_t mask = umask(022);
    CSystemConfig* config = new CSystemConfig;
    config->AddRef();
    EXPECT_TRUE(SaveSystemConfig(config, name, nullptr));
    EXPECT_EQ(PythonMode(host), "0o600\n");

    ASSERT_EQ(chmod(host.c_str(), 0640), 0);
    config->m_NetworkProxyPassword.Assign("secret");
    EXPECT_TRUE(SaveSystemConfig(config, name, nullptr));
    EXPECT_NE(ReadWholeFile(host).find("secret"), std::string::npos);
    EXPECT_EQ(PythonMode(host), "0o640\n");
    config->Release();
    umask(mask);
}

// A file written by hand, as another program would: a text archive with a few chunks, the
// others missing, loads to those values and the defaults of the rest.
TEST_F(SystemConfigArchiveFile, HandMadeFileLoads) {
    const std::string chunks = "b005008\r\n1397442896\r\n4\r\nit\r\n"
                               "b005031\r\n1397442896\r\n"
                               "56\r\nTrue\r\nme\r\npw\r\n2351\r\n"
                               "0\r\nFalse\r\n10.0.0.1:2350\r\n18\r\nFalse\r\n"
                               "b005025\r\n1397442896\r\n3\r\n9\r\n"
                               "facade01\r\n";
    WriteWholeFile(m_Temp.File("Hand.SystemConfig.Zun"),
                   std::string(kTextHeader, sizeof kTextHeader - 1) + chunks);
    bool loaded = false;
    CSystemConfig* config =
        LoadSystemConfig(m_Temp.Engine("Hand.SystemConfig.Zun"), nullptr, &loaded);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ(config->m_LanguageCode.GetText(), "it");
    EXPECT_EQ(config->m_NetworkUseProxy, 1u);
    EXPECT_STREQ(config->m_NetworkProxyLogin.GetText(), "me");
    EXPECT_STREQ(config->m_NetworkProxyPassword.GetText(), "pw");
    EXPECT_EQ(config->m_NetworkServerPort, 2351u);
    EXPECT_STREQ(config->m_NetworkForceServerAddress.GetText(), "10.0.0.1:2350");
    EXPECT_EQ(config->m_NetworkConnection, 18u);
    EXPECT_EQ(config->m_AudioSpeakerConfig, 9u);
    EXPECT_EQ(config->m_FileTransferMaxCacheSize, 209715200u);
    EXPECT_EQ(config->m_Display->m_Size.Width, 800u);
    config->Release();
}

} // namespace
