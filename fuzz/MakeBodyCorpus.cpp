// Writes the seed corpora of MwNodArchiveFuzz and MwChainedBodyFuzz from real encodings: bodies
// of CFuzzNod written by the chunk loop (and, for bodies holding chunks CFuzzNod does not know,
// by a class derived from it), each behind the mode byte its target reads, the chained ones
// framed as an LZO block in an enciphered stream.
//
//   MakeBodyCorpus <corpus folder>     (the folder that holds one folder per target)
#include "CorpusFolder.h"
#include "FuzzNod.h"
#include "core/base/ClassicBufferCipher.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "platform/Crt.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

// A later version of CFuzzNod: one chunk stored skippable and, when asked, one stored plain,
// neither known to CFuzzNod (which skips the first and stops at the second).
class CFuzzNodLater : public CFuzzNod {
    MW_DECLARE_CLASS(CFuzzNodLater, CFuzzNod, 0x01F21000)
public:
    static constexpr u32 s_NoteChunk = 0x01F21000;
    static constexpr u32 s_ExtraChunk = 0x01F21001;

    explicit CFuzzNodLater(bool writesExtra) : m_WritesExtra(writesExtra) {}
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        switch (chunkId) {
            case s_NoteChunk:
                archive.SerializeStrings(&m_Note, 1);
                break;
            case s_ExtraChunk:
                archive.SerializeUInts(&m_Extra, 1);
                break;
            default:
                Super::ArchiveChunk(archive, chunkId);
        }
    }
    // The extra chunk is listed with flags 1 (known, not written) unless this nod writes it.
    u32 GetChunkInfo(u32 chunkId) override {
        const u32 flags = Super::GetChunkInfo(chunkId);
        return chunkId == s_ExtraChunk && m_WritesExtra ? flags | 2 : flags;
    }

    CClassicString m_Note = "added later";
    u32 m_Extra = 42;
    bool m_WritesExtra;
};

#define CFUZZNODLATER_CHUNKS(X) X(0x01F21000, 0x13) X(0x01F21001, 1)
MW_DEFINE_CLASS(CFuzzNodLater, nullptr, MW_NO_MEMBERS, CFUZZNODLATER_CHUNKS);

struct Seed {
    const char* name;
    u32 levels;
    bool later;        // nods of the later class from this level on
    u32 laterFrom;     // the first level of the later class
    bool writeExtra;   // the later nods write their plain chunk too
    u32 textBytes = 0; // each level's text is words of about that length (0: a short text)
};

// Words drawn by the engine's generator, about `bytes` long: a body as long as real ones.
CClassicString Words(u32 bytes) {
    static const char* const kWords[] = {"display", "mode",  "quality", "shadow", "water",
                                         "texture", "sound", "server",  "replay", "track"};
    CClassicString text;
    while (text.GetLength() < bytes) {
        text.Append(kWords[platform::Random15() % 10]);
        text.Append(platform::Random15() % 8 ? " " : "\r\n");
    }
    return text;
}

CFuzzNod* NewLevel(const Seed& seed, u32 level) {
    if (seed.later && level >= seed.laterFrom)
        return new CFuzzNodLater(seed.writeExtra);
    return new CFuzzNod;
}

CFuzzNod* Make(const Seed& seed) {
    CFuzzNod* root = NewLevel(seed, 0);
    CFuzzNod* level = root;
    for (u32 i = 0; i < seed.levels; ++i) {
        level->m_Value = 1000 + i;
        if (seed.textBytes)
            level->m_Text = Words(seed.textBytes);
        else
            level->m_Text.Assign(i % 2 ? "line|with\r\nbreak" : "plain");
        level->m_Real = -2.5f * f32(i + 1);
        level->m_Wide.Assign(i % 2 ? u"\u00e9t\u00e9" : u"ascii");
        if (i + 1 < seed.levels)
            level = level->m_Child = NewLevel(seed, i + 1);
    }
    return root;
}

bool Save(const std::filesystem::path& path, u8 mode, const CClassicBufferMemory& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.put(char(mode));
    out.write(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetSize());
    return bool(out);
}

// The body behind an LZO block in an enciphered stream.
std::unique_ptr<CClassicBufferMemory> Chained(const CClassicBufferMemory& body,
                                              const char* password) {
    auto stored = std::make_unique<CClassicBufferMemory>();
    CClassicBufferCipher cipher;
    if (!cipher.Open(stored.get(), true, 0, password) || !cipher.WriteLzoBlock(body))
        return nullptr;
    return stored;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path root = CorpusFolderArgument(argc, argv);
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::Init();
    platform::RandomSetState(1);

    const std::filesystem::path bodies = root / "MwNodArchiveFuzz";
    const std::filesystem::path chained = root / "MwChainedBodyFuzz";
    std::filesystem::create_directories(bodies);
    std::filesystem::create_directories(chained);

    const Seed seeds[] = {
        {"one", 1, false, 0, false},
        {"nested", 4, false, 0, false},
        {"unknown-skippable", 3, true, 0, false},
        {"unknown-plain", 1, true, 0, true},
        {"nested-unknown-plain", 3, true, 2, true},
        // One level past the nesting an archive accepts.
        {"too-deep", kClassicArchiveMaxBodyDepth + 1, false, 0, false},
        // Texts that make the body as long as a real file's.
        {"long-texts", 3, false, 0, false, 18000},
    };
    bool ok = true;
    for (const Seed& seed : seeds) {
        std::unique_ptr<CFuzzNod> nod(Make(seed));
        for (u8 mode : {0, 1, 4, 5}) {
            const bool text = mode & 1, release = mode & 4;
            // Long seeds once per encoding.
            if (release && seed.levels > 8)
                continue;
            std::unique_ptr<CClassicBufferMemory> body(WriteFuzzBody(*nod, text, release));
            const std::string name =
                std::string(text ? "text-" : "binary-") + seed.name + (release ? "-release" : "");
            ok = ok && Save(bodies / name, mode, *body);
            // The chained road, with the default password and with one of its own.
            const u8 chainedMode = u8(mode | (seed.levels % 2 ? 2 : 0));
            std::unique_ptr<CClassicBufferMemory> stored(
                Chained(*body, chainedMode & 2 ? "fuzz" : nullptr));
            ok = ok && stored && Save(chained / name, chainedMode, *stored);
        }
    }
    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    if (!ok) {
        std::fprintf(stderr, "could not write the corpus\n");
        return 1;
    }
    return 0;
}
