#pragma once
// Files for the targets that read through the file system: a folder of the process, written anew
// for every input and removed when the process ends, and the padding that takes a text to a
// reader's size limit.
#include "FuzzCheck.h"
#include "platform/HostPath.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

class CFuzzFolder {
public:
    explicit CFuzzFolder(const std::string& name)
        : m_Host((std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid())))
                     .string()) {
        std::filesystem::create_directories(m_Host);
    }
    ~CFuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Host, ignored);
    }
    CFuzzFolder(const CFuzzFolder&) = delete;
    CFuzzFolder& operator=(const CFuzzFolder&) = delete;

    // The host path of a name in the folder.
    std::string File(const std::string& name) const { return m_Host + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        FILE* file = std::fopen(File(name).c_str(), "wb");
        FUZZ_CHECK(file != nullptr);
        FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
        FUZZ_CHECK(std::fclose(file) == 0);
    }
    const std::string& Host() const { return m_Host; }
    // The folder as an engine path, with its trailing backslash.
    std::u16string Engine() const { return platform::FromHostPath(m_Host + "/"); }

private:
    std::string m_Host;
};

// The text followed by a comment line of '#' that makes it `size` bytes long (the text must be
// shorter): the settings the text holds are unchanged, and its length is the one asked for.
inline std::string PaddedWithComment(const std::string& text, size_t size) {
    std::string padded = text + "\n";
    padded.resize(size, '#');
    return padded;
}
