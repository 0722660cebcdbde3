#include "core/base/ClassicHash.h"

#include "platform/Endian.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// A fresh folder under the system's temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "hashtest-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        m_Path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string File(const std::string& name) const { return (m_Path / name).string(); }

private:
    std::filesystem::path m_Path;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard output of a shell command; the test fails when the command does not succeed.
std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    if (!pipe) {
        return output;
    }
    char chunk[256];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

bool IsPrimeByDivision(u32 a) {
    if (a < 2) {
        return false;
    }
    for (u64 d = 2; d * d <= a; ++d) {
        if (a % d == 0) {
            return false;
        }
    }
    return true;
}

TEST(ClassicHash, TableSizesAndPrimes) {
    struct SizeCase {
        u32 entries, size;
    };
    const SizeCase sizes[] = {
        {0, 11},
        {8, 11},
        {9, 13},                 // (36 / 3) | 1
        {100, 137},              // 133 = 7 x 19 and 135 are passed over
        {1u << 30, 1431655777u}, // 4n no longer fits 32 bits
        {0xC0000000u, 4294967291u},
        {0xFFFFFFFFu, 4294967291u}, // no 32-bit size keeps the load at three quarters
    };
    for (const SizeCase& c : sizes) {
        EXPECT_EQ(ClassicHashTableSize(c.entries), c.size) << c.entries << " entries";
    }

    struct PrimeCase {
        u32 value;
        bool prime;
    };
    const PrimeCase primes[] = {
        {2, false},           {3, false},           {5, false},  {7, false}, // below 11: never
        {9, false},           {11, true},           {13, true},  {15, false},
        {16, false},          {25, false},          {49, false}, {137, true},
        {4294967291u, true},  {4294967295u, false}, // 3 x 5 x 17 x 257 x 65537
        {4294049777u, false},                       // 65521 x 65537: a divisor near the root
    };
    for (const PrimeCase& c : primes) {
        EXPECT_EQ(ClassicIsPrime(c.value), c.prime) << c.value;
    }
    for (u32 a = 11; a < 30000; ++a) {
        ASSERT_EQ(ClassicIsPrime(a), IsPrimeByDivision(a)) << a;
    }
}

TEST(ClassicHash, PjwNarrowReadsSignedBytes) {
    struct Case {
        const char* text;
        u32 hash, length;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"A", 'A', 1},
        // 0x80 adds -128: 0xFFFFFF80, whose top bits fold back in.
        {"\x80", 0x0FFFFF70u, 1},
        {"The quick brown fox \xc3\xa9t\xc3\xa9", 0x08687DC9u, 25},
    };
    for (const Case& c : cases) {
        u32 length = 99;
        EXPECT_EQ(ClassicHashPjw(c.text, &length), c.hash) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
        EXPECT_EQ(ClassicHashPjw(c.text), c.hash) << c.text;
    }
    // The wide form reads the same bytes unsigned, so only texts with high bytes differ.
    u32 length = 0;
    EXPECT_EQ(ClassicHashPjwWide(u"The quick brown fox \u00c3\u00a9t\u00c3\u00a9", &length),
              0x09788EC9u);
    EXPECT_EQ(length, 25u);
    EXPECT_EQ(ClassicHashPjwWide(u"|AdvancedTab|Display"), ClassicHashPjw("|AdvancedTab|Display"));
    EXPECT_EQ(ClassicHashPjwWide(u""), 0u);
}

// The wide hash over each key byte widened to 16 bits finds every message of a catalogue made by
// msgfmt at the slot msgfmt chose: slot h mod S, then steps of 1 + h mod (S - 2), entries being
// the message index + 1.
TEST(ClassicHash, PjwWideFindsEveryMessageOfAMsgfmtCatalogue) {
    const std::vector<std::string> keys = {
        "|AdvancedTab|Display",
        "|AdvancedTab|Shadows",
        "|Main|Play",
        "|Main|Configure",
        "|Main|Exit",
        "Could not find DirectX9",
        "Check of %1 update failed !",
        "A rather long message that wraps the top bits of the hash many times over",
        "r\xc3\xa9solution",
        "\xc3\x9c"
        "bersicht \xe2\x80\x94 Men\xc3\xbc",
        "x",
        "Download ?",
    };
    TempFolder folder;
    std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    for (size_t i = 0; i < keys.size(); ++i) {
        po += "\nmsgid \"" + keys[i] + "\"\nmsgstr \"t" + std::to_string(i) + "\"\n";
    }
    WriteFile(folder.File("x.po"), po);
    RunCommand("msgfmt -o '" + folder.File("x.mo") + "' '" + folder.File("x.po") + "'");
    const std::string mo = ReadFile(folder.File("x.mo"));
    ASSERT_GE(mo.size(), 28u);
    auto word = [&mo](u32 offset) {
        EXPECT_LE(u64(offset) + 4, mo.size());
        return offset + 4 <= mo.size() ? platform::LoadU32Le(mo.data() + offset) : 0;
    };
    ASSERT_EQ(word(0), 0x950412DEu);
    const u32 count = word(8), originals = word(12), slots = word(20), table = word(24);
    ASSERT_EQ(count, keys.size() + 1); // with the header entry, whose key is empty
    ASSERT_GT(slots, 2u);

    for (u32 index = 0; index < count; ++index) {
        const u32 length = word(originals + 8 * index);
        const u32 offset = word(originals + 8 * index + 4);
        ASSERT_LE(u64(offset) + length, mo.size());
        std::u16string widened;
        for (u32 k = 0; k < length; ++k) {
            widened.push_back(char16_t(u8(mo[offset + k])));
        }
        const u32 h = ClassicHashPjwWide(widened.c_str());
        u32 slot = h % slots;
        const u32 step = 1 + h % (slots - 2);
        u32 probes = 0;
        while (word(table + 4 * slot) != index + 1) {
            ASSERT_NE(word(table + 4 * slot), 0u) << "key " << index << " not at its slots";
            ASSERT_LT(++probes, slots);
            slot = (slot + step) % slots;
        }
    }
}

