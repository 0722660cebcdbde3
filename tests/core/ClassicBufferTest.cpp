#include "core/base/ClassicBuffer.h"

#include "core/base/ClassicLog.h"
#include "platform/Endian.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<u8>;

Bytes Content(const CClassicBufferMemory& buffer) {
    return Bytes(buffer.GetData(), buffer.GetData() + buffer.GetSize());
}

void WriteBytes(CClassicBuffer& stream, const Bytes& bytes) {
    ASSERT_EQ(stream.Write(bytes.data(), u32(bytes.size())), bytes.size());
}

// Test data with the texture of real files: runs of repeated bytes, repeated phrases and noise.
Bytes MakeData(u32 size, u32 seed) {
    std::mt19937 random(seed);
    Bytes data;
    data.reserve(size);
    while (data.size() < size) {
        switch (random() % 3) {
            case 0:
                data.insert(data.end(), random() % 300, u8(random()));
                break;
            case 1:
                for (const char* p = "CSystemConfig\r\nDisplay = 1024x768\r\n"; *p; ++p)
                    data.push_back(u8(*p));
                break;
            default:
                for (u32 n = random() % 200; n > 0; --n)
                    data.push_back(u8(random()));
        }
    }
    data.resize(size);
    return data;
}

// Collects what the global log receives while it lives.
class LogCapture {
public:
    LogCapture() : m_Start(Text().GetLength()) {}
    std::string NewText() const {
        return std::string(Text().GetText() + m_Start, Text().GetLength() - m_Start);
    }

private:
    static const CClassicString& Text() {
        return g_ClassicLog.GetMemoryStream(0).GetBuffer().GetText();
    }
    u32 m_Start;
};

// A non-seekable stream that delivers at most `limit` bytes in all, like a non-strict file
// stream at the end of a damaged file.
class ShortStream : public CClassicBuffer {
public:
    ShortStream(Bytes bytes, u32 limit) : m_Bytes(std::move(bytes)), m_Limit(limit) {}
    u32 Read(void* data, u32 n) override {
        const u32 left = std::min<u32>(m_Limit, u32(m_Bytes.size())) - m_Position;
        n = std::min(n, left);
        std::memcpy(data, m_Bytes.data() + m_Position, n);
        m_Position += n;
        return n;
    }
    u32 Write(const void*, u32) override { return 0; }
    bool Close() override { return true; }
    u32 GetPosition() const override { return m_Position; }
    u32 GetSize() const override { return u32(m_Bytes.size()); }

private:
    Bytes m_Bytes;
    u32 m_Limit;
    u32 m_Position = 0;
};

Bytes LzoBlock(const Bytes& data) {
    CClassicBufferMemory source, block;
    WriteBytes(source, data);
    EXPECT_TRUE(block.WriteLzoBlock(source));
    return Content(block);
}

// ---- Memory stream ----

TEST(ClassicBufferMemory, StrictReadEitherDeliversEverythingOrThrowsAndReadsNothing) {
    struct Case {
        u32 position;
        u32 n;
        bool throws;
    };
    const Case cases[] = {
        {0, 10, false},        // exactly everything
        {4, 6, false},         // exactly the rest
        {4, 7, true},          // one byte more
        {10, 0, false},        // nothing, at the end
        {11, 0, true},         // nothing, beyond the end
        {4, 0xFFFFFFFF, true}, // a count that would wrap around
        {0xFFFFFFFF, 2, true}, // a position that would wrap around
    };
    CClassicBufferMemory stream;
    const Bytes data = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    WriteBytes(stream, data);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position << " n " << c.n);
        stream.SetPosition(c.position);
        Bytes out(16, 0xEE);
        if (c.throws) {
            try {
                stream.Read(out.data(), c.n);
                ADD_FAILURE() << "no exception";
            } catch (const CClassicBufferException& e) {
                EXPECT_EQ(e.m_Code, 0);
                EXPECT_TRUE(e.m_Text.IsEmpty());
            }
            EXPECT_EQ(stream.GetPosition(), c.position);
            EXPECT_EQ(out, Bytes(16, 0xEE));
        } else {
            EXPECT_EQ(stream.Read(out.data(), c.n), c.n);
            EXPECT_EQ(stream.GetPosition(), c.position + c.n);
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + c.n, data.begin() + c.position));
        }
    }
}

