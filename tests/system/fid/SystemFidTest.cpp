// File ids: members, the binding with a nod, aliases, the content class read from the header,
// the header-chunk blob, the loader and the folder.
#include "FidTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwMemberPath.h"
#include "platform/Endian.h"
#include "system/fid/SystemFidNumberMap.h"

#include <cstring>

namespace {

class SystemFid : public CSystemFixture {};

TEST_F(SystemFid, MembersReadAndWriteTheFormatBits) {
    const CMwClassInfo& info = CSystemFid::s_ClassInfo;
    ASSERT_EQ(info.m_MemberCount, 3u);
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
    };
    const Row rows[] = {{0x0B008000, "m_Nod", "Nod", 0x01},
                        {0x0B008001, "Text", "Is text", 0x33},
                        {0x0B008002, "Compressed", "Is compressed", 0x33}};
    for (u32 i = 0; i < 3; ++i) {
        const CMwMemberInfo& member = *info.m_MemberInfos[i];
        EXPECT_EQ(member.MemberId, rows[i].Id);
        EXPECT_STREQ(member.Name, rows[i].Name);
        EXPECT_STREQ(member.Label, rows[i].Label);
        EXPECT_EQ(member.Flags, rows[i].Flags);
    }

    CSystemFid fid;
    EXPECT_EQ(fid.m_Flags, kSystemFidText);
    EXPECT_EQ(fid.MemberCount(), 4u);
    u32 text = 0, compressed = 1;
    EXPECT_EQ(ReadBool(fid, "Text", &text), 0u);
    EXPECT_EQ(ReadBool(fid, "Compressed", &compressed), 0u);
    EXPECT_EQ(text, 1u);
    EXPECT_EQ(compressed, 0u);

    // Writing the members sets and clears bits 9 and 10 and nothing else.
    fid.m_Flags |= kSystemFidReadOnly | 0x3;
    EXPECT_EQ(WriteMember(fid, "Text", u32(0)), 0u);
    EXPECT_EQ(WriteMember(fid, "Compressed", u32(7)), 0u);
    EXPECT_EQ(fid.m_Flags, kSystemFidReadOnly | kSystemFidCompressed | 0x3);
    EXPECT_FALSE(fid.IsText());
    EXPECT_TRUE(fid.IsCompressed());

    // The bound nod is read, and cannot be written.
    CMwNod nod;
    CMwNod* read = &fid;
    EXPECT_EQ(ReadNod(fid, "m_Nod", &read), 0u);
    EXPECT_EQ(read, nullptr);
    fid.SetNod(&nod);
    EXPECT_EQ(ReadNod(fid, "m_Nod", &read), 0u);
    EXPECT_EQ(read, &nod);
    EXPECT_EQ(WriteMember(fid, "m_Nod", static_cast<CMwNod*>(nullptr)), u32(MwParam_NotFound));
    EXPECT_EQ(fid.m_Nod, &nod);
    fid.ClearNod(&nod);
}

TEST_F(SystemFid, BindingFollowsTheNodsLife) {
    // The last reference to a bound nod goes: the nod is deleted and both sides are cleared.
    {
        bool destroyed = false;
        CSystemFid fid;
        auto* nod = new CWatchedNod(&destroyed);
        nod->AddRef();
        fid.SetNod(nod);
        EXPECT_EQ(nod->GetFid(), &fid);
        EXPECT_EQ(nod->GetDependantCount(), 1u);
        nod->AddRef();
        EXPECT_EQ(nod->Release(), 1);
        EXPECT_EQ(fid.m_Nod, nod);
        EXPECT_EQ(nod->Release(), 0);
        EXPECT_TRUE(destroyed);
        EXPECT_EQ(fid.m_Nod, nullptr);
    }
    // A nod deleted by its owner unbinds itself.
    {
        CSystemFid fid;
        auto* nod = new CMwNod;
        fid.SetNod(nod);
        delete nod;
        EXPECT_EQ(fid.m_Nod, nullptr);
    }
    // The file id goes first: the nod stays, unbound and without the dependant.
    {
        CMwNod nod;
        auto* fid = new CSystemFid;
        fid->SetNod(&nod);
        delete fid;
        EXPECT_EQ(nod.GetFid(), nullptr);
        EXPECT_EQ(nod.GetDependantCount(), 0u);
    }
}

