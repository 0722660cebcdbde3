#pragma once
// A folder under the system's temporary folder holding one file of pseudo-random bytes, for the
// benchmarks of the file roads; removed with everything in it when destroyed.
#include "core/base/ClassicString.h"
#include "platform/HostPath.h"
#include "platform/Types.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

struct CBenchFileFolder {
    CBenchFileFolder(const char* prefix, const std::string& fileName, u32 size) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Host = pattern;
        m_Data.resize(size);
        u32 state = 1;
        for (u8& byte : m_Data) {
            state = state * 1664525 + 1013904223;
            byte = u8(state >> 24);
        }
        const int fd = open(Host(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, m_Data.data(), m_Data.size()) != ssize_t(m_Data.size()))
            std::abort();
        close(fd);
    }
    ~CBenchFileFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Host, ignored);
    }
    CBenchFileFolder(const CBenchFileFolder&) = delete;
    CBenchFileFolder& operator=(const CBenchFileFolder&) = delete;

    std::string Host(const std::string& name) const { return m_Host + "/" + name; }
    CClassicWideString Engine(const std::string& name) const {
        return CClassicWideString(platform::FromHostPath(Host(name)).c_str());
    }

    std::string m_Host;
    // The file's bytes.
    std::vector<u8> m_Data;
};