// Reads and writes in place through the window leave the stream exactly as Read and Write do:
// the same script of operations on two streams, one through each road, compared after every
// step (writes that grow the capacity, overwrite, fill a gap left by seeking past the end, reads
// of exactly the rest and of one byte more, counts of 0).
TEST(ClassicBufferMemory, InlineReadsAndWritesMatchTheVirtualCalls) {
    std::mt19937 random(5);
    CClassicBufferMemory virtualRoad, inlineRoad;
    for (u32 step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const u32 n = random() % 3 == 0 ? 0 : random() % 24;
        const Bytes data = MakeData(n, step);
        switch (random() % 8) {
            case 0:
            case 1:
            case 2:
                EXPECT_EQ(virtualRoad.Write(data.data(), n), n);
                EXPECT_EQ(inlineRoad.WriteInline(data.data(), n), n);
                break;
            case 3:
            case 4:
            case 5: {
                // Often exactly the bytes left, or one more.
                const u32 left = virtualRoad.GetSize() -
                                 std::min(virtualRoad.GetPosition(), virtualRoad.GetSize());
                const u32 count = random() % 2 ? n : left + random() % 2;
                Bytes a(count + 1, 0xEE), b(count + 1, 0xEE);
                bool virtualThrew = false, inlineThrew = false;
                try {
                    EXPECT_EQ(virtualRoad.Read(a.data(), count), count);
                } catch (const CClassicBufferException&) {
                    virtualThrew = true;
                }
                try {
                    EXPECT_EQ(inlineRoad.ReadInline(b.data(), count), count);
                } catch (const CClassicBufferException&) {
                    inlineThrew = true;
                }
                EXPECT_EQ(virtualThrew, inlineThrew);
                EXPECT_EQ(a, b);
                break;
            }
            case 6: {
                const u32 position = random() % (virtualRoad.GetSize() + 8);
                virtualRoad.SetPosition(position);
                inlineRoad.SetPosition(position);
                break;
            }
            default:
                if (random() % 4 == 0) {
                    virtualRoad.Clear();
                    inlineRoad.Clear();
                }
        }
        ASSERT_EQ(Content(inlineRoad), Content(virtualRoad));
        ASSERT_EQ(inlineRoad.GetPosition(), virtualRoad.GetPosition());
        ASSERT_EQ(inlineRoad.GetCapacity(), virtualRoad.GetCapacity());
    }
}

TEST(ClassicBufferMemory, WritesGrowTheCapacityGeometrically) {
    CClassicBufferMemory stream;
    EXPECT_EQ(stream.GetCapacity(), 0u);
    const Bytes ten(10, 'x');
    for (u32 capacity : {11u, 22u, 44u}) {
        WriteBytes(stream, ten);
        EXPECT_EQ(stream.GetCapacity(), capacity);
    }
    EXPECT_EQ(stream.GetSize(), 30u);
    EXPECT_EQ(stream.GetPosition(), 30u);

    // After a reservation the step is the reserved capacity.
    CClassicBufferMemory reserved;
    reserved.Reserve(100);
    WriteBytes(reserved, Bytes(101, 'y'));
    EXPECT_EQ(reserved.GetCapacity(), 200u);
}

// Reserve(0) on a fresh stream used to leave a growth step of 0, which the next write divided
// by. An empty LZO block makes exactly that reservation on a pooled buffer.
TEST(ClassicBufferMemory, ReserveZeroThenWriteGrowsNormally) {
    CClassicBufferMemory stream;
    stream.Reserve(0);
    WriteBytes(stream, Bytes{1, 2, 3});
    EXPECT_EQ(Content(stream), (Bytes{1, 2, 3}));

    CClassicBufferMemory empty;
    CClassicBufferMemory block;
    ASSERT_TRUE(block.WriteLzoBlock(empty));
    block.Rewind();
    CClassicBufferMemory* result = block.ReadLzoBlock();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetSize(), 0u);
    CClassicPooledBuffer holder(result);
    g_ClassicBufferPool.GiveBack(holder);
    CClassicPooledBuffer again;
    EXPECT_EQ(again.Get(), result);
    WriteBytes(*again.Get(), Bytes(50, 7));
    EXPECT_EQ(again->GetSize(), 50u);
}

