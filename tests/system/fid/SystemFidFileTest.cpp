// File ids of files and memory images, the fid cache, and the services of the Plug library's
// file classes.
#include "FidTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "platform/Endian.h"
#include "system/fid/SystemFidNumberMap.h"

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class SystemFidFile : public CSystemFixture {};

std::string U32(u32 value) {
    std::string bytes(4, '\0');
    platform::StoreU32Le(&bytes[0], value);
    return bytes;
}

// A file that counts the calls of its name hook.
class CHookedFile : public CSystemFidFile {
public:
    void OnNameChanged() override { ++m_NameChanges; }
    u32 m_NameChanges = 0;
};

// A folder that counts the changes it is told of.
class CToldFolder : public CSystemFidsFolder {
public:
    explicit CToldFolder(const char16_t* name, CSystemFids* parent = nullptr) {
        m_DirName = CClassicWideString(name);
        if (parent)
            parent->AddTree(this);
    }
    void OnFolderChanged() override { ++m_Changes; }
    u32 m_Changes = 0;
};

TEST_F(SystemFidFile, NewFileIsReadOnlyUntilRefreshed) {
    CTempFolder temp;
    WriteWholeFile(temp.File("data.bin"), std::string(5000, 'd'));
    CDiskTree tree(temp);

    CSystemFidFile fid;
    EXPECT_EQ(fid.m_Flags, 0x200u | 0x1F | 0x800); // Text, the refresh bits, read-only
    EXPECT_EQ(fid.m_RefFlags, kSystemFidRefFile);
    u32 value = 9;
    EXPECT_EQ(ReadBool(fid, "IsReadOnly", &value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(ReadWord(fid, "ByteSize", &value), 0u);
    EXPECT_EQ(value, 0u);

    fid.SetFileName(u"data.bin");
    tree.m_Folder->AddLeaf(&fid);
    fid.Refresh(nullptr);
    EXPECT_EQ(ReadBool(fid, "IsReadOnly", &value), 0u);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(ReadWord(fid, "ByteSize", &value), 0u);
    EXPECT_EQ(value, 4u); // 5000 >> 10
    EXPECT_EQ(fid.m_ByteSize, 5000u);
    EXPECT_EQ(fid.m_Flags & 0x6, 0u);
    EXPECT_EQ(fid.m_Flags & 0x19, 0x19u); // only bits 2 and 4 are cleared

    // The second refresh reads nothing: the disk changed, the file id did not.
    WriteWholeFile(temp.File("data.bin"), std::string(100, 'd'));
    chmod(temp.File("data.bin").c_str(), 0444);
    fid.Refresh(nullptr);
    EXPECT_EQ(fid.m_ByteSize, 5000u);
    EXPECT_FALSE(fid.IsReadOnly());
    // Either bit starts a refresh.
    fid.m_Flags |= 0x4;
    fid.Refresh(nullptr);
    EXPECT_EQ(fid.m_ByteSize, 100u);
    EXPECT_TRUE(fid.IsReadOnly());

    // A missing file reads as read-only (its attributes cannot be read) and keeps its size.
    fs::remove(temp.File("data.bin"));
    fid.m_Flags |= 0x2;
    fid.m_Flags &= ~kSystemFidReadOnly;
    fid.Refresh(nullptr);
    EXPECT_TRUE(fid.IsReadOnly());
    EXPECT_EQ(fid.m_ByteSize, 100u);

    // A path given is read instead of the file id's own.
    WriteWholeFile(temp.File("other.bin"), std::string(2048, 'o'));
    const CClassicWideString other = temp.Engine("OTHER.BIN");
    fid.m_Flags |= 0x2;
    fid.Refresh(&other);
    EXPECT_EQ(fid.m_ByteSize, 2048u);
    EXPECT_FALSE(fid.IsReadOnly());
    tree.m_Folder->RemoveLeaf(&fid);
}

TEST_F(SystemFidFile, WritableUnlessAnExistingFileIsReadOnly) {
    CTempFolder temp;
    CDiskTree tree(temp);
    CNamedFile fid(u"x.txt", tree.m_Folder);
    EXPECT_TRUE(fid.IsWritable()); // missing
    WriteWholeFile(temp.File("X.TXT"), "x");
    EXPECT_TRUE(fid.IsWritable());
    chmod(temp.File("X.TXT").c_str(), 0444);
    EXPECT_FALSE(fid.IsWritable());
    // A folder of that name is no file.
    CNamedFile dir(u"dir", tree.m_Folder);
    fs::create_directories(temp.File("dir"));
    EXPECT_TRUE(dir.IsWritable());
    // The base kind is never writable.
    CSystemFid base;
    EXPECT_FALSE(base.IsWritable());
}

TEST_F(SystemFidFile, EqualityIsTheNameIgnoringCaseInTheSameFolder) {
    CNamedFolder one(u"One"), two(u"Two");
    CNamedFile a(u"a.txt", &one), upper(u"A.TXT", &one), elsewhere(u"a.txt", &two),
        longer(u"a.txt2", &one), loose(u"a.txt");
    EXPECT_TRUE(a.IsEqual(&upper));
    EXPECT_TRUE(upper.IsEqual(&a));
    EXPECT_FALSE(a.IsEqual(&elsewhere));
    EXPECT_FALSE(a.IsEqual(&longer));
    EXPECT_FALSE(a.IsEqual(&loose));
    EXPECT_FALSE(a.IsEqual(nullptr));
    // A memory image in the same folder is no file of that name.
    CSystemFidMemory memory;
    memory.m_Folder = &one;
    EXPECT_FALSE(a.IsEqual(&memory));
    memory.m_Folder = nullptr;
}

TEST_F(SystemFidFile, NamesAndPaths) {
    struct Case {
        const char* Given;
        const char* Stored;
    };
    const Case cases[] = {
        {"a/b//c.txt", "a\\b\\c.txt"},        {"a\\\\b.txt", "a\\b.txt"},
        {"what?.txt", "what?.txt"},           {"a*b\"c<d>e|f.txt", "a_b_c_d_e_f.txt"},
        {"C:\\x\\y:z.txt", "C:\\x\\y_z.txt"}, {"\\\\srv\\share\\f", "\\srv\\share\\f"},
        {"a\\.\\b\\..\\c.txt", "a\\c.txt"},
    };
    CHookedFile fid;
    for (const Case& c : cases) {
        fid.SetFileName(Wide(c.Given));
        EXPECT_EQ(Narrow(fid.m_FileName), c.Stored) << c.Given;
    }
    EXPECT_EQ(fid.m_NameChanges, std::size(cases));

    CTestDrive drive(u"C:");
    CNamedFolder game(u"Game", &drive), data(u"Data", &game);
    CNamedFile file(u"Cars.Solid.Zun", &data);
    EXPECT_EQ(FullName(&file), "C:\\Game\\Data\\Cars.Solid.Zun");
    EXPECT_EQ(ReadWide(file, "FullFileName"), "C:\\Game\\Data\\Cars.Solid.Zun");
    EXPECT_EQ(ReadWide(file, "ShortFileName"), "Cars");
    EXPECT_EQ(ReadWide(file, "FileName"), "Cars.Solid.Zun");
    CClassicWideString relative(u"<");
    EXPECT_TRUE(file.GetFileNameRelativeTo(relative, &game));
    EXPECT_EQ(Narrow(relative), "<Data\\Cars.Solid.Zun");
    relative = CClassicWideString();
    EXPECT_TRUE(file.GetFileNameRelativeTo(relative, &drive));
    EXPECT_EQ(Narrow(relative), "Game\\Data\\Cars.Solid.Zun");
    CNamedFolder elsewhere(u"Else");
    EXPECT_FALSE(file.GetFileNameRelativeTo(relative, &elsewhere));
    // Without a folder the name is the whole path.
    CNamedFile loose(u"Z:\\x\\y.txt");
    EXPECT_EQ(FullName(&loose), "Z:\\x\\y.txt");
    EXPECT_FALSE(loose.GetFileNameRelativeTo(relative, &drive));
    data.RemoveLeaf(&file);
    drive.RemoveTree(&game);
}

TEST_F(SystemFidFile, Members) {
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
        u32 Mask;
    };
    const Row rows[] = {
        {0x0B00A000, "ByteSize", "Size (Kb)", 0x11, 0x1380},
        {0x0B00A001, "ByteSizeEd", "Size (variable unit)", 0x11, 0x3F80},
        {0x0B00A002, "IsReadOnly", "Read only", 0x33, 0x3F80},
        {0x0B00A003, "FileName", "File name", 0x01, 0x1380},
        {0x0B00A004, "FullFileName", "Full filename", 0x11, 0x1380},
        {0x0B00A005, "ShortFileName", "Short filename", 0x11, 0x1380},
        {0x0B00A006, "CopyToFileRelative", "CopyToFileRelative", 0x22, 0x3F80},
    };
    CSystemFidFile fid;
    ASSERT_EQ(fid.MemberCount(), 11u);
    EXPECT_EQ(fid.MemberIdByIndex(1), 0x0B008000u);
    for (u32 i = 0; i < 7; ++i) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(fid.MemberIdByIndex(4 + i));
        ASSERT_NE(member, nullptr);
        EXPECT_EQ(member->MemberId, rows[i].Id);
        EXPECT_STREQ(member->Name, rows[i].Name);
        EXPECT_STREQ(member->Label, rows[i].Label);
        EXPECT_EQ(member->Flags, rows[i].Flags) << rows[i].Name;
        EXPECT_EQ(member->Mask, rows[i].Mask) << rows[i].Name;
    }
    EXPECT_EQ(CMwClassRegistry::GetMemberInfo(0x0B00A006)->TypeCode, u32(MwType_Proc));

    fid.m_ByteSize = (u64(5) << 40) + 7 * 1048576;
    u32 value = 0;
    EXPECT_EQ(ReadWord(fid, "ByteSize", &value), 0u);
    EXPECT_EQ(value, u32(fid.m_ByteSize >> 10)); // the low 32 bits
    EXPECT_EQ(ReadWord(fid, "ByteSizeEd", &value), 0u);
    EXPECT_EQ(value, u32(fid.m_ByteSize / 1024));

    // Writing IsReadOnly is accepted and changes nothing; so is invoking CopyToFileRelative.
    const u32 flags = fid.m_Flags;
    EXPECT_EQ(WriteMember(fid, "IsReadOnly", u32(0)), 0u);
    EXPECT_EQ(fid.m_Flags, flags);
    EXPECT_EQ(WriteMember(fid, "CopyToFileRelative", u32(0)), 0u);
    EXPECT_EQ(fid.m_Flags, flags);
    EXPECT_EQ(WriteMember(fid, "FileName", CClassicWideString(u"x")), u32(MwParam_NotFound));
    EXPECT_TRUE(fid.m_FileName.IsEmpty());
    // The Text and Compressed members are the base's.
    EXPECT_EQ(WriteMember(fid, "Text", u32(0)), 0u);
    EXPECT_FALSE(fid.IsText());
}

