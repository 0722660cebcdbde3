#pragma once
// Helpers of the tests that check engine output with real tools (python3, msgfmt): a temporary
// folder, whole-file reads and writes, and running a command for its standard output.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

// A fresh folder under the system's temporary folder, removed with its files at the end.
class CTempFolder {
public:
    CTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tooltest-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_Path = pattern;
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::string File(const std::string& name) const { return (m_Path / name).string(); }
    const std::filesystem::path& Path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
};

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard output of a shell command (standard error goes along); the test fails when the
// command does not succeed.
inline std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    if (!pipe) {
        return output;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << output;
    return output;
}

// Runs a python script (written into the folder) with the given arguments.
inline std::string RunPython(const CTempFolder& folder, const std::string& script,
                             const std::string& arguments) {
    const std::string path = folder.File("script.py");
    WriteWholeFile(path, script);
    return RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + path + " " + arguments);
}
