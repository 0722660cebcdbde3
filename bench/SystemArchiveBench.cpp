// Saving and loading an archive file of many small nods against the floor of the same work: the
// value archive writing (reading) the same values in the same order to (from) memory, plus
// lzo1x_1_compress (lzo1x_decompress_safe) of the same body for the compressed form. In
// alternating rounds (see BenchPair.h). Beside them, a library doing the same work: the same
// object graph (plain structures linked by shared pointers, which the library stores once and
// refers to by number afterwards, as the archive's node table does) through cereal's binary
// archive, into and from memory.
//
// The tree: a main nod linking n archive test nods, each stored inline where it first appears;
// nod i also links nod i / 2 (stored as its bare index), every 16th one names a file id (a
// use-file reference), and the main nod links 8 nods bound to files of their own (references of
// the table). Binary encoding, plain or LZO body; 1 000 to 1 000 000 nods show whether the time
// grows linearly.
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwId.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/system/archive/ArchiveTestNods.h"

#include <cereal/archives/binary.hpp>
#include <cereal/types/memory.hpp>
#include <cereal/types/string.hpp>
#include <cereal/types/vector.hpp>
#include <istream>
#include <lzo/lzo1x.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace {

constexpr u32 kFiles = 8;

// What the body holds for one test nod: its values and the node indices it writes.
struct SNodValues {
    u32 Value;
    CClassicWideString Name;
    f32 Real;
    u32 LinkIndex; // the bare index of nod i / 2 (0xFFFFFFFF for none)
    u32 FileIndex; // 0xFFFFFFFF for none
};

// The graph as cereal stores it: the test nod's values, its links and its file (a file record
// shared by the nods that name it).
struct SCerealFile {
    std::u16string Name;
    template <class Archive>
    void serialize(Archive& archive) {
        archive(Name);
    }
};

struct SCerealNod {
    u32 Value = 0;
    std::u16string Name;
    f32 Real = 0;
    std::vector<std::shared_ptr<SCerealNod>> Links;
    std::shared_ptr<SCerealFile> File;
    template <class Archive>
    void serialize(Archive& archive) {
        archive(Value, Name, Real, Links, File);
    }
};

// The bytes cereal writes, appended to a vector that keeps its storage from save to save.
class CCerealOut : public std::streambuf {
public:
    std::vector<char> m_Bytes;

protected:
    std::streamsize xsputn(const char* data, std::streamsize n) override {
        m_Bytes.insert(m_Bytes.end(), data, data + n);
        return n;
    }
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            m_Bytes.push_back(traits_type::to_char_type(c));
        return c;
    }
};

// The bytes cereal reads, from memory.
class CCerealIn : public std::streambuf {
public:
    void Reset(std::vector<char>& bytes) {
        setg(bytes.data(), bytes.data(), bytes.data() + bytes.size());
    }
};