TEST_F(SystemFidFile, NameRecordOfAReference) {
    for (const bool text : {false, true}) {
        CNamedFile resource(u"Media\\NoBitmap.Texture.zun");
        resource.m_RefFlags = kSystemFidRefFile | kSystemFidRefResourceLocal;
        resource.m_ResourceIndex = 4;
        CNamedFile plain(u"Caf\u00e9.txt");

        CClassicArchive writer;
        auto* memory = new CClassicBufferMemory;
        writer.SetBuffer(memory);
        writer.m_Writing = 1;
        writer.m_Text = text;
        resource.ArchiveName(writer);
        plain.ArchiveName(writer);
        const std::string bytes(reinterpret_cast<const char*>(memory->GetData()),
                                memory->GetSize());
        const std::string name = "\xEF\xBB\xBF"
                                 "Caf\xC3\xA9.txt";
        EXPECT_EQ(bytes, text ? "4\r\n" + name + "\r\n" : U32(4) + U32(u32(name.size())) + name);

        CNamedFile resourceBack, plainBack;
        resourceBack.m_RefFlags = resource.m_RefFlags;
        CClassicArchive reader;
        memory->Rewind();
        reader.SetBuffer(writer.DetachBuffer(false));
        reader.m_Text = text;
        resourceBack.ArchiveName(reader);
        plainBack.ArchiveName(reader);
        EXPECT_EQ(resourceBack.m_ResourceIndex, 4u);
        EXPECT_TRUE(resourceBack.m_FileName.IsEmpty());
        EXPECT_EQ(Narrow(plainBack.m_FileName), "Caf\xC3\xA9.txt");
    }
}