TEST(ClassicBufferMemory, ReserveKeepsEveryValidByteWhereverThePositionIs) {
    const Bytes data = MakeData(10, 1);
    for (u32 position : {0u, 3u, 10u, 500u}) {
        SCOPED_TRACE(position);
        CClassicBufferMemory stream;
        WriteBytes(stream, data); // capacity 11
        stream.SetPosition(position);
        stream.Reserve(1000);
        EXPECT_EQ(stream.GetCapacity(), 1000u);
        EXPECT_EQ(stream.GetPosition(), position);
        EXPECT_EQ(Content(stream), data);
    }
}

// Bytes skipped over by a write past the size are zero, whatever the reused block held.
TEST(ClassicBufferMemory, GapsLeftBySeekingPastTheEndAreZero) {
    CClassicBufferMemory stream;
    WriteBytes(stream, Bytes(32, 0xFF));
    stream.Clear(); // capacity and the old bytes stay
    WriteBytes(stream, Bytes{'a', 'b'});
    stream.SetPosition(6);
    WriteBytes(stream, Bytes{'z'});
    EXPECT_EQ(Content(stream), (Bytes{'a', 'b', 0, 0, 0, 0, 'z'}));

    // The same past the capacity, where the write also reallocates.
    stream.SetPosition(40);
    WriteBytes(stream, Bytes{'q'});
    const Bytes content = Content(stream);
    ASSERT_EQ(content.size(), 41u);
    EXPECT_EQ(Bytes(content.begin() + 7, content.begin() + 40), Bytes(33, 0));
    EXPECT_EQ(content[40], 'q');
}

TEST(ClassicBufferMemory, GrowLeavesZeroedRoomAndKeepsBytesItPassesOver) {
    CClassicBufferMemory stream;
    WriteBytes(stream, Bytes(16, 0xAB));
    stream.Clear();
    WriteBytes(stream, Bytes{1, 2, 3, 4});
    stream.SetPosition(1);
    stream.Grow(2); // over existing bytes: kept
    EXPECT_EQ(stream.GetPosition(), 3u);
    EXPECT_EQ(stream.GetSize(), 4u);
    stream.Grow(5); // past the size: zeroed room
    EXPECT_EQ(stream.GetPosition(), 8u);
    EXPECT_EQ(Content(stream), (Bytes{1, 2, 3, 4, 0, 0, 0, 0}));
}

TEST(ClassicBufferMemory, CloseRewindsAndSkipStopsAtTheLargestPosition) {
    CClassicBufferMemory stream;
    WriteBytes(stream, Bytes{5, 6, 7});
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(stream.GetPosition(), 0u);
    EXPECT_EQ(Content(stream), (Bytes{5, 6, 7}));
    EXPECT_TRUE(stream.CanSeek());
    EXPECT_EQ(stream.GetName(), nullptr);
    EXPECT_FALSE(stream.IsWritingTempFile());

    stream.Skip(2);
    EXPECT_EQ(stream.GetPosition(), 2u);
    // A hostile skip must not wrap around to an earlier position, where a reader would loop.
    stream.Skip(0xFFFFFFFE);
    EXPECT_EQ(stream.GetPosition(), 0xFFFFFFFFu);
    u8 byte;
    EXPECT_THROW(stream.Read(&byte, 1), CClassicBufferException);
}

