// Fuzzes the LZO block reader and the memory stream.
//
// The first byte chooses the mode. Even: the rest is a stream of LZO blocks, read one after the
// other until the stream ends or a block fails; the rest is also compressed and read back.
// Odd: the rest is a program of memory stream operations, checked against a plain model.
#include "FuzzCheck.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr u64 kWriteLimit = 1u << 16;

void ReadBlocks(const u8* data, u32 size) {
    CClassicBufferMemory stream;
    stream.Write(data, size);
    stream.Rewind();
    // A small caller limit, as for peer messages, on every other block.
    for (u32 i = 0; stream.GetPosition() < stream.GetSize(); ++i) {
        const u32 limit = i % 2 ? 4096 : kClassicLzoBlockMaxSize;
        CClassicBufferMemory* block;
        try {
            block = stream.ReadLzoBlock(limit);
        } catch (const CClassicBufferException&) {
            return;
        }
        if (!block) {
            return;
        }
        CClassicPooledBuffer holder(block);
        FUZZ_CHECK(block->GetSize() <= limit && block->GetPosition() == 0);
    }
}

void RoundTrip(const u8* data, u32 size) {
    CClassicBufferMemory source, stream;
    source.Write(data, size);
    FUZZ_CHECK(stream.WriteLzoBlock(source));
    stream.Rewind();
    CClassicPooledBuffer result(stream.ReadLzoBlock());
    FUZZ_CHECK(result.Get() && result->IsSameData(source));
}

// Reads little-endian values from the program, zero past its end.
class Program {
public:
    Program(const u8* data, u32 size) : m_Data(data), m_Size(size) {}
    bool AtEnd() const { return m_At >= m_Size; }
    u32 Next(u32 bytes) {
        u32 value = 0;
        for (u32 i = 0; i < bytes; ++i, ++m_At) {
            value |= u32(m_At < m_Size ? m_Data[m_At] : 0) << (8 * i);
        }
        return value;
    }

private:
    const u8* m_Data;
    u32 m_Size;
    u32 m_At = 0;
};

void RunOperations(const u8* data, u32 size) {
    CClassicBufferMemory stream;
    std::vector<u8> model;
    u64 position = 0;
    Program program(data, size);
    u8 scratch[1024];
    while (!program.AtEnd()) {
        const u32 op = program.Next(1);
        const u32 value = program.Next(2);
        // Writes stay within the first 64 KB, so that a run never allocates much.
        const bool canWrite = position + value < kWriteLimit;
        switch (op % 8) {
            case 0: { // read
                const u32 n = value % sizeof(scratch);
                try {
                    FUZZ_CHECK(stream.Read(scratch, n) == n);
                    FUZZ_CHECK(u64(position) + n <= model.size());
                    FUZZ_CHECK(std::equal(scratch, scratch + n, model.begin() + position));
                    position += n;
                } catch (const CClassicBufferException& e) {
                    FUZZ_CHECK(e.m_Code == 0 && u64(position) + n > model.size());
                }
                break;
            }
            case 1: { // write
                const u32 n = value % sizeof(scratch);
                for (u32 i = 0; i < n; ++i) {
                    scratch[i] = u8(program.Next(1));
                }
                if (!canWrite) {
                    break;
                }
                FUZZ_CHECK(stream.Write(scratch, n) == n);
                model.resize(std::max<size_t>(model.size(), position + n), 0);
                std::copy(scratch, scratch + n, model.begin() + position);
                position += n;
                break;
            }
            case 2: // anywhere, also far beyond the data
                position = op & 0x80 ? value << 16 | program.Next(2) : value;
                stream.SetPosition(u32(position));
                break;
            case 3:
                stream.Skip(value);
                position = std::min<u64>(position + value, 0xFFFFFFFF);
                break;
            case 4:
                if (!canWrite) {
                    break;
                }
                stream.Grow(value);
                model.resize(std::max<size_t>(model.size(), position + value), 0);
                position += value;
                break;
            case 5:
                stream.Reserve(value);
                FUZZ_CHECK(stream.GetCapacity() >= value);
                break;
            case 6:
                if (value % 2) {
                    stream.Clear();
                    model.clear();
                } else {
                    FUZZ_CHECK(stream.Close());
                }
                position = 0;
                break;
            default: // the content so far as a block, written and read back
                RoundTrip(model.data(), u32(model.size()));
                break;
        }
        FUZZ_CHECK(stream.GetPosition() == position && stream.GetSize() == model.size());
        FUZZ_CHECK(stream.GetSize() <= stream.GetCapacity());
    }
    FUZZ_CHECK(model.empty() || std::memcmp(stream.GetData(), model.data(), model.size()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Failure lines are still composed, but not kept: the in-memory log would grow for the
    // whole run.
    g_ClassicLog.m_PrimarySink = nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size == 0 || size > 1u << 20) {
        return 0;
    }
    const u32 rest = u32(size - 1);
    if (data[0] % 2 == 0) {
        ReadBlocks(data + 1, rest);
        RoundTrip(data + 1, rest);
    } else {
        RunOperations(data + 1, rest);
    }
    // Pooled buffers would hide reads past a block's end behind their spare capacity.
    g_ClassicBufferPool.Clear();
    return 0;
}