// Binding a file id again never leaves a nod holding a file id that is gone.
TEST_F(SystemFid, RebindingLetsTheFormerNodGo) {
    CMwNod first, second;
    {
        CSystemFid fid;
        fid.SetNod(&first);
        fid.SetNod(&first);
        EXPECT_EQ(first.GetDependantCount(), 1u);
        fid.SetNod(&second);
        EXPECT_EQ(first.GetFid(), nullptr);
        EXPECT_EQ(first.GetDependantCount(), 0u);
        EXPECT_EQ(second.GetFid(), &fid);

        // Clearing a nod that is bound elsewhere by now keeps that binding.
        CSystemFid other;
        other.SetNod(&second);
        fid.ClearNod(&second);
        EXPECT_EQ(second.GetFid(), &other);
        EXPECT_EQ(fid.m_Nod, nullptr);
        second.RemoveDependant(&fid);
        other.ClearNod(&second);
        second.RemoveDependant(&other);
    }
    EXPECT_EQ(first.GetDependantCount(), 0u);
    EXPECT_EQ(second.GetDependantCount(), 0u);
}

TEST_F(SystemFid, AliasesNameTheirMaster) {
    auto* master = new CSystemFid;
    auto* a = new CSystemFid;
    auto* b = new CSystemFid;
    master->AddAlias(a);
    a->AddAlias(b); // goes to the master
    EXPECT_EQ(master->m_Aliases.m_Count, 2u);
    EXPECT_EQ(a->GetMasterFid(), master);
    EXPECT_EQ(b->GetMasterFid(), master);
    EXPECT_EQ(master->GetMasterFid(), master);

    // Neither the master nor its own master becomes an alias; adding twice adds once.
    a->AddAlias(master);
    master->AddAlias(master);
    master->AddAlias(a);
    EXPECT_EQ(master->m_Aliases.m_Count, 2u);
    EXPECT_EQ(master->m_Master, nullptr);

    CMwNod nod;
    EXPECT_FALSE(master->HasNodOrAliasNod());
    b->SetNod(&nod);
    EXPECT_TRUE(master->HasNodOrAliasNod());

    // An alias taken by another master leaves the first one's list.
    CSystemFid other;
    other.AddAlias(a);
    EXPECT_EQ(a->m_Master, &other);
    EXPECT_EQ(master->m_Aliases.m_Count, 1u);
    other.AddAlias(master);
    EXPECT_EQ(master->m_Master, &other);
    EXPECT_EQ(other.m_Aliases.m_Count, 2u);
    EXPECT_TRUE(other.HasNodOrAliasNod()); // b through master

    // A destroyed alias leaves its master's list; a destroyed master lets its aliases go.
    delete a;
    EXPECT_EQ(other.m_Aliases.m_Count, 1u);
    delete master;
    EXPECT_EQ(b->m_Master, nullptr);
    EXPECT_EQ(other.m_Aliases.m_Count, 0u);
    delete b;
    EXPECT_EQ(nod.GetFid(), nullptr);
}

TEST_F(SystemFid, ContentClassIsReadOnceAndAliasesAskTheirMaster) {
    CFakeFidLinks links;
    CSystemFid master, alias;
    master.AddAlias(&alias);

    // No header yet: asked again each time.
    EXPECT_EQ(alias.GetContentClassId(), CSystemFid::s_UnknownClassId);
    EXPECT_EQ(master.GetContentClassId(), CSystemFid::s_UnknownClassId);
    EXPECT_EQ(links.m_HeaderReads, 2u);
    EXPECT_EQ(master.GetHeaderBlobState(), kSystemFidBlobAbsent);

    links.m_HeaderClass = CSystemFid::s_ClassId;
    EXPECT_EQ(alias.GetContentClassId(), CSystemFid::s_ClassId);
    EXPECT_EQ(alias.GetContentClassId(), CSystemFid::s_ClassId);
    EXPECT_EQ(master.GetContentClassId(), CSystemFid::s_ClassId);
    EXPECT_EQ(links.m_HeaderReads, 3u);
    // The alias keeps the class: its master forgetting it reads nothing for the alias.
    master.ClearHeader();
    EXPECT_EQ(master.GetHeaderBlobState(), kSystemFidBlobUnread);
    EXPECT_EQ(alias.GetContentClassId(), CSystemFid::s_ClassId);
    EXPECT_EQ(links.m_HeaderReads, 3u);
}