TEST_F(SystemFidFile, CopyAndChangeTellTheNameHookAndTheFolders) {
    CToldFolder top(u"Top"), folder(u"Data", &top);
    CHookedFile source, copy;
    source.SetFileName(u"Thing.Solid.Zun");
    folder.AddLeaf(&source);
    CMwNod nod;
    source.SetNod(&nod);
    copy.CopyFidFrom(&source);
    EXPECT_EQ(Narrow(copy.m_FileName), "Thing.Solid.Zun");
    EXPECT_EQ(copy.m_Folder, &folder);
    EXPECT_EQ(copy.m_NameChanges, 1u);
    EXPECT_EQ(nod.GetFid(), &copy);
    EXPECT_TRUE(copy.IsEqual(&source));

    // A change goes up the folders, then to the name hook.
    copy.OnChanged();
    EXPECT_EQ(folder.m_Changes, 1u);
    EXPECT_EQ(top.m_Changes, 1u);
    EXPECT_EQ(copy.m_NameChanges, 2u);
    copy.ClearNod(&nod);
    nod.RemoveDependant(&copy);
    folder.RemoveLeaf(&source);
    top.RemoveTree(&folder);
}

// A memory stream that says when it goes.
class CWatchedMemory : public CClassicBufferMemory {
public:
    explicit CWatchedMemory(bool* deleted) : m_Deleted(deleted) {}
    ~CWatchedMemory() override { *m_Deleted = true; }

private:
    bool* m_Deleted;
};

