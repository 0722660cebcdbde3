#pragma once
// Shared helpers of the system tests: a temporary folder with its engine path, whole-file reads
// and writes, running python3 for its standard output, and what the log's file sinks receive;
// the log and the registry fixture of the core tests.
#include "core/base/ClassicString.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "platform/HostPath.h"
#include "system/SystemClasses.h"
#include "tests/core/CoreTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its files at the end.
class CTempFolder {
public:
    CTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "systest-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_Path = pattern;
    }
    ~CTempFolder() {
        std::error_code ignored;
        // Read-only folders would keep their files from a user who is not root.
        for (auto it = std::filesystem::recursive_directory_iterator(m_Path, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            chmod(it->path().c_str(), 0777);
        std::filesystem::remove_all(m_Path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // Host path of a name inside the folder.
    std::string File(const std::string& name) const { return (m_Path / name).string(); }
    const std::filesystem::path& Path() const { return m_Path; }
    // Engine path of a name inside the folder ("Z:\tmp\systest-...\name"); '/' in the name
    // becomes '\'.
    CClassicWideString Engine(const std::string& name = "") const {
        std::u16string path = platform::FromHostPath(m_Path.string());
        path += u'\\';
        for (char16_t c : platform::HostTextToWide(name))
            path += c == u'/' ? u'\\' : c;
        return CClassicWideString(path.c_str());
    }
    // File names of the folder (not recursive), sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_Path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path m_Path;
};

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    EXPECT_TRUE(in.good()) << path;
    std::string bytes(size_t(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

// Pseudo-random bytes, the same for the same size and seed.
inline std::string Pattern(size_t size, u32 seed) {
    std::string bytes(size, '\0');
    u32 state = seed;
    for (char& c : bytes) {
        state = state * 1664525 + 1013904223;
        c = char(state >> 24);
    }
    return bytes;
}

inline std::string Narrow(const CClassicWideString& text) {
    return platform::WideToHostText(std::u16string_view(text.GetText(), text.GetLength()));
}

inline CClassicWideString Wide(const std::string& utf8) {
    return CClassicWideString(platform::HostTextToWide(utf8).c_str());
}

inline u32 ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Standard output of a command (standard error goes along); the test fails when the command
// does not succeed.
inline std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    if (!pipe)
        return output;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << output;
    return output;
}

// Runs a python script (written into the folder) with the given arguments, through Debian's own
// interpreter.
inline std::string RunPython(const CTempFolder& folder, const std::string& script,
                             const std::string& arguments) {
    const std::string path = folder.File("script.py");
    WriteWholeFile(path, script);
    return RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + path + " " + arguments);
}

// Runs the body in a child process and gives its exit code (-signal when a signal ended it). The
// child ends with _exit: nothing of the test program's own state is torn down twice.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Collects what is written to the log's file sinks while it lives.
class CFileSinkWatch {
public:
    CFileSinkWatch() : m_Old(g_ClassicLog.m_SecondFileSink) {
        g_ClassicLog.m_SecondFileSink = &m_Lines;
    }
    ~CFileSinkWatch() { g_ClassicLog.m_SecondFileSink = m_Old; }
    CFileSinkWatch(const CFileSinkWatch&) = delete;
    CFileSinkWatch& operator=(const CFileSinkWatch&) = delete;

    std::string Text() const { return m_Lines.str(); }

private:
    std::ostringstream m_Lines;
    std::ostream* m_Old;
};

// Sets an environment variable for the holder's lifetime (null: unset), then puts it back.
class CScopedEnvVar {
public:
    CScopedEnvVar(const char* name, const char* value) : m_Name(name) {
        if (const char* old = std::getenv(name)) {
            m_Had = true;
            m_Old = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~CScopedEnvVar() {
        if (m_Had)
            setenv(m_Name.c_str(), m_Old.c_str(), 1);
        else
            unsetenv(m_Name.c_str());
    }
    CScopedEnvVar(const CScopedEnvVar&) = delete;
    CScopedEnvVar& operator=(const CScopedEnvVar&) = delete;

private:
    std::string m_Name;
    std::string m_Old;
    bool m_Had = false;
};

// Starts the name pool and the registry with the core and system classes and `extra`, and stops
// both. The registry's values are kept in an empty folder of the test's own (a new configuration
// reads its language there), never in the user's.
class CSystemFixture : public ::testing::Test {
protected:
    explicit CSystemFixture(const CMwClassList* extra = nullptr)
        : m_Extra(extra), m_RegistryEnv("ENGINE_REGISTRY_DIR", m_RegistryFolder.Path().c_str()) {}

    void SetUp() override {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        if (m_Extra)
            CMwClassRegistry::AddClassList(*m_Extra);
        CMwClassRegistry::Init();
    }
    void TearDown() override {
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }

private:
    const CMwClassList* m_Extra;
    CTempFolder m_RegistryFolder;
    CScopedEnvVar m_RegistryEnv;
};
