#pragma once
// The one argument of the seed writers: the corpus folder, made when missing. A call without it
// prints the usage line and ends the program with status 2.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

inline std::filesystem::path CorpusFolderArgument(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        std::exit(2);
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    return folder;
}