TEST_F(SystemFidFile, MemoryImages) {
    bool ownedGone = false, lentGone = false;
    auto* owned = new CWatchedMemory(&ownedGone);
    auto* lent = new CWatchedMemory(&lentGone);
    CNamedFolder root(u"Memory");
    {
        CSystemFidMemory first, same, other;
        EXPECT_EQ(first.m_RefFlags, kSystemFidRefMemory);
        EXPECT_EQ(first.m_Flags, kSystemFidText);
        EXPECT_EQ(first.m_Buffer, nullptr);
        EXPECT_EQ(first.m_OwnsBuffer, 0u);
        first.m_Buffer = owned;
        first.m_OwnsBuffer = 1;
        same.m_Buffer = owned;
        other.m_Buffer = lent;
        EXPECT_TRUE(first.IsEqual(&same));
        EXPECT_FALSE(first.IsEqual(&other));
        same.m_Folder = &root;
        EXPECT_FALSE(first.IsEqual(&same));
        same.m_Folder = nullptr;
        CNamedFile file(u"x");
        EXPECT_FALSE(first.IsEqual(&file));

        // A copy takes the buffer but not its ownership.
        CSystemFidMemory copy;
        copy.CopyFidFrom(&other);
        EXPECT_EQ(copy.m_Buffer, lent);
        other.m_OwnsBuffer = 1;
        copy.CopyFidFrom(&other);
        EXPECT_EQ(copy.m_OwnsBuffer, 0u);
    }
    EXPECT_TRUE(ownedGone);
    EXPECT_TRUE(lentGone); // owned by `other` at the end
}

TEST_F(SystemFidFile, CacheKeepsItsListsInAChunkNoLoopWrites) {
    CSystemFidCache cache;
    EXPECT_EQ(cache.ChunkCount(), 2u);
    EXPECT_EQ(cache.ChunkIdByIndex(0), 0x01001000u);
    EXPECT_EQ(cache.ChunkIdByIndex(1), 0x0B016000u);
    EXPECT_EQ(cache.GetChunkInfo(0x0B016000), CMwNod::s_UnknownChunk);
    cache.m_First.Add({7, CClassicWideString(u"seven")});
    cache.m_First.Add({8, CClassicWideString(u"\u00e9ight")});
    cache.m_Second.Add({9, CClassicWideString(u"nine")});

    for (const bool text : {false, true}) {
        // The body holds the base chunk only: the same bytes as a plain nod's.
        CClassicArchive body, plainBody;
        for (CClassicArchive* archive : {&body, &plainBody}) {
            archive->SetBuffer(new CClassicBufferMemory);
            archive->m_Writing = 1;
            archive->m_Text = text;
        }
        cache.Archive(body);
        CMwNod plain;
        plain.Archive(plainBody);
        const auto bytesOf = [](CClassicArchive& archive) {
            auto* memory = static_cast<CClassicBufferMemory*>(archive.GetBuffer());
            return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
        };
        EXPECT_EQ(bytesOf(body), bytesOf(plainBody));

        // The chunk's own data, written and read directly.
        CClassicArchive writer;
        auto* memory = new CClassicBufferMemory;
        writer.SetBuffer(memory);
        writer.m_Writing = 1;
        writer.m_Text = text;
        cache.ArchiveChunk(writer, CSystemFidCache::s_ChunkId);
        const std::string chunk = bytesOf(writer);
        if (!text) {
            EXPECT_EQ(chunk, U32(2) + U32(7) + U32(5) + "seven" + U32(8) + U32(9) +
                                 "\xEF\xBB\xBF\xC3\xA9ight" + U32(1) + U32(9) + U32(4) + "nine");
        }
        CSystemFidCache back;
        back.m_Second.Add({1, CClassicWideString(u"old")});
        back.m_Second.Add({2, CClassicWideString(u"older")});
        CClassicArchive reader;
        memory->Rewind();
        reader.SetBuffer(writer.DetachBuffer(false));
        reader.m_Text = text;
        back.ArchiveChunk(reader, CSystemFidCache::s_ChunkId);
        ASSERT_EQ(back.m_First.m_Count, 2u);
        EXPECT_EQ(back.m_First.m_Capacity, 2u);
        EXPECT_EQ(back.m_First.m_Items[1].m_Number, 8u);
        EXPECT_EQ(Narrow(back.m_First.m_Items[1].m_Name), "\xC3\xA9ight");
        ASSERT_EQ(back.m_Second.m_Count, 1u); // the list is what was read
        EXPECT_EQ(Narrow(back.m_Second.m_Items[0].m_Name), "nine");
    }

    // A count past the bytes left fails before anything is allocated for it.
    CClassicArchive reader;
    auto* memory = new CClassicBufferMemory;
    reader.SetBuffer(memory);
    const std::string damaged = U32(0x00FFFFFF) + U32(1);
    memory->Write(damaged.data(), u32(damaged.size()));
    memory->Rewind();
    CSystemFidCache back;
    CLogWatch log;
    EXPECT_THROW(back.ArchiveChunk(reader, CSystemFidCache::s_ChunkId), CClassicBufferException);
    EXPECT_NE(log.Since().find("Stored size"), std::string::npos) << log.Since();
    EXPECT_EQ(back.m_First.m_Count, 0u);
}