TEST(ClassicBufferMemory, SizesPastTheLimitAreRefusedWithoutAllocating) {
    CClassicBufferMemory stream;
    WriteBytes(stream, Bytes{1, 2});
    const u8 byte = 9;
    for (u32 position : {kClassicBufferMemoryMaxSize, 0xFFFFFFFFu}) {
        LogCapture log;
        stream.SetPosition(position);
        EXPECT_EQ(stream.Write(&byte, 1), 0u);
        EXPECT_EQ(stream.GetSize(), 2u);
        EXPECT_EQ(stream.GetCapacity(), 3u);
        EXPECT_NE(log.NewText().find("[Buffer] Memory stream write refused"), std::string::npos);
    }
    for (auto grow : {+[](CClassicBufferMemory& s) { s.Reserve(kClassicBufferMemoryMaxSize + 1); },
                      +[](CClassicBufferMemory& s) { s.Grow(0xFFFFFFFF); }}) {
        stream.SetPosition(2);
        try {
            grow(stream);
            ADD_FAILURE() << "no exception";
        } catch (const CClassicBufferException& e) {
            EXPECT_EQ(e.m_Code, 1);
            EXPECT_FALSE(e.m_Text.IsEmpty());
        }
        EXPECT_EQ(stream.GetCapacity(), 3u);
        EXPECT_EQ(stream.GetSize(), 2u);
    }
}

TEST(ClassicBufferMemory, IsSameDataComparesSizeAndBytes) {
    struct Case {
        Bytes a, b;
        bool same;
    };
    const Case cases[] = {
        {{}, {}, true},
        {{1, 2, 3}, {1, 2, 3}, true},
        {{1, 2, 3}, {1, 2, 4}, false},
        {{1, 2, 3}, {1, 2}, false},
        {{}, {0}, false},
    };
    for (const Case& c : cases) {
        CClassicBufferMemory a, b;
        WriteBytes(a, c.a);
        WriteBytes(b, c.b);
        b.Rewind(); // the position plays no part
        EXPECT_EQ(a.IsSameData(b), c.same);
        EXPECT_EQ(b.IsSameData(a), c.same);
    }
}

// ---- Pool ----

TEST(ClassicBufferPool, TakeReturnsTheLastGivenBackBufferClearedWithItsCapacity) {
    g_ClassicBufferPool.Clear();
    CClassicBufferMemory* first;
    CClassicBufferMemory* second;
    {
        CClassicPooledBuffer a;
        CClassicPooledBuffer b;
        first = a.Get();
        second = b.Get();
        WriteBytes(*b.Get(), Bytes(100, 1));
        g_ClassicBufferPool.GiveBack(b);
        EXPECT_EQ(b.Get(), nullptr);
        EXPECT_EQ(g_ClassicBufferPool.GetCount(), 1u);
    } // a goes back now, b holds nothing any more
    EXPECT_EQ(g_ClassicBufferPool.GetCount(), 2u);

    CClassicPooledBuffer newest;
    EXPECT_EQ(newest.Get(), first);
    CClassicPooledBuffer older;
    EXPECT_EQ(older.Get(), second);
    EXPECT_EQ(older->GetSize(), 0u);
    EXPECT_EQ(older->GetPosition(), 0u);
    EXPECT_EQ(older->GetCapacity(), 101u);
    EXPECT_EQ(g_ClassicBufferPool.GetCount(), 0u);

    CClassicPooledBuffer fresh;
    EXPECT_NE(fresh.Get(), first);
    EXPECT_NE(fresh.Get(), second);
    EXPECT_EQ(fresh->GetCapacity(), 0u);
}

TEST(ClassicBufferPool, ClearDeletesEveryPooledBuffer) {
    for (int i = 0; i < 5; ++i) {
        CClassicPooledBuffer holder(new CClassicBufferMemory);
        WriteBytes(*holder.Get(), Bytes(10, u8(i)));
    }
    EXPECT_GE(g_ClassicBufferPool.GetCount(), 5u);
    g_ClassicBufferPool.Clear(); // the leak checker sees any buffer left behind
    EXPECT_EQ(g_ClassicBufferPool.GetCount(), 0u);
    CClassicPooledBuffer fresh;
    EXPECT_EQ(fresh->GetCapacity(), 0u);
}

// ---- LZO blocks ----

TEST(ClassicBufferLzo, EmptyInputGivesTheThreeByteEndMarker) {
    EXPECT_EQ(LzoBlock({}), (Bytes{0, 0, 0, 0, 3, 0, 0, 0, 0x11, 0, 0}));
}

