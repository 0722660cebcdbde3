#include "launcher/import/MusicImport.h"

#include "core/base/ClassicBufferCipher.h"
#include "core/base/ClassicLog.h"
#include "platform/Clock.h"
#include "platform/Crt.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"

#include <algorithm>

namespace {

// The source is read in pieces of this size; the cipher passes each on in pieces of 256 bytes.
constexpr u32 kReadPiece = 1024;

// Logs why a conversion failed, with both paths.
bool Fail(const char* why, CClassicWideStringRef source, CClassicWideStringRef target) {
    g_ClassicLogLine.Format("[Launcher] The music was not converted, %s: ", why);
    ClassicLogAppendWideText(g_ClassicLogLine, source);
    g_ClassicLogLine.Append(" -> ");
    ClassicLogAppendWideText(g_ClassicLogLine, target);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLine();
    return false;
}

// Copies the whole source through the enciphered stream onto the target; the failure, or null.
const char* CopyEnciphered(CClassicBufferFile& source, CClassicBufferFile& target) {
    CClassicBufferCipher cipher;
    if (!cipher.Open(&target, true, 0, nullptr))
        return "the header could not be written";
    u8 piece[kReadPiece];
    for (u32 remaining = source.GetSize(); remaining > 0;) {
        const u32 got = source.Read(piece, std::min(remaining, kReadPiece));
        if (got == 0)
            return "the source ended before its size";
        remaining -= got;
        if (cipher.Write(piece, got) != got)
            return "a write failed";
    }
    return nullptr;
}

} // namespace

bool ConvertMusicFile(CClassicWideStringRef source, CClassicWideStringRef target) {
    platform::RandomSetState(u32(u64(platform::WallClockNow() / 1000000000)));
    CClassicBufferFile in;
    if (!in.Open(source, false, false, false, false))
        return Fail("the source could not be opened", source, target);
    // The stream's sizes are 32-bit: a larger source would be converted in part.
    if (GetPathFileSize(source) > 0xFFFFFFFFu)
        return Fail("the source is 4 GB or more", source, target);
    if (FileExists(target))
        ClearReadOnlyAttribute(target);
    CClassicBufferFile out;
    if (!out.Open(target, true, true, true, false))
        return Fail("the target could not be opened", source, target);
    if (const char* problem = CopyEnciphered(in, out)) {
        out.Discard();
        return Fail(problem, source, target);
    }
    in.Close();
    if (!out.Close())
        return Fail("the target could not be written", source, target);
    return true;
}