std::u16string WideOf(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// The registry, a drive with the files, and the tree.
class CArchiveTree {
public:
    explicit CArchiveTree(u32 count) {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_ArchiveTestClassList);
        CMwClassRegistry::Init();
        m_Drive.m_Root = u"Z:";
        auto* data = new CSystemFidsFolder;
        data->m_DirName = u"Data";
        m_Drive.AddTree(data);
        m_Own = new CSystemFidFile;
        m_Own->m_FileName = u"Main.Thing.Zun";
        m_Drive.AddLeaf(m_Own);
        for (u32 i = 0; i < 2 * kFiles; ++i) {
            auto* fid = new CSystemFidFile;
            fid->m_FileName = CClassicWideString(CClassicStringRef(
                (std::string(i < kFiles ? "Used" : "Bound") + std::to_string(i) + ".Thing.Zun")
                    .c_str()));
            data->AddLeaf(fid);
            m_Fids.push_back(fid);
        }
        m_Main.Set(new CArchiveTestNod);
        auto* main = static_cast<CArchiveTestNod*>(m_Main.Get());
        // Node indices: the nods in order from 1, then the files named, then the bound nods.
        std::vector<CArchiveTestNod*> nods;
        u32 nextIndex = count + 1;
        u32 fileIndex[kFiles];
        for (u32& index : fileIndex)
            index = 0xFFFFFFFF;
        for (u32 i = 0; i < count; ++i) {
            auto* nod = new CArchiveTestNod;
            nod->m_Value = i;
            nod->m_Name =
                CClassicWideString(CClassicStringRef(("nod " + std::to_string(i)).c_str()));
            nod->m_Real = f32(i) * 0.25f;
            main->Link(nod);
            SNodValues values{nod->m_Value, {}, nod->m_Real, 0xFFFFFFFF, 0xFFFFFFFF};
            if (i > 0) {
                nod->Link(nods[i / 2]);
                values.LinkIndex = i / 2 + 1;
            }
            if (i % 16 == 0) {
                const u32 file = (i / 16) % kFiles;
                nod->m_File = m_Fids[file];
                if (fileIndex[file] == 0xFFFFFFFF)
                    fileIndex[file] = nextIndex++;
                values.FileIndex = fileIndex[file];
            }
            nods.push_back(nod);
            m_Values.push_back(std::move(values));
        }
        // The floor's names are copied once the tree is whole, so that they lie in order in one
        // stretch of memory as an array of values does. Copied while building, they lay among the
        // tree's allocations, and reading them made the floor's time per value double from 10 000
        // to 100 000 nods.
        for (u32 i = 0; i < count; ++i)
            m_Values[i].Name = nods[i]->m_Name;
        for (u32 i = 0; i < kFiles; ++i) {
            m_Bound.emplace_back(new CArchiveTestNod);
            CSystemEngine::AttachNodToFid(m_Bound.back().Get(), m_Fids[kFiles + i]);
            main->Link(m_Bound.back().Get());
            m_BoundIndex.push_back(nextIndex++);
        }
        MakeCerealTree(count);
    }
    ~CArchiveTree() {
        m_Main.Set(nullptr);
        for (CMwNodRef& bound : m_Bound)
            CSystemEngine::DetachNodFromFid(bound.Get());
        m_Bound.clear();
        m_Drive.Clear();
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }
    CArchiveTree(const CArchiveTree&) = delete;
    CArchiveTree& operator=(const CArchiveTree&) = delete;

    CMwNod* Main() const { return m_Main.Get(); }
    const SCerealNod& CerealMain() const { return m_CerealMain; }
    CSystemFid* Own() const { return m_Own; }

    // The floor's writing: the body's values in its order, through the value archive.
    void WriteValues(CClassicArchive& archive) const {
        WriteHead(archive, 0, u32(m_Values.size() + kFiles));
        for (u32 i = 0; i < m_Values.size(); ++i) {
            const SNodValues& nod = m_Values[i];
            u32 head[2] = {i + 1, CArchiveTestNod::s_ClassId};
            archive.WriteUInts(&head[0], 1);
            archive.WriteUIntsHex(&head[1], 1);
            WriteHead(archive, i, nod.LinkIndex == 0xFFFFFFFF ? 0 : 1);
            if (nod.LinkIndex != 0xFFFFFFFF)
                archive.WriteUInts(&nod.LinkIndex, 1);
            WriteTail(archive, nod.FileIndex);
        }
        archive.WriteUInts(m_BoundIndex.data(), kFiles);
        WriteTail(archive, 0xFFFFFFFF);
    }
    // The floor's reading: the same values read back in the same order.
    u32 ReadValues(CClassicArchive& archive) const {
        u32 sum = ReadHead(archive);
        for (u32 i = 0; i < m_Values.size(); ++i) {
            u32 head[2];
            archive.ReadUInts(&head[0], 1);
            archive.ReadUIntsHex(&head[1], 1);
            const u32 links = ReadHead(archive);
            if (links) {
                u32 link;
                archive.ReadUInts(&link, 1);
                sum += link;
            }
            sum += ReadTail(archive);
        }
        u32 bound[kFiles];
        archive.ReadUInts(bound, kFiles);
        return sum + ReadTail(archive) + bound[0];
    }

private:
    // The same graph for cereal, made once the tree is whole, so that its nods lie apart from the
    // tree's.
    void MakeCerealTree(u32 count) {
        std::vector<std::shared_ptr<SCerealFile>> files;
        for (u32 i = 0; i < 2 * kFiles; ++i)
            files.push_back(std::make_shared<SCerealFile>(SCerealFile{
                WideOf((i < kFiles ? "Used" : "Bound") + std::to_string(i) + ".Thing.Zun")}));
        std::vector<std::shared_ptr<SCerealNod>>& nods = m_CerealMain.Links;
        for (u32 i = 0; i < count; ++i) {
            auto nod = std::make_shared<SCerealNod>();
            nod->Value = i;
            nod->Name = WideOf("nod " + std::to_string(i));
            nod->Real = f32(i) * 0.25f;
            if (i > 0)
                nod->Links.push_back(nods[i / 2]);
            if (i % 16 == 0)
                nod->File = files[(i / 16) % kFiles];
            nods.push_back(std::move(nod));
        }
        for (u32 i = 0; i < kFiles; ++i) {
            auto bound = std::make_shared<SCerealNod>();
            bound->File = files[kFiles + i];
            nods.push_back(std::move(bound));
        }
    }

    // The value chunk and the head of the links chunk of a test nod (index i's values; the main
    // nod writes those of nod 0).
    void WriteHead(CClassicArchive& archive, u32 i, u32 links) const {
        const SNodValues& nod = m_Values[i];
        u32 id = CArchiveTestNod::s_ValueChunk;
        archive.WriteUIntsHex(&id, 1);
        archive.WriteUInts(&nod.Value, 1);
        archive.WriteWideStrings(&nod.Name, 1);
        archive.WriteFloats(&nod.Real, 1);
        u32 chunk[4] = {CArchiveTestNod::s_LinksChunk, CMwNod::s_SkipTag, 4 + 4 * links, links};
        archive.WriteUIntsHex(&chunk[0], 1);
        archive.WriteUInts(&chunk[1], 3);
    }
    void WriteTail(CClassicArchive& archive, u32 fileIndex) const {
        u32 id = CArchiveTestNod::s_FileChunk, end = CMwNod::s_UnknownChunk;
        archive.WriteUIntsHex(&id, 1);
        archive.WriteUInts(&fileIndex, 1);
        archive.WriteUIntsHex(&end, 1);
    }
    u32 ReadHead(CClassicArchive& archive) const {
        u32 id, value;
        f32 real;
        archive.ReadUIntsHex(&id, 1);
        archive.ReadUInts(&value, 1);
        archive.ReadWideStrings(&m_Scratch, 1);
        archive.ReadFloats(&real, 1);
        u32 chunk[4];
        archive.ReadUIntsHex(&chunk[0], 1);
        archive.ReadUInts(&chunk[1], 3);
        return chunk[3];
    }
    u32 ReadTail(CClassicArchive& archive) const {
        u32 id, fileIndex, end;
        archive.ReadUIntsHex(&id, 1);
        archive.ReadUInts(&fileIndex, 1);
        archive.ReadUIntsHex(&end, 1);
        return fileIndex;
    }

    CSystemFidsDrive m_Drive;
    CSystemFidFile* m_Own = nullptr;
    std::vector<CSystemFid*> m_Fids;
    std::vector<CMwNodRef> m_Bound;
    std::vector<u32> m_BoundIndex;
    CMwNodRef m_Main;
    std::vector<SNodValues> m_Values;
    mutable CClassicWideString m_Scratch;
    SCerealNod m_CerealMain;
};

