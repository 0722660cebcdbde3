#pragma once
// CPlug, the root of every Plug asset class, and CPlugFile, the base of every asset stored as a
// file of its own format (a picture, a text, a zip archive, a generated image) rather than as a
// chunked ".Zun" archive: the extension table that gives the class of a file from its name, and
// the load and save roads by path, stream and file id.
//
// A load never fails outright: a file that cannot be opened or read gives the class's default
// content (CreateDefault) and its result. The failure is written to the engine log and
// remembered: HasLoadFailed() tells a caller that must know (the custom-data import).
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"

class CClassicBuffer;
class CSystemFid;

class CPlug : public CMwNod {
    MW_DECLARE_CLASS(CPlug, CMwNod, 0x0902B000)
};

class CPlugFile : public CPlug {
    MW_DECLARE_CLASS(CPlugFile, CPlug, 0x09020000)
public:
    static constexpr u32 s_ReGenerateMemberId = 0x09020000;

    // The body of a file-backed nod inside an archive is exactly what WriteToArchive writes and
    // ReadFromArchive reads: no chunks, no closing chunk id. Answers 0 or throws.
    u32 Archive(CClassicArchive& archive) override;

    // The operations file classes override, with the answers of a class that stores nothing.
    virtual i32 ReadFromArchive(CClassicArchive&) { return 0; }
    virtual i32 WriteToArchive(CClassicArchive&) { return 0; }
    // Gives the nod its default content; the result is what a failed load answers.
    virtual i32 CreateDefault() { return 0; }
    // Non-zero when the stream was read / written whole.
    virtual i32 ReadFromStream(CClassicBuffer&) { return 0; }
    virtual i32 WriteToStream(CClassicBuffer&) { return 0; }
    // Opens the file for reading and reads it through ReadStreamOrDefault; a file that cannot be
    // opened gives CreateDefault's result (logged, HasLoadFailed()).
    virtual i32 LoadFromPath(CClassicWideStringRef path);
    // Writes the file through a temporary file that replaces it once complete: 0 (and the old
    // file as it was, no temporary left) when the file cannot be created, WriteToStream answers
    // 0 or a write or the replace fails; else WriteToStream's result.
    virtual i32 SaveToPath(CClassicWideStringRef path);
    // Loads from the bound file id: through the file id's loader when it has one (1 when the
    // loader gave this nod), else LoadFromPath of its full name; 0 without a bound file id.
    virtual i32 EnsureLoaded();
    // Saves the nod as an archive at the path; nothing for classes that cannot.
    virtual void ExportAsArchive(CClassicWideStringRef) {}
    // Reads the enciphered text form (".cry"). Only text files have one: any other class fails
    // such a read, which then gives its default content.
    virtual i32 ReadCry(CClassicBuffer&) { return 0; }

    // The class of the nod that holds a file of that name (the extension table; the first row
    // whose suffix the name ends with decides); 0xFFFFFFFF when no row matches.
    static u32 ClassIdFromFileName(CClassicWideStringRef name);
    // ClassIdFromFileName of the file id's name; 0xFFFFFFFF for a null file id or one without a
    // name.
    static u32 ClassIdFromFid(CSystemFid* fid);
    // A new nod of the file id's class (null when no class of that id exists); null after the
    // log line "Unrecognized format file <full path>" when the name matches no row.
    static CMwNod* CreateNodFromFid(CSystemFid* fid);
    // The full path of the bound file id when it is a disk file id; otherwise `out` is left as
    // it is.
    void GetFilePath(CClassicWideString& out);

    using ReadOperation = i32 (CPlugFile::*)(CClassicBuffer&);
    // The guarded read: `read` (ReadCry for a path ending in ".cry") on the stream; 1 when it
    // answers non-zero. A zero answer or an exception (none escapes) writes the failure to the
    // log, sets *failed and HasLoadFailed(), and gives CreateDefault's result.
    i32 ReadStreamOrDefault(CClassicBuffer& stream, CClassicWideStringRef path,
                            u32* failed = nullptr, ReadOperation read = &CPlugFile::ReadFromStream);

    // True after a load by path, stream or file id that failed (default content given, or 0
    // answered by a class that keeps its content); false after a good one. Overrides of the load
    // operations keep it the same way (SetLoadFailed).
    bool HasLoadFailed() const { return m_LoadFailed; }

    // The ReGenerate member: loads again from the bound file id.
    void ReGenerate() { EnsureLoaded(); }

protected:
    void SetLoadFailed(bool failed) { m_LoadFailed = failed; }
    // Writes "<what><path>" to the engine log (the path narrowed) and sets HasLoadFailed().
    void LogLoadFailure(const char* what, CClassicWideStringRef path);

private:
    bool m_LoadFailed = false;
};
