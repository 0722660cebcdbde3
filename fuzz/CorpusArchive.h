#pragma once
// Seeds of the archive fuzz targets: a nod saved by the archive writer as <name>-binary.Zun and,
// unless binary only, <name>-text.Zun in the corpus folder.
#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"

#include <filesystem>
#include <fstream>
#include <string>

inline bool WriteArchiveSeeds(const std::filesystem::path& folder, const std::string& name,
                              CMwNod* nod, bool binaryOnly = false) {
    const struct {
        const char* Suffix;
        u32 Flags;
    } forms[] = {{"-binary", kSystemArchiveSaveRelease}, {"-text", kSystemArchiveSaveText}};
    for (const auto& form : forms) {
        if (binaryOnly && (form.Flags & kSystemArchiveSaveText))
            continue;
        CSystemArchive archive;
        archive.SetSaveFlags(form.Flags);
        CClassicBufferMemory out;
        if (!archive.Save(nod, &out))
            return false;
        std::ofstream file(folder / (name + form.Suffix + ".Zun"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
        if (!file.good())
            return false;
    }
    return true;
}
