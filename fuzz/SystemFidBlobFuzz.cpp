// Fuzzes the reading of a file id's header-chunk blob, as an archive header stores it.
//
// The first byte chooses the encoding (bit 0: text) and whether the stream can tell its size
// (bit 1: a stream that cannot seek). Reading must end with the blob absent, dropped or present,
// or with a stream exception, never in a fault or an allocation past the written limit (or past
// the bytes a stream that knows its size holds); a present blob must describe chunks that lie
// inside it, and must write back to the bytes read.
#include "FuzzCheck.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/fid/SystemFid.h"

#include <cstdlib>
#include <cstring>

namespace {

// A memory stream that hides its size, as a pipe would.
class CForwardStream : public CClassicBufferMemory {
public:
    bool CanSeek() const override { return false; }
};

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
    CClassicBufferMemory* stream = (mode & 2) ? new CForwardStream : new CClassicBufferMemory;
    stream->Write(data + 1, u32(size - 1));
    stream->Rewind();
    CClassicArchive reader;
    reader.SetBuffer(stream);
    reader.m_Text = mode & 1;

    CSystemFid fid;
    u32 consumed = 0;
    try {
        fid.ArchiveHeaderBlob(reader);
        consumed = stream->GetPosition();
    } catch (const CClassicBufferException&) {
        FUZZ_CHECK(fid.GetHeaderBlobState() == kSystemFidBlobUnread);
        return 0;
    }
    if (fid.GetHeaderBlobState() != kSystemFidBlobPresent) {
        FUZZ_CHECK(fid.GetHeaderChunkCount() == 0);
        return 0;
    }

    // Every chunk lies inside the blob, one after the other.
    const u32 count = fid.GetHeaderChunkCount();
    FUZZ_CHECK(count > 0);
    u64 end = u64(4) + u64(8) * count;
    for (u32 i = 0; i < count; ++i) {
        FUZZ_CHECK(fid.GetHeaderChunkData(i) ==
                   fid.GetHeaderChunkData(0) + (end - 4 - 8 * u64(count)));
        end += fid.GetHeaderChunkSize(i);
    }
    FUZZ_CHECK(end <= kSystemFidMaxHeaderBlobSize);

    // Written back in binary, the blob is the bytes read (its size line aside in text).
    CClassicArchive writer;
    auto* out = new CClassicBufferMemory;
    writer.SetBuffer(out);
    writer.m_Writing = 1;
    fid.ArchiveHeaderBlob(writer);
    FUZZ_CHECK(out->GetSize() == 4 + end);
    FUZZ_CHECK(std::memcmp(out->GetData() + 4, data + 1 + consumed - end, size_t(end)) == 0);
    return 0;
}
