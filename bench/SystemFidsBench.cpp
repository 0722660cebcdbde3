// A folder of the file-id tree refreshed from a disk folder of 10 000 files, against a plain peer
// doing the same matching on the same folder, in alternating rounds (see BenchPair.h):
// - RefreshNew: an empty folder takes a file id for every file (the tree is emptied, untimed,
//   before each refresh); the peer lists the folder, keeps the names it does not hold yet
//   (folded into a std::unordered_set) and sorts them ignoring case;
// - RefreshSteady: a folder that already holds every file is refreshed again (nothing changes);
//   the peer lists the folder, finds every name in the set of the names it holds and sorts its
//   list again.
// Both check that they ended with one entry per file.
#include "BenchPair.h"
#include "platform/HostPath.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr u32 kFiles = 10000;

// A folder under the system's temporary folder with kFiles empty files in mixed case, removed at
// exit.
struct CBenchFolder {
    CBenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fids-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Host = pattern;
        for (u32 i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, i % 2 ? "/Texture%05u.Dds" : "/sound%05u.OGG", i);
            if (std::FILE* file = std::fopen((m_Host + name).c_str(), "w"))
                std::fclose(file);
            else
                std::abort();
        }
        m_Engine = CClassicWideString(platform::FromHostPath(m_Host + "/").c_str());
    }
    ~CBenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Host, ignored);
    }

    std::string m_Host;
    CClassicWideString m_Engine;
};

CBenchFolder& Folder() {
    static CBenchFolder s_Folder;
    return s_Folder;
}

std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return name;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return u8(Lower(a[i])) < u8(Lower(b[i]));
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The peer: the regular files of the folder, those the set does not hold yet added to it and to
// the list, and the list sorted ignoring case.
void PeerRefresh(const std::string& host, std::unordered_set<std::string>& held,
                 std::vector<std::string>& list) {
    DIR* dir = opendir(host.c_str());
    if (!dir)
        std::abort();
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_type != DT_REG)
            continue;
        std::string name(entry->d_name);
        if (held.insert(Folded(name)).second)
            list.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(list.begin(), list.end(), LessNoCase);
}

void RefreshNew(benchmark::State& state) {
    CBenchFolder& folder = Folder();
    CSystemFidsFolder tree;
    std::unordered_set<std::string> held;
    std::vector<std::string> list;
    bench::InterleaveWithSetup(
        state, [&] { tree.Clear(); }, [&] { tree.RefreshFromDisk(folder.m_Engine, 0); },
        [&] {
            held.clear();
            list.clear();
        },
        [&] { PeerRefresh(folder.m_Host, held, list); });
    if (tree.m_Leaves.m_Count != kFiles || list.size() != kFiles)
        state.SkipWithError("not one entry per file");
    tree.Clear();
}

void RefreshSteady(benchmark::State& state) {
    CBenchFolder& folder = Folder();
    CSystemFidsFolder tree;
    tree.RefreshFromDisk(folder.m_Engine, 0);
    std::unordered_set<std::string> held;
    std::vector<std::string> list;
    PeerRefresh(folder.m_Host, held, list);
    bench::Interleave(
        state, [&] { tree.RefreshFromDisk(folder.m_Engine, 0); },
        [&] { PeerRefresh(folder.m_Host, held, list); });
    if (tree.m_Leaves.m_Count != kFiles || list.size() != kFiles)
        state.SkipWithError("not one entry per file");
    tree.Clear();
}

} // namespace

BENCHMARK(RefreshNew)->Unit(benchmark::kMillisecond);
BENCHMARK(RefreshSteady)->Unit(benchmark::kMillisecond);