// The set that suits: the master's, else the first alias's; the master's class decides which
// records apply, and is read only when the request has values.
TEST_F(SystemFid, FindForParamSet) {
    CFakeFidLinks links;
    links.m_HeaderClass = CSystemFid::s_ClassId;
    CSystemFid master, alias;
    master.AddAlias(&alias);
    const CMwId night(7);
    master.m_ParamSet.SetParam(CSystemParamId(night, 1));
    alias.m_ParamSet.SetParam(CSystemParamId(night, 2));
    CMwNod first, second;
    master.SetNod(&first);
    alias.SetNod(&second);

    CSystemParamSet empty;
    EXPECT_EQ(master.FindForParamSet(empty), nullptr); // both sets hold a value
    EXPECT_EQ(links.m_HeaderReads, 0u);

    CSystemParamSet one, two, three;
    one.SetParam(CSystemParamId(night, 1));
    two.SetParam(CSystemParamId(night, 2));
    three.SetParam(CSystemParamId(night, 3));
    EXPECT_EQ(alias.FindForParamSet(one), &master);
    EXPECT_EQ(master.FindForParamSet(two), &alias);
    EXPECT_EQ(master.FindForParamSet(three), nullptr);
    EXPECT_EQ(master.GetNodFor(two), &second);
    EXPECT_EQ(master.GetNodFor(three), nullptr);
    EXPECT_EQ(links.m_HeaderReads, 1u);

    // A value for other classes does not apply to this content: the master suits.
    static const u32 refBuffers[] = {0x01026000, 0xFFFFFFFF};
    CSystemParamId filtered(night, 3);
    filtered.m_ClassFilter = refBuffers;
    CSystemParamSet other;
    other.SetParam(filtered);
    EXPECT_EQ(alias.FindForParamSet(other), &master);
}

// Blob bytes: u32 count, pairs {id, size}, data.
std::string Blob(std::vector<std::pair<u32, std::string>> chunks, u32 count = 0xFFFFFFFF) {
    std::string bytes(4 + 8 * chunks.size(), '\0');
    platform::StoreU32Le(&bytes[0], count != 0xFFFFFFFF ? count : u32(chunks.size()));
    for (size_t i = 0; i < chunks.size(); ++i) {
        platform::StoreU32Le(&bytes[4 + 8 * i], chunks[i].first);
        platform::StoreU32Le(&bytes[8 + 8 * i], u32(chunks[i].second.size()));
    }
    for (const auto& chunk : chunks)
        bytes += chunk.second;
    return bytes;
}

std::string U32(u32 value) {
    std::string bytes(4, '\0');
    platform::StoreU32Le(&bytes[0], value);
    return bytes;
}

// Reads a stored blob from a binary stream followed by a marker word, which must read after it.
struct BlobRead {
    u32 State;
    u32 Count;
    bool MarkerRead;
};
BlobRead ReadBlob(CSystemFid& fid, const std::string& stored) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    const std::string bytes = stored + U32(0x5EA1ED);
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    fid.ArchiveHeaderBlob(archive);
    u32 marker = 0;
    archive.ReadUInts(&marker, 1);
    return {fid.GetHeaderBlobState(), fid.GetHeaderChunkCount(), marker == 0x5EA1ED};
}

TEST_F(SystemFid, StoredBlobIsCheckedAgainstItsPairs) {
    struct Case {
        const char* What;
        std::string Stored;
        u32 State;
        u32 Count;
    };
    const std::string twelve = Blob({{0x0B008000, ""}});
    const std::string overflow = Blob({{1, std::string(4, 'x')}, {2, ""}});
    std::string wrapped = overflow;
    platform::StoreU32Le(&wrapped[8], 0xFFFFFFFC); // 4 + 16 + 4 + 0xFFFFFFFC wraps to 20
    platform::StoreU32Le(&wrapped[16], 8);
    // Checked: nothing is read past the blob, whatever it holds.
    const Case cases[] = {
        {"no blob", U32(0), kSystemFidBlobAbsent, 0},
        {"one empty chunk", U32(12) + twelve, kSystemFidBlobPresent, 1},
        {"two chunks", U32(29) + Blob({{1, "abcd"}, {2, "efghi"}}), kSystemFidBlobPresent, 2},
        {"no pairs with size 4", U32(4) + U32(0), kSystemFidBlobUnread, 0},
        {"data past its pairs", U32(19) + Blob({{1, "abc"}}) + "abcd", kSystemFidBlobUnread, 0},
        {"data short of its pairs", U32(14) + Blob({{1, "abc"}}).substr(0, 14),
         kSystemFidBlobUnread, 0},
        {"count past the size", U32(12) + Blob({{1, ""}}, 0x20000000), kSystemFidBlobUnread, 0},
        {"sizes that wrap around", U32(24) + wrapped, kSystemFidBlobUnread, 0},
        {"too short for a count", U32(3) + "abc", kSystemFidBlobUnread, 0},
        {"above the limit",
         U32(kSystemFidMaxHeaderBlobSize + 12) +
             Blob({{1, std::string(kSystemFidMaxHeaderBlobSize, 'z')}}),
         kSystemFidBlobUnread, 0},
    };
    for (const Case& c : cases) {
        CSystemFid fid;
        fid.SetNoBlob();
        CLogWatch log;
        const BlobRead read = ReadBlob(fid, c.Stored);
        // Only the size above the limit says why it was dropped.
        EXPECT_EQ(log.Since().find("[Sys] Header-chunk blob of") != std::string::npos,
                  std::string(c.What) == "above the limit")
            << c.What;
        EXPECT_EQ(read.State, c.State) << c.What;
        EXPECT_EQ(read.Count, c.Count) << c.What;
        EXPECT_TRUE(read.MarkerRead) << c.What;
    }

    CSystemFid fid;
    ReadBlob(fid, U32(29) + Blob({{1, "abcd"}, {0x0B008001, "efghi"}}));
    EXPECT_EQ(fid.GetHeaderChunkId(1), 0x0B008001u);
    EXPECT_EQ(fid.GetHeaderChunkSize(1), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fid.GetHeaderChunkData(1)), 5), "efghi");
    EXPECT_EQ(fid.GetHeaderChunkData(2), nullptr);
}

