#pragma once
// Shared set-up of the net tests: the name pool and the class registry with the core and net
// classes and the test form, no proxy from the environment, and the check that every nod a test
// made is gone at its end.
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"
#include "net/engine/NetClasses.h"
#include "tests/support/net/TestNetForm.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

// The transport reads proxies from the environment: tests run without any, unless a test sets
// its own.
inline void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "HTTP_PROXY", "NO_PROXY"})
        unsetenv(name);
    setenv("no_proxy", "*", 1);
}

class CNetFixture : public ::testing::Test {
protected:
    // `extra`, when given, is registered after the test form's list.
    explicit CNetFixture(const CMwClassList* extra = nullptr) : m_Extra(extra) {}

    void SetUp() override {
        ClearProxyEnvironment();
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_NetClassList);
        CMwClassRegistry::AddClassList(g_NetTestClassList);
        if (m_Extra)
            CMwClassRegistry::AddClassList(*m_Extra);
        CMwClassRegistry::Init();
        m_LiveNods = CMwNod::GetLiveNodCount();
    }
    void TearDown() override {
        EXPECT_EQ(CMwNod::GetLiveNodCount(), m_LiveNods) << "nods left alive by the test";
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }

private:
    const CMwClassList* m_Extra;
    u32 m_LiveNods = 0;
};

// The bytes in lower-case hexadecimal, as the Python peers write them.
inline std::string TestHex(const u8* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 15];
    }
    return hex;
}

// The standard output of a command run by the shell; the exit status in *status when asked.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int rc = pclose(pipe);
    if (status)
        *status = rc;
    return output;
}

// A fresh folder under the system's temporary folder, removed with its files at the end.
class CNetTempFolder {
public:
    CNetTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nettest-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_Path = pattern;
    }
    ~CNetTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    CNetTempFolder(const CNetTempFolder&) = delete;
    CNetTempFolder& operator=(const CNetTempFolder&) = delete;

    std::string File(const std::string& name) const { return (m_Path / name).string(); }
    const std::filesystem::path& Path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

// Runs a python script through Debian's own interpreter with the input on its standard input;
// its standard output. The test fails when the script does.
inline std::string RunPython(const std::string& script, const std::string& input) {
    CNetTempFolder folder;
    WriteFileBytes(folder.File("script.py"), script);
    WriteFileBytes(folder.File("input"), input);
    int status = 0;
    const std::string output =
        RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + folder.File("script.py") + " < " +
                       folder.File("input"),
                   &status);
    EXPECT_EQ(status, 0) << output;
    return output;
}