class CLzo {
public:
    CLzo() : m_Work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1) { lzo_init(); }
    // Compresses the bytes into the block (the sizes first, as a block holds them).
    void Compress(const u8* data, u32 size, std::vector<u8>& block) {
        block.resize(8 + size + size / 16 + 67);
        lzo_uint packed = 0;
        lzo1x_1_compress(data, size, block.data() + 8, &packed, m_Work.data());
        block.resize(8 + packed);
    }
    void Decompress(const std::vector<u8>& block, u8* out, u32 size) {
        lzo_uint got = size;
        if (lzo1x_decompress_safe(block.data() + 8, block.size() - 8, out, &got, nullptr) !=
                LZO_E_OK ||
            got != size)
            throw std::runtime_error("LZO block does not decompress");
    }

private:
    std::vector<lzo_align_t> m_Work;
};

u32 SaveFlags(bool compressed) {
    return kSystemArchiveSaveRelease | (compressed ? kSystemArchiveSaveCompressed : 0);
}

void SaveArchive(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    const bool compressed = state.range(1) != 0;
    CArchiveTree tree(count);
    CClassicBufferMemory out;
    CClassicArchive peer;
    auto* peerStream = new CClassicBufferMemory;
    peer.SetBuffer(peerStream);
    peer.m_Writing = 1;
    CLzo lzo;
    std::vector<u8> block;
    CCerealOut cerealOut;
    const auto save = [&] {
        out.Clear();
        CSystemArchive archive;
        archive.SetCurrentFid(tree.Own());
        archive.SetSaveFlags(SaveFlags(compressed));
        if (!archive.Save(tree.Main(), &out))
            state.SkipWithError("save failed");
    };
    const auto floor = [&] {
        peerStream->Clear();
        tree.WriteValues(peer);
        if (compressed)
            lzo.Compress(peerStream->GetData(), peerStream->GetSize(), block);
    };
    if (compressed) {
        bench::Interleave(state, save, floor);
    } else {
        bench::InterleaveWithSecondPeer(state, "cereal", bench::NoSetup{}, save, bench::NoSetup{},
                                        floor, bench::NoSetup{}, [&] {
                                            cerealOut.m_Bytes.clear();
                                            std::ostream stream(&cerealOut);
                                            cereal::BinaryOutputArchive archive(stream);
                                            archive(tree.CerealMain());
                                        });
        state.counters["cereal_bytes"] = double(cerealOut.m_Bytes.size());
    }
    state.counters["bytes"] = out.GetSize();
    state.counters["peer_bytes"] = compressed ? block.size() : peerStream->GetSize();
}