TEST(ClassicBufferLzo, BlocksRoundTripAndLeaveTheStreamAfterTheBlock) {
    for (u32 size : {0u, 1u, 3u, 100u, 4096u, 65543u, 1u << 20}) {
        SCOPED_TRACE(size);
        const Bytes data = MakeData(size, size);
        CClassicBufferMemory source, stream;
        WriteBytes(source, data);
        WriteBytes(stream, Bytes{'h', 'd'});
        ASSERT_TRUE(stream.WriteLzoBlock(source));
        WriteBytes(stream, Bytes{'t'});
        // The same input always gives the same bytes.
        EXPECT_EQ(LzoBlock(data),
                  Bytes(stream.GetData() + 2, stream.GetData() + stream.GetSize() - 1));

        stream.SetPosition(2);
        CClassicPooledBuffer result(stream.ReadLzoBlock());
        ASSERT_NE(result.Get(), nullptr);
        EXPECT_EQ(result->GetPosition(), 0u);
        EXPECT_EQ(Content(*result.Get()), data);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize() - 1);
    }
}

// A block of zeros compresses about 250 to 1; the reader's ratio bound must still accept it.
TEST(ClassicBufferLzo, HighlyCompressedBlocksAreAccepted) {
    const Bytes zeros(8u << 20, 0);
    CClassicBufferMemory stream;
    WriteBytes(stream, LzoBlock(zeros));
    stream.Rewind();
    CClassicPooledBuffer result(stream.ReadLzoBlock());
    ASSERT_NE(result.Get(), nullptr);
    EXPECT_EQ(result->GetSize(), zeros.size());
    EXPECT_TRUE(Content(*result.Get()) == zeros);
}

// The raw compression a block is made of: the block's data without its two sizes, written at
// the position; the stream ends right after it, whatever room the compressor needed.
TEST(ClassicBufferLzo, RawDataEndsWhereItEnds) {
    for (u32 size : {0u, 5u, 4096u, 100000u}) {
        SCOPED_TRACE(size);
        const Bytes data = MakeData(size, size + 1);
        CClassicBufferMemory source, stream;
        WriteBytes(source, data);
        WriteBytes(stream, Bytes{'a', 'b', 'c'});
        // Written past the size: the gap is zero, as a write there leaves it.
        stream.SetPosition(5);
        ASSERT_TRUE(stream.WriteLzoRaw(source));
        const Bytes block = LzoBlock(data);
        Bytes expected = {'a', 'b', 'c', 0, 0};
        expected.insert(expected.end(), block.begin() + 8, block.end());
        EXPECT_EQ(Content(stream), expected);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
    }
}

// The room the compressor may need counts against the stream's limit, as a write would: above
// it the compression is refused with a log line (never a throw) and the stream stays as it was;
// at the limit exactly it is written.
TEST(ClassicBufferLzo, RawDataPastTheLimitIsRefused) {
    const Bytes data = MakeData(900, 3);
    CClassicBufferMemory source;
    WriteBytes(source, data);
    const u32 room = 3 + 900 + 900 / 16 + 64 + 3;
    for (const u32 limit : {room - 1, room}) {
        SCOPED_TRACE(limit);
        const u32 old = SetClassicBufferMemoryLimit(limit);
        CClassicBufferMemory stream;
        WriteBytes(stream, Bytes{'a', 'b', 'c'});
        LogCapture log;
        bool written = false;
        EXPECT_NO_THROW(written = stream.WriteLzoRaw(source));
        SetClassicBufferMemoryLimit(old);
        EXPECT_EQ(written, limit == room);
        if (written)
            continue;
        EXPECT_EQ(Content(stream), (Bytes{'a', 'b', 'c'}));
        EXPECT_EQ(stream.GetPosition(), 3u);
        EXPECT_NE(log.NewText().find("[Buffer] LZO compression of 900 bytes at position 3 refused"),
                  std::string::npos)
            << log.NewText();
    }
}

