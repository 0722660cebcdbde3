// Frames of network forms written by CNetNod::Write against plain code writing the same bytes,
// in alternating rounds (see BenchPair.h): the ratio is the cost of the form's body archive, the
// frame header and, for compressed bodies, the scratch copy. Each pair is checked to write the
// same bytes before it is timed.
#include "BenchData.h"
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicMd5.h"
#include "net/message/NetNod.h"
#include "platform/Endian.h"

#include <cstring>
#include <lzo/lzo1x.h>
#include <vector>

namespace {

constexpr u8 kIndex = 0x2A;

// A form whose body is a block of bytes.
class CBenchForm : public CNetNod {
    MW_DECLARE_CLASS(CBenchForm, CNetNod, 0x120F3000)
public:
    u32 NeedsQueue() override { return 1; }
    u32 IsCompressed() override { return m_Compressed; }
    u32 Archive(CClassicArchive& archive) override {
        archive.WriteRaw(m_Body.data(), u32(m_Body.size()));
        return 0;
    }

    std::vector<u8> m_Body;
    u32 m_Compressed = 0;
};

} // namespace

MW_DEFINE_CLASS(CBenchForm, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

// Words of a small vocabulary in a pseudo-random order, as chat lines and names would be.
std::vector<u8> TextBody(u32 size) {
    static const char* const kWords[] = {"player", "track",  "lap",   "time",  "checkpoint",
                                         "boost",  "record", "ghost", "speed", "respawn",
                                         "finish", "start",  "the",   "a",     "of",
                                         "to",     "and",    "12.5",  "0:47",  "server"};
    std::vector<u8> body;
    u32 x = 777;
    while (body.size() < size) {
        x = x * 1103515245 + 12345;
        const char* word = kWords[(x >> 16) % 20];
        body.insert(body.end(), word, word + std::strlen(word));
        body.push_back((x >> 8) % 9 == 0 ? '\n' : ' ');
    }
    body.resize(size);
    return body;
}

// The form, its one-record table and the stream its frames go to.
struct CBench {
    CBench(std::vector<u8> body, u32 checksum, u32 compressed) {
        m_Form.m_Body = std::move(body);
        m_Form.m_Compressed = compressed;
        m_Record.m_ClassId = CBenchForm::s_ClassId;
        m_Record.m_ClassIndex = kIndex;
        m_Record.m_Checksum = checksum;
        m_Settings.m_FramingMode = CNetLinkSettings::s_FramingCompact;
        m_Settings.m_Classes = &m_Record;
        m_Settings.m_ClassCount = 1;
    }
    void Write() {
        m_Stream.Clear();
        u32 counter = 0;
        m_Form.Write(m_Stream, m_Settings, counter);
    }
    // The frames written against the peer's operation, in alternating rounds.
    template <class Peer>
    void Pair(benchmark::State& state, Peer peer) {
        bench::Interleave(
            state,
            [&] {
                Write();
                benchmark::DoNotOptimize(m_Stream.GetData());
            },
            peer);
    }

    CBenchForm m_Form;
    CNetClassLink m_Record;
    CNetLinkSettings m_Settings;
    CClassicBufferMemory m_Stream;
};

// The peer of the uncompressed frames: the header and the body copied into a buffer made ready
// once, then, with a checksum, one direct ClassicHmacMd5 call over the frame, its digest folded.
struct CPlainFrame {
    explicit CPlainFrame(const std::vector<u8>& body, bool checksum)
        : m_Body(body), m_Checksum(checksum), m_Out(body.size() + 6) {
        NetGetFrameKey(m_Request.key);
    }
    u32 Write() {
        u8* out = m_Out.data();
        out[0] = u8(0x80 | (m_Checksum ? 0x02 : 0));
        out[1] = kIndex;
        u32 at = 2;
        if (m_Checksum) {
            platform::StoreU32Le(out + at, 0);
            at += 4;
        }
        std::memcpy(out + at, m_Body.data(), m_Body.size());
        const u32 size = at + u32(m_Body.size());
        if (m_Checksum) {
            m_Request.data = out;
            m_Request.length = size;
            ClassicHmacMd5(m_Request);
            const u8* digest = m_Request.digest;
            platform::StoreU32Le(
                out + 2, platform::LoadU32Le(digest) + platform::LoadU32Le(digest + 4) +
                             platform::LoadU32Le(digest + 8) + platform::LoadU32Le(m_Request.key));
        }
        return size;
    }

    const std::vector<u8>& m_Body;
    bool m_Checksum;
    std::vector<u8> m_Out;
    CClassicHmacMd5Request m_Request{};
};

bool Same(const CClassicBufferMemory& stream, const u8* bytes, u32 size) {
    return stream.GetSize() == size && std::memcmp(stream.GetData(), bytes, size) == 0;
}

void Plain(benchmark::State& state, bool checksum) {
    CBench bench(bench::RandomBytes(u32(state.range(0))), checksum, 0);
    CPlainFrame peer(bench.m_Form.m_Body, checksum);
    bench.Write();
    if (!Same(bench.m_Stream, peer.m_Out.data(), peer.Write())) {
        state.SkipWithError("the frames differ");
        return;
    }
    bench.Pair(state, [&] { benchmark::DoNotOptimize(peer.Write()); });
}

void Uncompressed(benchmark::State& state) {
    Plain(state, false);
}
BENCHMARK(Uncompressed)->Arg(16)->Arg(512);

void Checksum(benchmark::State& state) {
    Plain(state, true);
}
BENCHMARK(Checksum)->Arg(512)->Arg(4096);

// Compressed bodies against the compressor alone on the body.
void Compressed(benchmark::State& state) {
    const u32 size = u32(state.range(0));
    CBench bench(state.range(1) ? TextBody(size) : bench::RandomBytes(size), 0, 1);
    lzo_init();
    std::vector<u8> packed(size + size / 16 + 67);
    std::vector<lzo_align_t> work(LZO1X_1_MEM_COMPRESS / sizeof(lzo_align_t) + 1);
    const std::vector<u8>& body = bench.m_Form.m_Body;
    auto compress = [&] {
        lzo_uint length = 0;
        lzo1x_1_compress(body.data(), body.size(), packed.data(), &length, work.data());
        return u32(length);
    };
    bench.Write();
    const u32 length = compress();
    if (bench.m_Stream.GetSize() != 6 + length ||
        std::memcmp(bench.m_Stream.GetData() + 6, packed.data(), length) != 0) {
        state.SkipWithError("the compressed bytes differ");
        return;
    }
    bench.Pair(state, [&] { benchmark::DoNotOptimize(compress()); });
    state.SetLabel(state.range(1) ? "text" : "random");
}
BENCHMARK(Compressed)->ArgsProduct({{4096, 65536}, {1, 0}});

} // namespace
