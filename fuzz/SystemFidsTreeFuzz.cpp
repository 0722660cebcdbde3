// Fuzzes the readers of the folder tree's archived forms: the folder records of an archive's
// reference table, and the fid cache's chunk.
//
// The first byte chooses the encoding (bit 0: text), whether the stream can tell its size (bit 1:
// a stream that cannot seek) and the reader (bit 2: the fid cache's chunk). Reading must end with
// a tree or lists, or with a stream exception, never in a fault or an allocation past the written
// limits. A tree read holds only folders with names of their own, no deeper than the limit, and
// what was read writes and reads back to the same bytes.
#include "FuzzCheck.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// A memory stream that hides its size, as a pipe would.
class CForwardStream : public CClassicBufferMemory {
public:
    bool CanSeek() const override { return false; }
};

void CheckTree(CSystemFids& folder, u32 depth) {
    FUZZ_CHECK(depth <= kSystemFidsMaxArchivedDepth);
    for (u32 i = 0; i < folder.m_Trees.m_Count; ++i) {
        CSystemFids* sub = folder.m_Trees.m_Items[i];
        FUZZ_CHECK(sub->m_Parent == &folder);
        const CClassicWideString* name = sub->GetDirNameRef();
        FUZZ_CHECK(name != nullptr);
        const std::u16string_view text(name->GetText(), name->GetLength());
        FUZZ_CHECK(!text.empty() && text != u"." && text != u"..");
        FUZZ_CHECK(text.find_first_of(std::u16string_view(u"\\/:\0", 4)) ==
                   std::u16string_view::npos);
        CheckTree(*sub, depth + 1);
    }
}

std::string Write(CSystemFids& root, CSystemFidCache* cache, bool text) {
    CClassicArchive writer;
    auto* out = new CClassicBufferMemory;
    writer.SetBuffer(out);
    writer.m_Writing = 1;
    writer.m_Text = text;
    if (cache)
        cache->ArchiveChunk(writer, CSystemFidCache::s_ChunkId);
    else
        root.ArchiveTree(writer);
    return std::string(reinterpret_cast<const char*>(out->GetData()), out->GetSize());
}

void Read(CSystemFids& root, CSystemFidCache* cache, CClassicBuffer* stream, bool text) {
    CClassicArchive reader;
    reader.SetBuffer(stream);
    reader.m_Text = text;
    if (cache)
        cache->ArchiveChunk(reader, CSystemFidCache::s_ChunkId);
    else
        root.ArchiveTree(reader);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 22))
        return 0;
    const u8 mode = data[0];
    const bool text = mode & 1;
    CClassicBufferMemory* stream = (mode & 2) ? new CForwardStream : new CClassicBufferMemory;
    stream->Write(data + 1, u32(size - 1));
    stream->Rewind();

    CSystemFids root;
    CSystemFidCache cache;
    CSystemFidCache* chunk = (mode & 4) ? &cache : nullptr;
    try {
        Read(root, chunk, stream, text);
    } catch (const CClassicBufferException&) {
        root.Clear();
        return 0;
    }
    if (chunk) {
        FUZZ_CHECK(cache.m_First.m_Count <= CSystemFidCache::s_MaxRecords);
        FUZZ_CHECK(cache.m_Second.m_Count <= CSystemFidCache::s_MaxRecords);
    } else {
        CheckTree(root, 0);
    }

    // What was read writes the same bytes once read back.
    const std::string written = Write(root, chunk, text);
    CSystemFids again;
    CSystemFidCache cacheAgain;
    auto* copy = new CClassicBufferMemory;
    copy->Write(written.data(), u32(written.size()));
    copy->Rewind();
    Read(again, chunk ? &cacheAgain : nullptr, copy, text);
    FUZZ_CHECK(Write(again, chunk ? &cacheAgain : nullptr, text) == written);
    root.Clear();
    again.Clear();
    return 0;
}