struct DamagedCase {
    const char* name;
    Bytes block;
    u32 maxSize;
    const char* logged;
};

std::vector<DamagedCase> DamagedCases() {
    const Bytes data = MakeData(3000, 7);
    const Bytes good = LzoBlock(data);
    const u32 packed = u32(good.size() - 8);
    auto withSizes = [&](u32 size, u32 compressed) {
        Bytes block = good;
        platform::StoreU32Le(block.data(), size);
        platform::StoreU32Le(block.data() + 4, compressed);
        return block;
    };
    // Four literals, then a match reaching 2049 bytes before the start of the output.
    const Bytes lookBehind = {7, 0, 0, 0, 10, 0, 0, 0, 0x15, 'a', 'b', 'c', 'd', 0, 0, 0x11, 0, 0};
    Bytes noEndMarker = withSizes(3000, packed - 3);
    noEndMarker.resize(good.size() - 3);

    return {
        {"above the caller's limit", good, 2999, "uncompressed size 3000 above the limit of 2999"},
        {"above the default limit", withSizes(0xFFFFFFFF, packed), kClassicLzoBlockMaxSize,
         "above the limit"},
        {"three bytes that are no block", withSizes(1000000, 3), kClassicLzoBlockMaxSize,
         "LZO block damaged"},
        {"shorter than an end marker", withSizes(0, 2), kClassicLzoBlockMaxSize,
         "compressed size 2 impossible"},
        {"larger than any LZO output within the limit", withSizes(10, 1000), 10,
         "compressed size 1000 impossible for 10 bytes"},
        {"compressed size past the end", withSizes(3000, packed + 1), kClassicLzoBlockMaxSize,
         "left in the stream"},
        {"match before the output", lookBehind, kClassicLzoBlockMaxSize, "damaged: error -6"},
        {"missing end marker", noEndMarker, kClassicLzoBlockMaxSize, "LZO block damaged"},
        {"stated size too small", withSizes(2999, packed), kClassicLzoBlockMaxSize,
         "LZO block damaged"},
    };
}