TEST(ClassicHash, Crc32MatchesZlibCheckValueAndPython) {
    EXPECT_EQ(ClassicCrc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(ClassicCrc32("", 0), 0u);

    TempFolder folder;
    std::mt19937 random(20240611);
    std::string files;
    std::vector<u32> ours;
    for (size_t size : {1, 3, 64, 1000, 65537}) {
        std::string bytes(size, '\0');
        for (char& b : bytes) {
            b = char(random() & 0xFF);
        }
        std::string path = folder.File("buffer" + std::to_string(size));
        WriteFile(path, bytes);
        files += " '" + path + "'";
        ours.push_back(ClassicCrc32(bytes.data(), u32(bytes.size())));
    }
    std::string output = RunCommand(
        std::string(ENGINE_TEST_PYTHON) +
        " -c 'import sys, zlib\nfor f in sys.argv[1:]: print(zlib.crc32(open(f, \"rb\").read()))'" +
        files);
    std::vector<u32> python;
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        python.push_back(u32(std::stoul(output.substr(pos, end - pos))));
        pos = end == std::string::npos ? output.size() : end + 1;
    }
    EXPECT_EQ(ours, python);
}

struct Record {
    u32 id;
    f32 key;
    u16 tag;
};

std::vector<Record> SortRecords(const std::vector<f32>& keys, std::vector<u32>* order) {
    std::vector<Record> records;
    for (u32 i = 0; i < keys.size(); ++i) {
        records.push_back({i, keys[i], u16(i * 3)});
    }
    order->assign(2 * keys.size(), 0xDEADBEEF);
    ClassicSortByFloatKey(records.data(), u32(records.size()), sizeof(Record),
                          offsetof(Record, key), order->data());
    return records;
}

TEST(ClassicHash, SortByFloatKeyMovesRecordsAndFillsTheOrderTable) {
    std::vector<u32> order;
    std::vector<Record> sorted = SortRecords({3, 1, 2}, &order);
    std::vector<f32> keys;
    for (const Record& r : sorted) {
        keys.push_back(r.key);
        EXPECT_EQ(r.tag, r.id * 3); // whole records move
    }
    EXPECT_EQ(keys, (std::vector<f32>{1, 2, 3}));
    EXPECT_EQ(order, (std::vector<u32>{1, 2, 2, 0, 0, 1}));

    std::vector<u32> none;
    EXPECT_TRUE(SortRecords({}, &none).empty());
}

// NaN keys (possible in imported geometry) sort after every number; the sort stays within the
// array and the order table stays a permutation and its inverse.
TEST(ClassicHash, SortByFloatKeyPutsNanLast) {
    const f32 nan = std::numeric_limits<f32>::quiet_NaN();
    const f32 inf = std::numeric_limits<f32>::infinity();
    std::mt19937 random(7);
    std::vector<f32> keys = {nan, 2, nan, -1, 0.5f, 2, -inf, inf, -0.0f, 0.0f};
    for (int i = 0; i < 2000; ++i) {
        u32 r = random() % 10;
        keys.push_back(r < 3 ? nan : f32(random() % 50) - 25);
    }
    std::vector<u32> order;
    std::vector<Record> sorted = SortRecords(keys, &order);
    const u32 n = u32(keys.size());
    u32 nans = 0;
    for (u32 j = 0; j < n; ++j) {
        const Record& r = sorted[j];
        ASSERT_EQ(r.tag, r.id * 3);
        ASSERT_EQ(order[2 * j], r.id);
        ASSERT_EQ(order[2 * r.id + 1], j);
        ASSERT_EQ(std::isnan(r.key), std::isnan(keys[r.id]));
        if (!std::isnan(r.key)) {
            ASSERT_EQ(r.key, keys[r.id]);
            ASSERT_EQ(nans, 0u) << "a number after a NaN at " << j;
            if (j > 0) {
                ASSERT_LE(sorted[j - 1].key, r.key);
            }
        } else {
            ++nans;
        }
    }
    u32 expectedNans = 0;
    for (f32 k : keys) {
        expectedNans += std::isnan(k) ? 1 : 0;
    }
    EXPECT_EQ(nans, expectedNans);
}

} // namespace
