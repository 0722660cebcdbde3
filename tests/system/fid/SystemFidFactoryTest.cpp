// The fid factory and the System engine's file-id operations: drives, the data folder, the
// resource table, the file id of a path, and nods bound to file ids.
#include "system/fid/SystemFidFactory.h"

#include "FidTestSupport.h"
#include "core/base/ClassicBuffer.h"
#include "system/engine/SystemEngine.h"
#include "system/file/FileSystem.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SystemFidFactory : public CSystemFixture {};

std::string FolderChain(CSystemFids* folder) {
    std::string chain;
    for (; folder; folder = folder->m_Parent) {
        const CClassicWideString* name = folder->GetDirNameRef();
        chain = (name ? Narrow(*name) : "<none>") + (chain.empty() ? "" : "/" + chain);
    }
    return chain;
}

TEST_F(SystemFidFactory, FactoryMakesEachKind) {
    CSystemFidFactory factory(nullptr, u"C:\\Game");
    EXPECT_EQ(Narrow(factory.m_DataPath), "C:\\Game\\GameData\\Dummy");
    EXPECT_EQ(Narrow(factory.m_ResourcePath), "C:\\Game\\Resource\\Media");
    // It answers with the root's identity.
    EXPECT_EQ(factory.GetClassId(), CMwNod::s_ClassId);

    struct Made {
        const char* What;
        CMwNod* Nod;
        u32 ClassId;
        u32 RefFlags;
    };
    const Made made[] = {
        {"NewFid(1)", factory.NewFid(1), CSystemFidFile::s_ClassId, 1},
        {"NewFid(5)", factory.NewFid(5), CSystemFidFile::s_ClassId, 1},
        {"NewFid(0)", factory.NewFid(0), CSystemFidMemory::s_ClassId, 8},
        {"NewFid(8)", factory.NewFid(8), CSystemFidMemory::s_ClassId, 8},
        {"NewFileFid", factory.NewFileFid(), CSystemFidFile::s_ClassId, 1},
        {"NewResourceFid", factory.NewResourceFid(), CSystemFidFile::s_ClassId, 5},
        {"NewMemoryFid", factory.NewMemoryFid(), CSystemFidMemory::s_ClassId, 8},
        {"NewFolderOfKind(1)", factory.NewFolderOfKind(1), CSystemFidsFolder::s_ClassId, 0},
        {"NewFolderOfKind(0)", factory.NewFolderOfKind(0), CSystemFids::s_ClassId, 0},
        {"NewFolderOfKind(2)", factory.NewFolderOfKind(2), CSystemFids::s_ClassId, 0},
        {"NewFolder", factory.NewFolder(), CSystemFidsFolder::s_ClassId, 0},
    };
    for (const Made& m : made) {
        EXPECT_EQ(m.Nod->GetClassId(), m.ClassId) << m.What;
        EXPECT_EQ(m.Nod->GetRefCount(), 0) << m.What;
        if (m.Nod->IsKindOf(CSystemFid::s_ClassId)) {
            EXPECT_EQ(static_cast<CSystemFid*>(m.Nod)->m_RefFlags, m.RefFlags) << m.What;
        }
        delete m.Nod;
    }
}

// With the current folder C:\Game, the first request for the data folder mounts the drives.
TEST_F(SystemFidFactory, DataAndResourceFolders) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    EXPECT_EQ(engine.m_LocalDrive, nullptr);
    EXPECT_EQ(engine.m_ResourceTable.m_Count, 0u);
    CSystemFids* data = engine.GetDataFolder();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FullName(*data), "C:\\Game\\GameData\\");
    EXPECT_EQ(engine.GetDataFolder(), data);
    EXPECT_EQ(engine.m_FidFactory->m_DataFolder, data);
    ASSERT_NE(engine.m_LocalDrive, nullptr);
    EXPECT_EQ(Narrow(engine.m_LocalDrive->m_Root), "C:");
    EXPECT_EQ(Narrow(engine.m_LocalDrivePath), "C:\\");
    EXPECT_EQ(data->m_Drive, engine.m_LocalDrive);
    // Only the folders: no file id "Dummy".
    EXPECT_TRUE(data->m_Leaves.m_Count == 0 && data->m_Trees.m_Count == 0);

    // The resource folder hangs on a drive of its own.
    ASSERT_NE(engine.m_ResourceFolder, nullptr);
    EXPECT_EQ(FullName(*engine.m_ResourceFolder), "C:\\Game\\Resource\\");
    ASSERT_NE(engine.m_ResourceDrive, nullptr);
    EXPECT_NE(engine.m_ResourceDrive, engine.m_LocalDrive);
    EXPECT_EQ(engine.m_ResourceFolder->GetRoot(), engine.m_ResourceDrive);
    EXPECT_EQ(FolderNames(*engine.m_ResourceFolder),
              (std::vector<std::string>{"Media", "Required"}));
}