void LoadArchive(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    const bool compressed = state.range(1) != 0;
    CArchiveTree tree(count);
    CClassicBufferMemory image;
    {
        CSystemArchive archive;
        archive.SetCurrentFid(tree.Own());
        archive.SetSaveFlags(SaveFlags(compressed));
        archive.Save(tree.Main(), &image);
    }
    CClassicArchive peer;
    auto* peerStream = new CClassicBufferMemory;
    peer.SetBuffer(peerStream);
    {
        CClassicArchive writer;
        writer.SetBuffer(peerStream);
        writer.m_Writing = 1;
        tree.WriteValues(writer);
        writer.DetachBuffer(false);
    }
    CLzo lzo;
    std::vector<u8> block;
    lzo.Compress(peerStream->GetData(), peerStream->GetSize(), block);
    u32 loadedLinks = 0, sum = 0;
    // The tree loaded last goes before the next load, untimed: destroying it is not loading.
    CMwNodRef loaded;
    const auto load = [&] {
        image.Rewind();
        CSystemArchive archive;
        archive.SetCurrentFid(tree.Own());
        CMwNod* nod = nullptr;
        if (!archive.Load(&image, &nod))
            return;
        loaded.Set(nod);
        loadedLinks = u32(static_cast<CArchiveTestNod*>(nod)->m_Links.size());
    };
    const auto floor = [&] {
        if (compressed)
            lzo.Decompress(block, peerStream->GetData(), peerStream->GetSize());
        peerStream->Rewind();
        sum += tree.ReadValues(peer);
    };
    if (compressed) {
        bench::InterleaveWithSetup(
            state, [&] { loaded.Set(nullptr); }, load, bench::NoSetup{}, floor);
    } else {
        CCerealOut cerealImage;
        {
            std::ostream stream(&cerealImage);
            cereal::BinaryOutputArchive archive(stream);
            archive(tree.CerealMain());
        }
        CCerealIn cerealIn;
        SCerealNod cerealLoaded;
        bench::InterleaveWithSecondPeer(
            state, "cereal", [&] { loaded.Set(nullptr); }, load, bench::NoSetup{}, floor,
            [&] { cerealLoaded = SCerealNod{}; },
            [&] {
                cerealIn.Reset(cerealImage.m_Bytes);
                std::istream stream(&cerealIn);
                cereal::BinaryInputArchive archive(stream);
                archive(cerealLoaded);
            });
        if (cerealLoaded.Links.size() != count + kFiles ||
            (count > 2 && cerealLoaded.Links[2]->Links[0] != cerealLoaded.Links[1]))
            state.SkipWithError("cereal's load lacks links");
    }
    if (loadedLinks != count + kFiles)
        state.SkipWithError("the load failed or the loaded tree lacks links");
    benchmark::DoNotOptimize(sum);
}