// A size the stream does not hold fails the read before anything is allocated for it.
TEST_F(SystemFid, BlobSizePastTheStreamFailsTheRead) {
    for (const u32 size : {u32(64), kSystemFidMaxHeaderBlobSize + 1, u32(0xFFFFFFF0)}) {
        CSystemFid fid;
        CClassicArchive archive;
        auto* memory = new CClassicBufferMemory;
        archive.SetBuffer(memory);
        const std::string bytes = U32(size) + Blob({{1, "abcd"}});
        memory->Write(bytes.data(), u32(bytes.size()));
        memory->Rewind();
        CLogWatch log;
        EXPECT_THROW(fid.ArchiveHeaderBlob(archive), CClassicBufferException) << size;
        EXPECT_NE(log.Since().find("[Archive] Stored size"), std::string::npos) << log.Since();
        EXPECT_EQ(fid.GetHeaderBlobState(), kSystemFidBlobUnread);
    }
}

// A nod with three header chunks, the second of which writes nothing.
class CHeaderNod : public CMwNod {
public:
    u32 HeaderChunkCount() override { return 3; }
    u32 HeaderChunkIdByIndex(u32 index) override { return 0x0B0F0000 | index; }
    void ArchiveHeaderChunk(CClassicArchive& archive, u32* id) override {
        if (*id == 0x0B0F0000) {
            u32 value = 0xC0FFEE;
            archive.WriteUInts(&value, 1);
        } else if (*id == 0x0B0F0002) {
            CClassicString text("night");
            archive.WriteStrings(&text, 1);
        }
    }
};

TEST_F(SystemFid, BuiltBlobTravelsThroughTheHeader) {
    CSystemFid fid;
    fid.BuildHeaderChunks();
    EXPECT_EQ(fid.GetHeaderBlobState(), kSystemFidBlobUnread); // no nod

    CMwNod plain;
    fid.SetNod(&plain);
    fid.BuildHeaderChunks();
    EXPECT_EQ(fid.GetHeaderBlobState(), kSystemFidBlobAbsent); // no header chunk
    fid.ClearNod(&plain);
    plain.RemoveDependant(&fid);

    // The nod of an alias serves when the file id has none.
    CHeaderNod nod;
    CSystemFid alias;
    fid.AddAlias(&alias);
    alias.SetNod(&nod);
    fid.BuildHeaderChunks();
    ASSERT_EQ(fid.GetHeaderBlobState(), kSystemFidBlobPresent);
    ASSERT_EQ(fid.GetHeaderChunkCount(), 2u);
    EXPECT_EQ(fid.GetHeaderChunkId(0), 0x0B0F0000u);
    EXPECT_EQ(fid.GetHeaderChunkSize(0), 4u);
    EXPECT_EQ(fid.GetHeaderChunkId(1), 0x0B0F0002u);
    EXPECT_EQ(fid.GetHeaderChunkSize(1), 9u);
    EXPECT_EQ(platform::LoadU32Le(fid.GetHeaderChunkData(0)), 0xC0FFEEu);

    for (const bool text : {false, true}) {
        CClassicArchive writer;
        auto* memory = new CClassicBufferMemory;
        writer.SetBuffer(memory);
        writer.m_Writing = 1;
        writer.m_Text = text;
        fid.ArchiveHeaderBlob(writer);
        const std::string stored(reinterpret_cast<const char*>(memory->GetData()),
                                 memory->GetSize());
        // The chunks are always written in binary; the blob is raw in both encodings.
        EXPECT_EQ(stored.substr(0, 4), text ? "33\r\n" : U32(33));
        EXPECT_EQ(stored.substr(4),
                  Blob({{0x0B0F0000, U32(0xC0FFEE)}, {0x0B0F0002, U32(5) + "night"}}));

        CSystemFid back;
        CClassicArchive reader;
        memory->Rewind();
        reader.SetBuffer(writer.DetachBuffer(false));
        reader.m_Text = text;
        back.ArchiveHeaderBlob(reader);
        EXPECT_EQ(back.GetHeaderBlobState(), kSystemFidBlobPresent) << text;
        EXPECT_EQ(back.GetHeaderChunkCount(), 2u) << text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.GetHeaderChunkData(1)), 9),
                  U32(5) + "night");
    }

    // Without a blob, the size 0 alone is written.
    fid.SetNoBlob();
    CClassicArchive writer;
    auto* memory = new CClassicBufferMemory;
    writer.SetBuffer(memory);
    writer.m_Writing = 1;
    fid.ArchiveHeaderBlob(writer);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize()),
              U32(0));
    alias.ClearNod(&nod);
    nod.RemoveDependant(&alias);
}