// The table: 43 file ids, 2 to 43 leaves of their folders, 44 outside the tree, 0 and 1 none.
TEST_F(SystemFidFactory, ResourceTable) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    engine.GetDataFolder();
    ASSERT_EQ(engine.m_ResourceTable.m_Count, kSystemResourceCount);
    u32 fids = 0;
    for (u32 i = 0; i < kSystemResourceCount; ++i) {
        CSystemFid* fid = engine.m_ResourceTable.m_Items[i];
        if (!fid) {
            EXPECT_TRUE(i == 0 || i == 1) << i;
            continue;
        }
        ++fids;
        ASSERT_TRUE(fid->IsKindOf(CSystemFidFile::s_ClassId));
        auto* file = static_cast<CSystemFidFile*>(fid);
        EXPECT_EQ(file->m_RefFlags, 5u) << i;
        EXPECT_EQ(file->m_ResourceIndex, i);
        if (i == 44) {
            EXPECT_EQ(file->m_Folder, nullptr);
            EXPECT_TRUE(file->m_FileName.IsEmpty());
            continue;
        }
        ASSERT_NE(file->m_Folder, nullptr) << i;
        EXPECT_TRUE(file->m_Folder->HasLeaf(file)) << i;
        // Placed below the resource folder by its path, the name in the path's letter case (a
        // folder is spelled as the first path that made it).
        const std::string path = g_SystemResourcePaths[i];
        EXPECT_EQ(Narrow(file->m_FileName), path.substr(path.rfind('\\') + 1));
        std::string full = FullName(fid), expected = "C:\\Game\\Resource\\" + path;
        for (std::string* text : {&full, &expected})
            for (char& c : *text)
                c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(full, expected);
    }
    EXPECT_EQ(fids, 43u);

    CSystemFid* noBitmap = engine.GetResourceFid(0x40000004);
    ASSERT_NE(noBitmap, nullptr);
    EXPECT_EQ(Narrow(static_cast<CSystemFidFile*>(noBitmap)->m_FileName), "NoBitmap.Texture.zun");
    EXPECT_EQ(FolderChain(noBitmap->m_Folder), "C:/Game/Resource/Media/Texture");
    // "vsh" and "Vsh" name one folder.
    EXPECT_EQ(engine.GetResourceFid(0x40000007)->m_Folder,
              engine.GetResourceFid(0x4000001E)->m_Folder);
    EXPECT_EQ(FolderChain(engine.GetResourceFid(0x4000001E)->m_Folder),
              "C:/Game/Resource/Media/Text/vsh");

    // Only ids of the indices 2 to 43 name a file id, whatever asks.
    struct Id {
        u32 Value;
        bool Named;
    };
    const Id ids[] = {{0x40000000, false}, {0x40000001, false}, {0x40000002, true},
                      {0x4000002B, true},  {0x4000002C, false}, {0x4000002D, false},
                      {0x400000FF, false}, {0x00000005, false}, {0xFFFFFFFF, false},
                      {0xC0000004, false}};
    CMwNod nod;
    engine.GetResourceFid(0x4000002B)->SetNod(&nod);
    for (const Id& id : ids) {
        CSystemFid* fid = engine.GetResourceFid(id.Value);
        EXPECT_EQ(fid != nullptr, id.Named) << std::hex << id.Value;
        if (fid) {
            EXPECT_EQ(static_cast<CSystemFidFile*>(fid)->m_ResourceIndex, id.Value & 0xFF);
        }
        EXPECT_EQ(engine.GetResourceNod(id.Value), id.Value == 0x4000002B ? &nod : nullptr)
            << std::hex << id.Value;
        CSystemFidFile probe;
        probe.m_ResourceIndex = id.Value ^ kSystemResourceIdBase;
        EXPECT_EQ(engine.GetResourceFidOf(&probe), fid) << std::hex << id.Value;
    }
    CSystemFidMemory memory;
    EXPECT_EQ(engine.GetResourceFidOf(&memory), nullptr);
    EXPECT_EQ(engine.GetResourceFidOf(nullptr), nullptr);
    engine.GetResourceFid(0x4000002B)->ClearNod(&nod);
    nod.RemoveDependant(engine.GetResourceFid(0x4000002B));
}

