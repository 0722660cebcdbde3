#pragma once
// Support for the launcher's window tests: the tests' French catalogue (the longest texts) and
// the pictures kept for a person to look at.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicTranslator.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace launchertest {

// Loads the tests' French catalogue, made by msgfmt into a folder, into the translator.
inline bool LoadFrench(const std::string& folder) {
    const std::string mo = folder + "/fr.mo";
    const std::string command = std::string("msgfmt --check -o ") + mo + " " +
                                ENGINE_TEST_SOURCE_DIR + "/tests/launcher/data/fr.po";
    if (std::system(command.c_str()) != 0)
        return false;
    std::ifstream in(mo, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CClassicBufferMemory stream;
    stream.Write(bytes.data(), u32(bytes.size()));
    stream.Rewind();
    CClassicString error;
    return g_ClassicTranslator.LoadMo("fr", &stream, error);
}

// Copies a picture to the folder named by BRISALDE_TEST_PICTURES, when it is set.
inline void KeepPicture(const std::string& picture) {
    if (const char* keep = std::getenv("BRISALDE_TEST_PICTURES")) {
        std::error_code ignored;
        std::filesystem::copy_file(
            picture, std::string(keep) + "/" + std::filesystem::path(picture).filename().string(),
            std::filesystem::copy_options::overwrite_existing, ignored);
    }
}

} // namespace launchertest