TEST_F(SystemFid, LoaderPinsTheFolderAndTheTreeIsTold) {
    CNamedFolder top(u"Data"), folder(u"Zip", &top), other(u"Other", &top);
    CFakeFidLinks links;
    auto* first = new CMwNod;
    first->AddRef();
    {
        CNamedFile fid(u"a.txt");
        fid.SetLoader(first); // no folder: nothing pinned
        EXPECT_EQ(first->GetRefCount(), 2);
        folder.AddLeaf(&fid);
        fid.SetLoader(nullptr); // no loader: nothing pinned
        EXPECT_EQ(top.m_Pinned, 0u);
        fid.SetLoader(links.m_Loader);
        EXPECT_EQ(first->GetRefCount(), 1);
        EXPECT_EQ(links.m_Loader->GetRefCount(), 2);
        // The folder and its ancestors, not their other sub-folders.
        EXPECT_EQ(folder.m_Pinned, 1u);
        EXPECT_EQ(top.m_Pinned, 1u);
        EXPECT_EQ(other.m_Pinned, 0u);

        fid.Unlink();
        EXPECT_EQ(folder.m_Leaves.m_Count, 0u);
        EXPECT_EQ(fid.m_Folder, nullptr);
        folder.AddLeaf(&fid);
        FidNumberMapSet(&fid, 3);
    }
    // Destroyed: it left its folder and the number map, and gave the loader back.
    EXPECT_EQ(folder.m_Leaves.m_Count, 0u);
    EXPECT_EQ(GetFidNumberMap(), nullptr);
    EXPECT_EQ(links.m_Loader->GetRefCount(), 1);
    first->Release();
}

TEST_F(SystemFid, CopyTakesOverNodAndAliases) {
    CNamedFolder folder(u"Data");
    CMwNod nod;
    auto* source = new CSystemFid;
    source->m_Folder = &folder;
    source->SetNod(&nod);
    source->m_ParamSet.SetParam(CSystemParamId(CMwId(3), 9));
    CSystemFid alias;
    source->AddAlias(&alias);

    CSystemFid copy;
    EXPECT_FALSE(copy.IsEqual(source));
    copy.CopyFidFrom(source);
    EXPECT_TRUE(copy.IsEqual(source));
    EXPECT_EQ(copy.m_Nod, &nod);
    EXPECT_EQ(nod.GetFid(), &copy);
    EXPECT_EQ(nod.GetDependantCount(), 1u);
    EXPECT_EQ(source->m_Nod, nullptr);
    EXPECT_EQ(copy.m_ParamSet.GetCount(), 1u);
    EXPECT_EQ(alias.m_Master, &copy);
    EXPECT_EQ(copy.m_Aliases.m_Count, 1u);
    EXPECT_EQ(source->m_Aliases.m_Count, 0u);

    // The source goes without taking anything of the copy's with it.
    delete source;
    EXPECT_EQ(alias.m_Master, &copy);
    EXPECT_EQ(nod.GetFid(), &copy);
}

} // namespace