// What loading makes, made directly: the nods of the loaded tree with their values, names
// (from their stored UTF-8 form), links and file ids, against the floor's reading. The share of
// loading that no archive can take out.
void MakeTree(benchmark::State& state) {
    const u32 count = u32(state.range(0));
    CArchiveTree tree(count);
    std::vector<CClassicString> names;
    std::vector<CSystemFid*> files;
    for (u32 i = 0; i < count; ++i) {
        const auto* nod = static_cast<const CArchiveTestNod*>(
            static_cast<CArchiveTestNod*>(tree.Main())->m_Links[i].Get());
        names.push_back(nod->m_Name.GetNarrow());
        files.push_back(nod->m_File);
    }
    const auto* main = static_cast<const CArchiveTestNod*>(tree.Main());
    CClassicArchive peer;
    auto* peerStream = new CClassicBufferMemory;
    peer.SetBuffer(peerStream);
    {
        CClassicArchive writer;
        writer.SetBuffer(peerStream);
        writer.m_Writing = 1;
        tree.WriteValues(writer);
        writer.DetachBuffer(false);
    }
    u32 sum = 0;
    CMwNodRef made;
    std::vector<CArchiveTestNod*> nods;
    bench::InterleaveWithSetup(
        state, [&] { made.Set(nullptr); },
        [&] {
            auto* root = new CArchiveTestNod;
            made.Set(root);
            root->m_Links.reserve(count + kFiles);
            nods.clear();
            for (u32 i = 0; i < count; ++i) {
                auto* nod = new CArchiveTestNod;
                nod->m_Value = i;
                nod->m_Name.AssignFromNarrow(names[i]);
                nod->m_Real = f32(i) * 0.25f;
                root->m_Links.emplace_back(nod);
                if (i > 0) {
                    nod->m_Links.reserve(1);
                    nod->m_Links.emplace_back(nods[i / 2]);
                }
                nod->m_File = files[i];
                nods.push_back(nod);
            }
            for (u32 i = 0; i < kFiles; ++i)
                root->m_Links.push_back(main->m_Links[count + i]);
        },
        bench::NoSetup{},
        [&] {
            peerStream->Rewind();
            sum += tree.ReadValues(peer);
        });
    benchmark::DoNotOptimize(sum);
}

// Plain bodies from 1 000 to 1 000 000 nods (time per nod: flat when the work grows linearly),
// and the LZO body at two sizes. A million nods take a good part of a second per side: at least
// 8 s of rounds give a median over a few turns.
void ArchiveSizes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"nods", "lzo"});
    for (const i64 count : {1000, 10000, 100000})
        bench->Args({count, 0});
    for (const i64 count : {10000, 100000})
        bench->Args({count, 1});
    bench->Unit(benchmark::kMillisecond);
}

void MillionNods(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"nods", "lzo"})->Args({1000000, 0})->MinTime(8)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(SaveArchive)->Apply(ArchiveSizes);
BENCHMARK(SaveArchive)->Apply(MillionNods);
BENCHMARK(LoadArchive)->Apply(ArchiveSizes);
BENCHMARK(LoadArchive)->Apply(MillionNods);
BENCHMARK(MakeTree)->ArgNames({"nods"})->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
