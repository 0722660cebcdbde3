#include "plug/bitmap/PlugFile.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "plug/PlugStart.h"
#include "system/archive/SystemArchive.h"
#include "system/config/SystemLanguage.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemPack.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/PathHelpers.h"

#include <exception>

#define CPLUGFILE_MEMBERS(X)                                                                       \
    X(Action, 0x09020000, "ReGenerate", MW_VIRTUAL(""), "Regenerate", 0x02, 0x380,                 \
      MwThunk<&CPlugFile::ReGenerate>::Call)

MW_DEFINE_CLASS(CPlug, MwFactory<CPlug>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CPlugFile, nullptr, CPLUGFILE_MEMBERS, MW_NO_CHUNKS);

namespace {

// The extension table, one line per suffix, the rows in the order that decides: ".vsh.txt"
// comes before ".txt" and ".text.cry" before ".cry", so the longer suffixes win; ".mpj.txt" and
// ".mpj.cry" stand after ".txt" and ".cry" and never decide (they name the same class).
struct SExtensionRow {
    const char* Suffix;
    u32 ClassId;
};

constexpr u32 kJpgClassId = 0x09022000;
constexpr u32 kTgaClassId = 0x09023000;
constexpr u32 kVshClassId = 0x09042000;
constexpr u32 kPshClassId = 0x09045000;
constexpr u32 kTextClassId = 0x09041000;
constexpr u32 kVHlslClassId = 0x09074000;
constexpr u32 kPHlslClassId = 0x09077000;
constexpr u32 kZipClassId = 0x09084000;
constexpr u32 kCatalogueClassId = 0x09055000;

constexpr SExtensionRow kExtensionRows[] = {
    {".jpg", kJpgClassId},         {".jpeg", kJpgClassId},        {".tga", kTgaClassId},
    {".dds", 0x09024000},          {".avi", 0x09032000},          {".bik", 0x0905F000},
    {".wav", 0x09031000},          {".mid", 0x09035000},          {".midi", 0x09035000},
    {".mp3", 0x09036000},          {".ogg", 0x0905A000},          {".mux", 0x0905A000},
    {".vsh.txt", kVshClassId},     {".vsh.cry", kVshClassId},     {".psh.txt", kPshClassId},
    {".psh.cry", kPshClassId},     {".text.txt", kTextClassId},   {".text.cry", kTextClassId},
    {".script.txt", kTextClassId}, {".script.cry", kTextClassId}, {".vpp.txt", kTextClassId},
    {".vpp.cry", kTextClassId},    {".vhlsl.txt", kVHlslClassId}, {".vhlsl.cry", kVHlslClassId},
    {".phlsl.txt", kPHlslClassId}, {".phlsl.cry", kPHlslClassId}, {".txt", kTextClassId},
    {".cry", kTextClassId},        {".mpj.txt", kTextClassId},    {".mpj.cry", kTextClassId},
    {".zip", kZipClassId},         {".ttf", 0x0902D000},          {".fnt", 0x0902D000},
    {".ttc", 0x0902D000},          {".mo", kCatalogueClassId},    {".fx", 0x09094000},
    {".obj", 0x09099000},          {".3ds", 0x0909B000},
};

// The ids the System library names without linking this library.
static_assert(kSystemArchivePlugFileClassId == CPlugFile::s_ClassId);
static_assert(kPlugFileZipClassId == kZipClassId);
static_assert(kTranslationCatalogueClassId == kCatalogueClassId);

// Writes a failure text of the guarded read to the log, as one line.
void LogReadFailure(CClassicWideStringRef path, const char* detail) {
    g_ClassicLogLine.Assign("Error in ");
    g_ClassicLogLine.AppendWide(path);
    g_ClassicLogLine.Append("\r\n");
    g_ClassicLogLine.Append(detail);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
}

} // namespace

u32 CPlugFile::Archive(CClassicArchive& archive) {
    if (archive.m_Writing)
        WriteToArchive(archive);
    else
        ReadFromArchive(archive);
    return 0;
}

u32 CPlugFile::ClassIdFromFileName(CClassicWideStringRef name) {
    for (const SExtensionRow& row : kExtensionRows) {
        if (PathEndsWith(name, row.Suffix))
            return row.ClassId;
    }
    return 0xFFFFFFFF;
}

// The services' own answers over ClassIdFromFileName, whether they are installed or not.
u32 CPlugFile::ClassIdFromFid(CSystemFid* fid) {
    return PlugFileClasses().ClassIdFromFid(fid);
}

CMwNod* CPlugFile::CreateNodFromFid(CSystemFid* fid) {
    return PlugFileClasses().CreateNodFromFid(fid);
}

void CPlugFile::GetFilePath(CClassicWideString& out) {
    CSystemFid* fid = GetFid();
    if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(out);
}

void CPlugFile::LogLoadFailure(const char* what, CClassicWideStringRef path) {
    g_ClassicLogLine.Assign(what);
    g_ClassicLogLine.AppendWide(path);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
    m_LoadFailed = true;
}

i32 CPlugFile::ReadStreamOrDefault(CClassicBuffer& stream, CClassicWideStringRef path, u32* failed,
                                   ReadOperation read) {
    try {
        const i32 result = PathEndsWith(path, ".cry") ? ReadCry(stream) : (this->*read)(stream);
        if (result != 0) {
            if (failed)
                *failed = 0;
            m_LoadFailed = false;
            return 1;
        }
        LogLoadFailure("Failed to load ", path);
    } catch (const std::exception& error) {
        LogReadFailure(path, error.what() ? error.what() : "");
    } catch (...) {
        // A stream that ran short (CClassicBufferException) or anything else without a text.
        LogReadFailure(path, "Invalid file format");
    }
    m_LoadFailed = true;
    if (failed)
        *failed = 1;
    return CreateDefault();
}

i32 CPlugFile::LoadFromPath(CClassicWideStringRef path) {
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false)) {
        LogLoadFailure("Failed to load ", path);
        return CreateDefault();
    }
    return ReadStreamOrDefault(file, path);
}

i32 CPlugFile::SaveToPath(CClassicWideStringRef path) {
    CClassicBufferFile file;
    i32 written = 0;
    if (file.Open(path, true, true, false, false)) {
        try {
            written = WriteToStream(file);
        } catch (...) {
            written = 0;
        }
        if (written == 0)
            file.Discard();
        else if (!file.Close())
            written = 0;
    }
    if (written == 0) {
        g_ClassicLogLine.Assign("Failed to save ");
        g_ClassicLogLine.AppendWide(path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
    }
    return written;
}

i32 CPlugFile::EnsureLoaded() {
    CSystemFid* fid = GetFid();
    if (!fid)
        return 0;
    if (CMwNod* loader = fid->GetLoader()) {
        // The loader reads this nod through its own stream (the guarded read sets the flag).
        m_LoadFailed = false;
        CMwNod* nod = this;
        if (loader->LoadFid(&nod, fid) != 0 && nod == this)
            return 1;
        CClassicWideString path;
        GetFilePath(path);
        LogLoadFailure("Failed to load ", path);
        return 0;
    }
    CClassicWideString path;
    GetFilePath(path);
    return LoadFromPath(path);
}