// A stored fid-cache chunk is passed over like any chunk no class knows, when it can be skipped.
TEST_F(SystemFidFile, StoredCacheChunkIsSkipped) {
    const std::string data = U32(1) + U32(3) + U32(1) + "x" + U32(0);
    const std::string body = U32(0x0B016000) + U32(CMwNod::s_SkipTag) + U32(u32(data.size())) +
                             data + U32(CMwNod::s_UnknownChunk);
    CClassicArchive reader;
    auto* memory = new CClassicBufferMemory;
    reader.SetBuffer(memory);
    memory->Write(body.data(), u32(body.size()));
    memory->Rewind();
    CSystemFidCache cache;
    EXPECT_EQ(cache.Archive(reader), 0u);
    EXPECT_EQ(cache.m_First.m_Count, 0u);
    EXPECT_EQ(memory->GetPosition(), memory->GetSize());
}

TEST_F(SystemFidFile, PlugFileServices) {
    CTempFolder temp;
    CDiskTree tree(temp);
    CNamedFile texture(u"Wall.Texture.tga", tree.m_Folder), unknown(u"notes.xyz", tree.m_Folder);
    CSystemFidMemory memory;

    // Without the Plug library nothing is recognised.
    CPlugFileServices& none = PlugFileServices();
    EXPECT_EQ(none.ClassIdFromFileName(u"a.tga"), 0xFFFFFFFFu);
    EXPECT_EQ(none.ClassIdFromFid(&texture), 0xFFFFFFFFu);
    EXPECT_FALSE(none.LoadFromPath(nullptr, u"a.tga"));
    EXPECT_EQ(none.SaveToPath(nullptr, u"a.tga"), 0u);
    {
        CLogWatch log;
        EXPECT_EQ(none.CreateNodFromFid(&texture), nullptr);
        EXPECT_EQ(log.Since(), "Unrecognized format file " + FullName(&texture) + "\r\n");
    }

    // With it, the extension names the class the nod is made of.
    CFakePlugFiles plug({{".tga", CSystemFidCache::s_ClassId}});
    EXPECT_EQ(&PlugFileServices(), &plug);
    EXPECT_EQ(plug.ClassIdFromFid(&texture), CSystemFidCache::s_ClassId);
    EXPECT_EQ(plug.ClassIdFromFid(&unknown), 0xFFFFFFFFu);
    EXPECT_EQ(plug.ClassIdFromFid(&memory), 0xFFFFFFFFu);
    EXPECT_EQ(plug.ClassIdFromFid(nullptr), 0xFFFFFFFFu);
    CMwNod* nod = plug.CreateNodFromFid(&texture);
    ASSERT_NE(nod, nullptr);
    EXPECT_EQ(nod->GetClassId(), CSystemFidCache::s_ClassId);
    delete nod;
    CLogWatch log;
    EXPECT_EQ(plug.CreateNodFromFid(&unknown), nullptr);
    EXPECT_EQ(log.Since(), "Unrecognized format file " + FullName(&unknown) + "\r\n");
    EXPECT_EQ(plug.CreateNodFromFid(nullptr), nullptr);
}

} // namespace
