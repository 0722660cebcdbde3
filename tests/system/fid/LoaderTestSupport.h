#pragma once
// Stand-ins for the archive operations when files are loaded through file ids: headers give
// each file a class chosen by the end of its name, and the shared loader runs the test's own
// load. An engine registered over a temporary folder holding "GameData".
#include "FidTestSupport.h"
#include "platform/Clock.h"
#include "system/engine/SystemEngine.h"
#include "system/file/PathHelpers.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The shared loader: each LoadFid runs m_Load (a failure without one).
class CFakeLoader : public CMwNod {
public:
    i32 LoadFid(CMwNod** nod, CSystemFid* fid) override {
        ++m_Loads;
        return m_Load ? m_Load(nod, fid) : 0;
    }

    u32 m_Loads = 0;
    std::function<i32(CMwNod**, CSystemFid*)> m_Load;
};

// Headers: the first suffix of m_Classes that the file's name ends with gives its class, other
// files have none. The shared loader is a CFakeLoader.
class CLoaderLinks : public CSystemFidLinks {
public:
    CLoaderLinks() {
        m_Loader.AddRef();
        SetSystemFidLinks(this);
    }
    ~CLoaderLinks() { SetSystemFidLinks(nullptr); }
    CLoaderLinks(const CLoaderLinks&) = delete;
    CLoaderLinks& operator=(const CLoaderLinks&) = delete;

    bool ReadFileHeader(CSystemFid* fid, CClassicBuffer*) override {
        fid->m_ContentClassId = CSystemFid::s_UnknownClassId;
        if (fid->IsKindOf(CSystemFidFile::s_ClassId))
            for (const auto& [suffix, classId] : m_Classes)
                if (PathEndsWith(static_cast<CSystemFidFile*>(fid)->m_FileName, suffix.c_str()))
                    fid->m_ContentClassId = classId;
        return fid->m_ContentClassId != CSystemFid::s_UnknownClassId;
    }
    CMwNod* GetDummyFidLoader() override { return &m_Loader; }

    std::vector<std::pair<std::string, u32>> m_Classes;
    CFakeLoader m_Loader;
};

// The wall clock stopped at a chosen time while it lives.
class CFixedWallClock {
public:
    explicit CFixedWallClock(i64 nanoseconds) : m_Old(platform::SetWallClockSource(&Now)) {
        s_Now = nanoseconds;
    }
    ~CFixedWallClock() { platform::SetWallClockSource(m_Old); }
    CFixedWallClock(const CFixedWallClock&) = delete;
    CFixedWallClock& operator=(const CFixedWallClock&) = delete;

    static i64 Now() { return s_Now; }
    static inline i64 s_Now = 0;

private:
    platform::WallClockSource m_Old;
};

// The registry with the system classes, header links and a fake loader, and a System engine
// whose current folder is a temporary folder holding "GameData".
class CDataFolderFixture : public CSystemFixture {
protected:
    explicit CDataFolderFixture(const CMwClassList* extra = nullptr) : CSystemFixture(extra) {}

    void SetUp() override {
        CSystemFixture::SetUp();
        std::filesystem::create_directories(m_Temp.File("GameData"));
        CClassicWideString current = m_Temp.Engine();
        StripTrailingSlashes(current);
        m_Host = std::make_unique<CEngineHost>(FakeEngineHost(current));
        // The engine installs the archive's links: these stand in for them.
        SetSystemFidLinks(&m_Links);
        m_Data = Engine().GetDataFolder();
        ASSERT_NE(m_Data, nullptr);
    }
    void TearDown() override {
        m_Host.reset();
        CSystemFixture::TearDown();
    }

    CSystemEngine& Engine() { return m_Host->Engine(); }
    // Writes the file below "GameData" and gives its file id, added to the tree.
    CSystemFid* AddFile(const std::string& relative, const std::string& bytes = "bytes") {
        const std::string host = m_Temp.File("GameData/" + relative);
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        WriteWholeFile(host, bytes);
        return Engine().FindFidByFullPath(DataPath(relative), true);
    }
    // The engine path of a name below "GameData".
    CClassicWideString DataPath(const std::string& relative) const {
        return m_Temp.Engine("GameData/" + relative);
    }

    CTempFolder m_Temp;
    CLoaderLinks m_Links;
    std::unique_ptr<CEngineHost> m_Host;
    CSystemFids* m_Data = nullptr;
};