// The resource files are found on disk whatever the letter case of their names there.
TEST_F(SystemFidFactory, ResourceFilesLoadInAnyCase) {
    CTempFolder temp;
    fs::create_directories(temp.File("RESOURCE/media/TEXTURE"));
    fs::create_directories(temp.File("RESOURCE/media/Text/VSH"));
    WriteWholeFile(temp.File("RESOURCE/media/TEXTURE/NoBitmap.Texture.Zun"), "zun");
    WriteWholeFile(temp.File("RESOURCE/media/Text/VSH/ShadowSmooth1.VSH.txt"), "vsh");
    CClassicWideString current = temp.Engine();
    StripTrailingSlashes(current);
    CEngineHost host(FakeEngineHost(current));
    CSystemEngine& engine = host.Engine();
    ASSERT_NE(engine.GetDataFolder(), nullptr);
    for (u32 id : {0x40000004u, 0x4000001Eu}) {
        CClassicWideString path;
        static_cast<CSystemFidFile*>(engine.GetResourceFid(id))->GetFullFileName(path);
        EXPECT_TRUE(FileExists(path)) << Narrow(path);
    }
    EXPECT_FALSE(FileExists(u"Z:\\nothing-here\\Required\\Camera.SuperTree.Zun"));
}

TEST_F(SystemFidFactory, TwoDrivesAreRefused) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFidsDrive* c = engine.MountLocalDrive(u"C:\\Game\\x.txt");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(engine.MountLocalDrive(u"c:\\Other\\y.txt"), c);
    CLogWatch log;
    EXPECT_EQ(engine.MountLocalDrive(u"D:\\Game\\x.txt"), nullptr);
    EXPECT_EQ(log.Since(),
              "Cannot use two different drives : < C: > and < D: > at the same time\r\n");
    // The file id of a path on the other drive.
    u32 created = 7;
    EXPECT_EQ(engine.GetFileFid(nullptr, u"D:\\a.txt", &created), nullptr);
    EXPECT_EQ(created, 0u);
    EXPECT_EQ(engine.MountDataFolder(u"D:\\Game\\GameData\\Dummy"), nullptr);

    // The data folder of a current folder on the other drive: refused, and tried again later.
    CSystemEngine second(FakeEngineHost(CClassicWideString(u"D:\\Game")));
    second.MountLocalDrive(u"C:\\x");
    CLogWatch again;
    EXPECT_EQ(second.GetDataFolder(), nullptr);
    EXPECT_EQ(second.GetDataFolder(), nullptr);
    const std::string line =
        "Cannot use two different drives : < C: > and < D: > at the same time\r\n";
    EXPECT_EQ(again.Since(), line + line + line + line);
    // The resource drive was mounted all the same.
    EXPECT_NE(second.m_ResourceFolder, nullptr);
}

TEST_F(SystemFidFactory, FileFidOfAPath) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFids* data = engine.GetDataFolder();

    // Twice the same absolute path: made, then found.
    u32 created = 0;
    CSystemFid* fid =
        engine.GetFileFid(nullptr, u"C:\\Game\\GameData\\Skins\\Car.Texture.Zun", &created);
    ASSERT_NE(fid, nullptr);
    EXPECT_EQ(created, 1u);
    EXPECT_EQ(FullName(fid), "C:\\Game\\GameData\\Skins\\Car.Texture.Zun");
    CSystemFids* skins = data->FindFolder(u"Skins", false);
    ASSERT_NE(skins, nullptr);
    EXPECT_EQ(LeafNames(*skins), (std::vector<std::string>{"Car.Texture.Zun"}));
    EXPECT_EQ(engine.GetFileFid(nullptr, u"c:/game/gamedata/SKINS/car.texture.zun", &created), fid);
    EXPECT_EQ(created, 0u);
    EXPECT_EQ(skins->m_Leaves.m_Count, 1u);
    EXPECT_EQ(engine.GetFileFid(nullptr, u"C:\\Game\\GameData\\Skins\\Car.Texture.Zun", nullptr),
              fid);

    // Below a folder: the folders of a relative path are made there.
    CSystemFid* deep = engine.GetFileFid(data, u"Tracks\\Spring\\Hill.Challenge.Zun", &created);
    EXPECT_EQ(created, 1u);
    EXPECT_EQ(FullName(deep), "C:\\Game\\GameData\\Tracks\\Spring\\Hill.Challenge.Zun");
    EXPECT_EQ(FolderChain(deep->m_Folder), "C:/Game/GameData/Tracks/Spring");
    EXPECT_EQ(engine.GetFileFid(data->FindFolder(u"Tracks", false), u"spring\\hill.challenge.zun",
                                &created),
              deep);
    EXPECT_EQ(created, 0u);
    // The disk was not asked: the files do not exist.
    EXPECT_FALSE(FileExists(u"C:\\Game\\GameData\\Tracks\\Spring\\Hill.Challenge.Zun"));
}

