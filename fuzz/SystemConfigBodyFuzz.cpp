// Fuzzes the reading of a game configuration's body: the configuration's current and older
// chunks with the display part's chunk stream inside.
//
// The first byte chooses the encoding (bit 0: text); the rest is the body. Reading must end
// normally or with a stream exception, never in a fault. A body read without failure is written
// back and read again: that must succeed, and from the second writing on the bytes are stable.
// (The first one may differ from the second: older chunks put values into the display part
// without its own chunk stream, which would recompute them; reading a text string stops at a
// NUL; a real is written with six decimals.)
#include "FuzzCheck.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/config/SystemConfig.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string Write(CSystemConfig& config, bool text) {
    CClassicArchive writer;
    auto* memory = new CClassicBufferMemory;
    writer.SetBuffer(memory);
    writer.m_Writing = 1;
    writer.m_Text = text;
    config.Archive(writer);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

// Reads the bytes into a new configuration and writes it back; false when the read failed.
bool ReadAndWrite(const u8* bytes, size_t size, bool text, std::string& written) {
    CSystemConfig config;
    CClassicArchive reader;
    auto* memory = new CClassicBufferMemory;
    memory->Write(bytes, u32(size));
    memory->Rewind();
    reader.SetBuffer(memory);
    reader.m_Text = text;
    try {
        config.Archive(reader);
    } catch (const CClassicBufferException&) {
        return false;
    }
    written = Write(config, text);
    return true;
}

bool ReadAndWrite(const std::string& bytes, bool text, std::string& written) {
    return ReadAndWrite(reinterpret_cast<const u8*>(bytes.data()), bytes.size(), text, written);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run; the registry is an empty folder of its own.
    g_ClassicLog.m_SuspendCount = 1;
    const std::string registry = (std::filesystem::temp_directory_path() /
                                  ("config-fuzz-registry-" + std::to_string(getpid())))
                                     .string();
    setenv("ENGINE_REGISTRY_DIR", registry.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 20))
        return 0;
    const bool text = data[0] & 1;
    std::string first, second, third;
    if (!ReadAndWrite(data + 1, size - 1, text, first))
        return 0;
    FUZZ_CHECK(ReadAndWrite(first, text, second));
    FUZZ_CHECK(ReadAndWrite(second, text, third));
    FUZZ_CHECK(third == second);
    return 0;
}
