// Loading and saving the configuration's file through the archive operations, here a stand-in
// that keeps each "file" as the configuration's body in memory.
#include "system/config/SystemConfigFile.h"

#include "core/base/ClassicArchive.h"
#include "system/config/SystemConfig.h"
#include "tests/system/config/ConfigTestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

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

TEST_F(SystemConfigFile, NothingWithoutArchiveOperations) {
    bool loaded = true;
    CSystemConfig* config = LoadSystemConfig(kName, nullptr, &loaded);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(SaveSystemConfig(config, kName, nullptr));
    EXPECT_FALSE(SaveSystemConfig(nullptr, kName, nullptr));
    config->Release();
}

} // namespace