TEST(ClassicBufferLzo, DamagedOrImpossibleBlocksGiveNullAndALogLine) {
    for (const DamagedCase& c : DamagedCases()) {
        SCOPED_TRACE(c.name);
        CClassicBufferMemory stream;
        WriteBytes(stream, c.block);
        stream.Rewind();
        LogCapture log;
        EXPECT_EQ(stream.ReadLzoBlock(c.maxSize), nullptr);
        const std::string text = log.NewText();
        EXPECT_NE(text.find(c.logged), std::string::npos) << text;
        EXPECT_EQ(text.rfind("[Buffer] LZO block ", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

// The stated size is the most a block may decode to: a block that decodes to less, as other
// writers make them, gives its decoded bytes, in room no larger than its data can fill.
TEST(ClassicBufferLzo, BlocksDecodingShortOfTheirStatedSizeGiveTheirBytes) {
    const Bytes data = MakeData(3000, 7);
    Bytes block = LzoBlock(data);
    const u32 packed = u32(block.size() - 8);
    for (u32 stated : {3001u, 1000000u, kClassicLzoBlockMaxSize}) {
        SCOPED_TRACE(stated);
        platform::StoreU32Le(block.data(), stated);
        CClassicBufferMemory stream;
        WriteBytes(stream, block);
        stream.Rewind();
        g_ClassicBufferPool.Clear(); // the result's room is the read's own, not a pooled one's
        CClassicPooledBuffer result(stream.ReadLzoBlock());
        ASSERT_NE(result.Get(), nullptr);
        EXPECT_EQ(Content(*result.Get()), data);
        EXPECT_EQ(result->GetPosition(), 0u);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        EXPECT_LE(result->GetCapacity(), std::min(stated, packed * 256 + 64));
    }
}

TEST(ClassicBufferLzo, ShortReadsOfANonStrictStreamFail) {
    const Bytes block = LzoBlock(MakeData(500, 3));
    struct Case {
        u32 limit;
        const char* logged;
    };
    for (const Case& c : {Case{5, "5 of 8 header bytes"}, Case{8, "0 of "},
                          Case{u32(block.size() - 1), " compressed bytes"}}) {
        ShortStream stream(block, c.limit);
        LogCapture log;
        EXPECT_EQ(stream.ReadLzoBlock(), nullptr);
        EXPECT_NE(log.NewText().find(c.logged), std::string::npos) << log.NewText();
    }
    ShortStream whole(block, u32(block.size()));
    CClassicPooledBuffer result(whole.ReadLzoBlock());
    ASSERT_NE(result.Get(), nullptr);
    EXPECT_EQ(Content(*result.Get()), MakeData(500, 3));
}

TEST(ClassicBufferLzo, AHeaderPastTheEndOfAMemoryStreamThrows) {
    CClassicBufferMemory stream;
    WriteBytes(stream, Bytes{1, 0, 0, 0, 3});
    stream.Rewind();
    EXPECT_THROW(stream.ReadLzoBlock(), CClassicBufferException);
    EXPECT_EQ(stream.GetPosition(), 0u);
}

// ---- Cross-check with Debian's python3-lzo ----

class TempDir {
public:
    TempDir() {
        std::string pattern = testing::TempDir() + "lzoXXXXXX";
        m_Path = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(m_Path); }
    std::string operator/(const std::string& name) const { return m_Path + "/" + name; }
    const std::string& Path() const { return m_Path; }

private:
    std::string m_Path;
};

void SaveFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

Bytes LoadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// For every case: decompresses the engine's block with python-lzo, checks that python-lzo's
// LZO1X-1 output is the engine's payload byte for byte, and writes python-made blocks (LZO1X-1
// and LZO1X-999) for the engine to read.
constexpr const char* kPythonCheck = R"(
import lzo, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    data = open(f"{folder}/data{i}", "rb").read()
    block = open(f"{folder}/engine{i}", "rb").read()
    size, packed = struct.unpack_from("<II", block)
    payload = block[8:]
    assert size == len(data) and packed == len(payload), (i, size, packed)
    assert lzo.decompress(payload, False, size) == data, i
    ours = lzo.compress(data, 1, False)
    assert ours == payload, (i, "python-lzo's LZO1X-1 bytes differ")
    for level in (1, 9):
        made = lzo.compress(data, level, False)
        open(f"{folder}/python{i}_{level}", "wb").write(struct.pack("<II", len(data), len(made)) + made)
print("checked", count)
)";

TEST(ClassicBufferLzo, BlocksAgreeWithPythonLzoBothWays) {
    TempDir dir;
    const u32 sizes[] = {0, 1, 17, 1000, 65536, 300000};
    std::vector<Bytes> data;
    for (u32 i = 0; i < std::size(sizes); ++i) {
        data.push_back(i == 4 ? Bytes(sizes[i], 0) : MakeData(sizes[i], 100 + i));
        SaveFile(dir / ("data" + std::to_string(i)), data[i]);
        SaveFile(dir / ("engine" + std::to_string(i)), LzoBlock(data[i]));
    }
    SaveFile(dir / "check.py", Bytes(kPythonCheck, kPythonCheck + std::strlen(kPythonCheck)));
    const std::string command = std::string(ENGINE_TEST_PYTHON) + " " + (dir / "check.py") + " " +
                                dir.Path() + " " + std::to_string(std::size(sizes)) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof(chunk), pipe))
        output.append(chunk, n);
    ASSERT_EQ(pclose(pipe), 0) << output;
    EXPECT_EQ(output, "checked " + std::to_string(std::size(sizes)) + "\n");

    for (u32 i = 0; i < std::size(sizes); ++i) {
        for (const char* level : {"_1", "_9"}) {
            SCOPED_TRACE(std::to_string(i) + level);
            CClassicBufferMemory stream;
            WriteBytes(stream, LoadFile(dir / ("python" + std::to_string(i) + level)));
            stream.Rewind();
            CClassicPooledBuffer result(stream.ReadLzoBlock());
            ASSERT_NE(result.Get(), nullptr);
            EXPECT_TRUE(Content(*result.Get()) == data[i]);
            EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        }
    }
}

} // namespace
