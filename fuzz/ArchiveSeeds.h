#pragma once
// Seeds saved by the archive writer: a nod's image in a form, and the seed files of its binary
// and text forms ("<name>-binary.Zun", "<name>-text.Zun").
#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"

#include <filesystem>
#include <fstream>
#include <string>

// The image the archive writer makes of the nod with the save flags; empty when the save fails.
inline std::string SaveArchiveImage(CMwNod* nod, u32 saveFlags) {
    CSystemArchive archive;
    archive.SetSaveFlags(saveFlags);
    CClassicBufferMemory out;
    if (!archive.Save(nod, &out))
        return {};
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
}

// False for an empty image or a file that could not be written.
inline bool WriteSeedFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return !bytes.empty() && file.good();
}

inline bool WriteArchiveSeeds(const std::filesystem::path& folder, const std::string& name,
                              CMwNod* nod, bool binaryOnly = false) {
    bool written = WriteSeedFile(folder / (name + "-binary.Zun"),
                                 SaveArchiveImage(nod, kSystemArchiveSaveRelease));
    if (!binaryOnly)
        written &= WriteSeedFile(folder / (name + "-text.Zun"),
                                 SaveArchiveImage(nod, kSystemArchiveSaveText));
    return written;
}
