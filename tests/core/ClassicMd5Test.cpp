#include "core/base/ClassicMd5.h"

#include "ExternalToolSupport.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Hex(const u8* bytes, u32 n) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (u32 i = 0; i < n; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string Md5Hex(const std::string& data) {
    u8 digest[16];
    ClassicMd5(data.data(), u32(data.size()), digest);
    return Hex(digest, 16);
}

std::string HmacHex(const std::string& key16, const std::string& data) {
    CClassicHmacMd5Request request{};
    std::memcpy(request.key, key16.data(), 16);
    request.data = reinterpret_cast<const u8*>(data.data());
    request.length = u32(data.size());
    ClassicHmacMd5(request);
    return Hex(request.digest, 16);
}

std::string RandomBytes(std::mt19937& random, size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = char(random());
    }
    return bytes;
}

TEST(ClassicMd5, Rfc1321TestSuite) {
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Md5Hex(c.text), c.digest) << '"' << c.text << '"';
    }
}

TEST(ClassicMd5, HmacRfc2202CasesWithSixteenByteKeys) {
    // Case 2's key "Jefe" is zero-padded to 16 bytes: HMAC pads it to the block with zeros anyway.
    const struct {
        std::string key;
        std::string data;
        const char* digest;
    } cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {std::string("Jefe") + std::string(12, '\0'), "what do ya want for nothing?",
         "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HmacHex(c.key, c.data), c.digest) << c.data;
    }
}

// Incremental updates in uneven pieces give the one-shot digest, whatever the split does to
// the pending partial block.
TEST(ClassicMd5, PiecesGiveTheOneShotDigest) {
    std::mt19937 random(7);
    const std::string data = RandomBytes(random, 1000);
    const u32 pieces[] = {1, 3, 55, 56, 63, 64, 65, 127, 200};
    for (u32 piece : pieces) {
        CClassicMd5 md5;
        md5.Update(nullptr, 0);
        for (size_t at = 0; at < data.size(); at += piece) {
            md5.Update(data.data() + at, u32(std::min<size_t>(piece, data.size() - at)));
        }
        u8 digest[16];
        md5.Finish(digest);
        EXPECT_EQ(Hex(digest, 16), Md5Hex(data)) << "pieces of " << piece;
    }
}

// Random data around the padding boundaries and beyond, with random keys: Python's hashlib and
// hmac must agree with every digest.
TEST(ClassicMd5, AgreesWithPythonHashlibAndHmac) {
    CTempFolder folder;
    std::mt19937 random(20240611);
    const size_t lengths[] = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 65537, 300000};
    std::ostringstream expected;
    for (size_t i = 0; i < std::size(lengths); ++i) {
        const std::string data = RandomBytes(random, lengths[i]);
        const std::string key = RandomBytes(random, 16);
        WriteWholeFile(folder.File("data" + std::to_string(i)), data);
        WriteWholeFile(folder.File("key" + std::to_string(i)), key);
        expected << Md5Hex(data) << ' ' << HmacHex(key, data) << '\n';
    }
    const std::string script = R"(
import hashlib, hmac, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    data = open(f"{folder}/data{i}", "rb").read()
    key = open(f"{folder}/key{i}", "rb").read()
    print(hashlib.md5(data).hexdigest(), hmac.new(key, data, hashlib.md5).hexdigest())
)";
    EXPECT_EQ(RunPython(folder, script,
                        folder.Path().string() + " " + std::to_string(std::size(lengths))),
              expected.str());
}

} // namespace