TEST_F(SystemFidFactory, FindFidByFullPath) {
    CTempFolder temp;
    fs::create_directories(temp.File("GameData/Skins"));
    WriteWholeFile(temp.File("GameData/Skins/Car.dds"), "dds");
    CClassicWideString current = temp.Engine();
    StripTrailingSlashes(current);
    CEngineHost host(FakeEngineHost(current));
    CSystemEngine& engine = host.Engine();

    // Other letter case and forward slashes.
    std::string path = Narrow(temp.Engine("gamedata/SKINS/car.DDS"));
    for (char& c : path)
        if (c == '\\')
            c = '/';
    for (char& c : path)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(engine.FindFidByFullPath(Wide(path), false), nullptr); // not in the tree yet
    CSystemFid* fid = engine.FindFidByFullPath(Wide(path), true);
    ASSERT_NE(fid, nullptr);
    // Named as asked; the disk's file answers to that name.
    EXPECT_EQ(FullName(fid), Narrow(temp.Engine("GameData\\SKINS\\CAR.DDS")));
    EXPECT_EQ(static_cast<CSystemFidFile*>(fid)->m_ByteSize, 3u);
    EXPECT_EQ(engine.FindFidByFullPath(Wide(path), false), fid);

    // Outside the data folder, or missing: null, nothing logged.
    CLogWatch log;
    EXPECT_EQ(engine.FindFidByFullPath(temp.Engine("Other/Car.dds"), true), nullptr);
    EXPECT_EQ(engine.FindFidByFullPath(u"C:\\Game\\GameData\\Car.dds", true), nullptr);
    EXPECT_EQ(engine.FindFidByFullPath(temp.Engine("GameData/Skins/Gone.dds"), true), nullptr);
    EXPECT_EQ(log.Since(), "");
}

TEST_F(SystemFidFactory, FindFidLike) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFids* data = engine.GetDataFolder();
    CSystemFid* car = engine.GetFileFid(data, u"Car.Solid.Zun", nullptr);

    CSystemFidFile resource;
    resource.m_RefFlags = 5;
    resource.m_ResourceIndex = 9;
    EXPECT_EQ(engine.FindFidLike(&resource), engine.GetResourceFid(0x40000009));
    resource.m_ResourceIndex = 44;
    EXPECT_EQ(engine.FindFidLike(&resource), nullptr);

    CSystemFidFile file;
    file.m_FileName = CClassicWideString(u"CAR.solid.zun");
    file.m_Folder = data;
    EXPECT_EQ(engine.FindFidLike(&file), car);
    file.m_FileName = CClassicWideString(u"Truck.Solid.Zun");
    EXPECT_EQ(engine.FindFidLike(&file), nullptr);
    file.m_Folder = nullptr;

    // Memory images: the leaf of the same buffer.
    CClassicBufferMemory a, b;
    auto* image = new CSystemFidMemory;
    image->m_Buffer = &b;
    engine.m_MemoryFids->AddLeaf(new CSystemFidMemory);
    engine.m_MemoryFids->AddLeaf(image);
    CSystemFidMemory probe;
    probe.m_Buffer = &b;
    probe.m_Folder = engine.m_MemoryFids;
    EXPECT_EQ(engine.FindFidLike(&probe), image);
    probe.m_Buffer = &a;
    EXPECT_EQ(engine.FindFidLike(&probe), nullptr);
    probe.m_Folder = nullptr;
    EXPECT_EQ(engine.FindFidLike(nullptr), nullptr);
}

