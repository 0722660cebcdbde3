#pragma once
// An install folder for tests that start the stand-in game program: a temporary folder holding
// the program as "Brisalde", its behaviour file and, once it ran, its start log. The test program
// defines ENGINE_GAME_STANDIN as the stand-in's path.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

class CGameInstall {
public:
    CGameInstall() {
        std::string pattern = (std::filesystem::temp_directory_path() / "install-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_Path = pattern;
        std::filesystem::copy_file(ENGINE_GAME_STANDIN, Game());
        std::filesystem::permissions(Game(), std::filesystem::perms(0755));
    }
    ~CGameInstall() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    CGameInstall(const CGameInstall&) = delete;
    CGameInstall& operator=(const CGameInstall&) = delete;

    const std::filesystem::path& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return (m_Path / name).string(); }
    std::string Game() const { return File("Brisalde"); }

    // Writes the behaviour file ("key = value" lines).
    void SetBehaviour(const std::string& lines) const {
        std::ofstream out(File("GameStandin.txt"), std::ios::binary);
        out << lines;
        EXPECT_TRUE(out.good());
    }

    // The lines of the start log, empty before the first start.
    std::vector<std::string> LogLines() const {
        std::ifstream in(File("GameStandin.log"), std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

private:
    std::filesystem::path m_Path;
};

// Polls a condition that another process makes true; false when it stays false for 20 s.
inline bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
