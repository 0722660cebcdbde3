// Fuzzes the path helpers and the conversion between engine and host paths.
//
// The first byte is a set of normalisation flags; the rest is read as little-endian 16-bit
// units (an engine path) and as raw bytes (a host name). Checked: nothing crashes, every output
// is bounded by its input, the parts of a split path put back together give the path,
// normalising twice gives what normalising once gave, the component walks end, host names come
// back byte for byte, and no engine path reaches above the host root.
#include "FuzzCheck.h"
#include "platform/Endian.h"
#include "platform/HostPath.h"
#include "system/file/PathHelpers.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::u16string Text(const CClassicWideString& s) {
    return std::u16string(s.GetText(), s.GetLength());
}

void FuzzNormalisation(const CClassicWideString& path, u32 flags) {
    CClassicWideString once(path);
    NormalizePathFlags(once, flags);
    FUZZ_CHECK(once.GetLength() <= path.GetLength() + 1);
    CClassicWideString twice(once);
    NormalizePathFlags(twice, flags);
    FUZZ_CHECK(Text(twice) == Text(once));

    CClassicWideString relative;
    MakeRelativePath(path, u"Z:\\GameData\\", relative);
    FUZZ_CHECK(relative.GetLength() <= path.GetLength() + 1);
}

void FuzzSplitting(const CClassicWideString& path) {
    CClassicWideString drive, folder, name, extensions, classExtension;
    SplitPath(path, &drive, &folder, &name, &extensions, &classExtension);
    std::u16string slashed = Text(path);
    for (char16_t& c : slashed)
        c = c == u'/' ? u'\\' : c;
    FUZZ_CHECK(Text(drive) + Text(folder) + Text(name) + Text(extensions) == slashed);
    FUZZ_CHECK(classExtension.GetLength() < extensions.GetLength() || classExtension.IsEmpty());
    FUZZ_CHECK(HasZunExtension(path) == PathEndsWith(path, ".zun"));

    CClassicWideString out;
    RemoveLastExtension(path, out);
    FUZZ_CHECK(out.GetLength() <= path.GetLength());
    RemovePathExtensions(path, out);
    FUZZ_CHECK(out.GetLength() <= path.GetLength());
}

void FuzzComponents(const CClassicWideString& path) {
    CClassicWideString component;
    u32 position = 0, steps = 0;
    while (NextPathComponent(path, component, &position)) {
        FUZZ_CHECK(++steps <= path.GetLength());
        FUZZ_CHECK(position <= path.GetLength());
    }
    CClassicWideString rest(path);
    steps = 0;
    while (!rest.IsEmpty()) {
        const u32 before = rest.GetLength();
        PopLastPathComponent(rest, component);
        FUZZ_CHECK(rest.GetLength() < before);
        FUZZ_CHECK(++steps <= path.GetLength());
    }
    rest = path;
    TakeFirstComponent(rest, component);
    FUZZ_CHECK(rest.GetLength() <= path.GetLength());

    CClassicWideString hidden(path);
    u32 had = 0;
    HideTrailingBackslash(hidden, &had);
    RestoreTrailingBackslash(hidden, had);
    FUZZ_CHECK(Text(hidden) == Text(path));
}

void FuzzHostPaths(const CClassicWideString& path, const u8* bytes, size_t size) {
    std::string host;
    if (platform::ToHostPath(Text(path), host)) {
        FUZZ_CHECK(host.find('\0') == std::string::npos);
        // A rooted path never climbs above the root: it has no ".." component.
        if (host[0] == '/')
            FUZZ_CHECK(("/" + host + "/").find("/../") == std::string::npos);
    }

    const std::string name(reinterpret_cast<const char*>(bytes), size);
    FUZZ_CHECK(platform::WideToHostText(platform::HostTextToWide(name)) == name);
    if (!name.empty() && name != "." && name != ".." &&
        name.find_first_of(std::string("/\0", 2)) == std::string::npos) {
        // A name inside a folder: as a path of its own, "x:" would read as a drive.
        const std::u16string wide = platform::FromHostPath("/tmp/" + name);
        FUZZ_CHECK(wide.find(u'\\', 7) == std::u16string::npos);
        FUZZ_CHECK(platform::ToHostPath(wide, host) && host == "/tmp/" + name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Inputs past 4 KB are not tried: a host path has at most 4096 bytes (PATH_MAX), and the
    // walk that pops a path's components one by one copies the path at every step, so the
    // checks' time grows with the square of the length.
    if (size < 1 || size > 4096)
        return 0;
    const u32 flags = data[0] & 0x3F;
    std::u16string units;
    for (size_t i = 1; i + 1 < size; i += 2)
        units += char16_t(platform::LoadU16Le(data + i));
    const CClassicWideString path(CClassicWideStringRef(units.data(), u32(units.size())));

    FuzzNormalisation(path, flags);
    FuzzSplitting(path);
    FuzzComponents(path);
    FuzzHostPaths(path, data + 1, size - 1);
    return 0;
}