TEST_F(SystemFidFactory, NodsAndFileIds) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CSystemFids* data = engine.GetDataFolder();
    CSystemFid* a = engine.GetFileFid(data, u"A.Solid.Zun", nullptr);
    CSystemFid* b = engine.GetFileFid(data, u"B.Solid.Zun", nullptr);
    auto* nod = new CMwNod;
    nod->AddRef();

    CSystemEngine::AttachNodToFid(nod, a);
    EXPECT_EQ(nod->GetFid(), a);
    EXPECT_EQ(a->m_Nod, nod);
    EXPECT_EQ(nod->GetDependantCount(), 1u);
    // Moving to another file id: the first lets go.
    CSystemEngine::AttachNodToFid(nod, b);
    EXPECT_EQ(nod->GetFid(), b);
    EXPECT_EQ(a->m_Nod, nullptr);
    EXPECT_EQ(b->m_Nod, nod);
    EXPECT_EQ(nod->GetDependantCount(), 1u);

    CSystemEngine::DetachNodFromFid(nod);
    EXPECT_EQ(nod->GetFid(), nullptr);
    EXPECT_EQ(b->m_Nod, nullptr);
    EXPECT_EQ(nod->GetDependantCount(), 0u);

    // With a set: the file id takes the set and becomes a leaf again.
    CSystemParamSet set;
    set.SetParam(CSystemParamId(CMwId(7), 1));
    data->RemoveLeaf(a);
    a->m_Folder = data;
    CSystemEngine::AttachNodToFidWithParamSet(nod, a, set);
    EXPECT_EQ(a->m_Nod, nod);
    EXPECT_TRUE(data->HasLeaf(a));
    EXPECT_TRUE(a->m_ParamSet.IsCompatible(set, CSystemFid::s_UnknownClassId));
    // A file id that holds a nod for the set keeps it.
    auto* other = new CMwNod;
    other->AddRef();
    CSystemEngine::AttachNodToFidWithParamSet(other, a, set);
    EXPECT_EQ(a->m_Nod, nod);
    EXPECT_EQ(other->GetFid(), nullptr);

    // Removal and deletion, aliases first.
    CSystemEngine::RemoveFid(a);
    EXPECT_FALSE(data->HasLeaf(a));
    EXPECT_EQ(a->m_Nod, nullptr);
    EXPECT_EQ(nod->GetFid(), nullptr);
    EXPECT_EQ(nod->GetDependantCount(), 0u);
    delete a;
    CSystemFid* alias = engine.GetFileFid(data, u"B.Solid.Zun?1", nullptr);
    b->AddAlias(alias);
    CSystemEngine::AttachNodToFid(other, alias);
    const u32 live = CMwNod::GetLiveNodCount();
    CSystemEngine::DeleteFid(b);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live - 2);
    EXPECT_EQ(data->m_Leaves.m_Count, 0u);
    EXPECT_EQ(other->GetFid(), nullptr);
    EXPECT_EQ(other->GetDependantCount(), 0u);
    CSystemEngine::DeleteFid(nullptr);
    nod->Release();
    other->Release();
}

TEST_F(SystemFidFactory, ReleaseMemoryFid) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    CClassicBufferMemory buffers[3];
    CSystemFidMemory* fids[3];
    for (u32 i = 0; i < 3; ++i) {
        fids[i] = engine.m_FidFactory->NewMemoryFid();
        fids[i]->m_Buffer = &buffers[i];
        engine.m_MemoryFids->AddLeaf(fids[i]);
    }
    CMwNod nod;
    fids[0]->SetNod(&nod);
    engine.ReleaseMemoryFid(&buffers[0]);
    // The last leaf takes the place of the one released.
    ASSERT_EQ(engine.m_MemoryFids->m_Leaves.m_Count, 2u);
    EXPECT_EQ(engine.m_MemoryFids->m_Leaves.m_Items[0], fids[2]);
    EXPECT_EQ(engine.m_MemoryFids->m_Leaves.m_Items[1], fids[1]);
    EXPECT_EQ(nod.GetFid(), nullptr);
    EXPECT_EQ(nod.GetDependantCount(), 0u);

    CClassicBufferMemory unknown;
    engine.ReleaseMemoryFid(&unknown);
    engine.ReleaseMemoryFid(nullptr);
    EXPECT_EQ(engine.m_MemoryFids->m_Leaves.m_Count, 2u);
}

// The engine's teardown deletes the trees and the table with it.
TEST_F(SystemFidFactory, TeardownLeavesNothing) {
    const u32 live = CMwNod::GetLiveNodCount();
    {
        CEngineHost host;
        CSystemEngine& engine = host.Engine();
        engine.GetFileFid(engine.GetDataFolder(), u"A\\B\\C.txt", nullptr);
        engine.m_MemoryFids->AddLeaf(new CSystemFidMemory);
        EXPECT_GT(CMwNod::GetLiveNodCount(), live + 60);
    }
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
}

} // namespace
