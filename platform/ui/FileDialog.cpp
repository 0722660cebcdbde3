#include "platform/ui/FileDialog.h"

#include "platform/ui/Layer.h"

#include <sys/stat.h>
#include <unistd.h>

namespace ui {

namespace {

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// '*' matches any run, '?' one byte; ASCII letters match without regard to case.
bool MatchWildcard(std::string_view name, std::string_view pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::string_view::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// UTF-16 units of a UTF-8 text; a byte that does not start a valid sequence counts as one unit,
// as the engine's path conversion keeps it as one.
size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    size_t i = 0;
    while (i < text.size()) {
        const u8 lead = u8(text[i]);
        size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (u8(text[i + k]) & 0xC0) == 0x80;
        if (!valid)
            length = 1;
        units += valid && length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

// The platform's dialog wrote the path into a buffer of 260 UTF-16 units with its terminator.
constexpr size_t MaxEnginePath = 259;

std::string CurrentFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace

bool MatchesPatterns(std::string_view name, std::string_view patterns) {
    bool any = false;
    while (true) {
        const size_t end = patterns.find(';');
        const std::string_view pattern = TrimBlanks(patterns.substr(0, end));
        if (!pattern.empty()) {
            any = true;
            if (pattern == "*.*" || MatchWildcard(name, pattern))
                return true;
        }
        if (end == std::string_view::npos)
            break;
        patterns.remove_prefix(end + 1);
    }
    return !any;
}

std::optional<std::string> OpenFileDialog(const Dialog* owner, const OpenFileSpec& spec) {
    detail::State& state = detail::GetState();
    if (!state.Installed)
        return std::nullopt;
    Frame frame;
    frame.Kind = FrameKind::File;
    frame.Owner = owner && owner->IsOpen() ? owner : nullptr;
    frame.File = &spec;
    const detail::FrameScope scope(frame);
    state.Installed->FrameOpened(frame);
    detail::RunModalLoop(frame);
    if (state.Installed)
        state.Installed->FrameClosed(frame);
    return frame.Path;
}

namespace input {

InputResult ChooseFile(Frame& file, std::string_view path, std::string& problem) {
    const OpenFileSpec& spec = *file.File;
    if (path.empty()) {
        problem = "no file name";
        return InputResult::Refused;
    }
    std::string full;
    if (path.front() != '/') {
        full = spec.InitialFolder.empty() ? CurrentFolder() : spec.InitialFolder;
        if (full.empty() || full.back() != '/')
            full += '/';
    }
    full += path;
    const size_t slash = full.rfind('/');
    std::string name = full.substr(slash + 1);
    if (name.empty()) {
        problem = "no file name";
        return InputResult::Refused;
    }
    if (name.find('.') == std::string::npos && !spec.DefaultExtension.empty()) {
        name += '.';
        name += spec.DefaultExtension;
        full += '.';
        full += spec.DefaultExtension;
    }
    // A name with wildcards becomes the list's filter on the platform, never its answer. Any
    // other name is taken whether or not the filter lists it: the filter only chooses what the
    // list shows, and the user may type what it hides.
    if (name.find_first_of("*?") != std::string::npos) {
        problem = "the name is a pattern";
        return InputResult::Refused;
    }
    if ((spec.Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) &&
        !IsFolder(slash == 0 ? std::string("/") : full.substr(0, slash))) {
        problem = "the folder does not exist";
        return InputResult::Refused;
    }
    if ((spec.Flags & OFN_FILEMUSTEXIST) && !IsFile(full)) {
        problem = "the file does not exist";
        return InputResult::Refused;
    }
    file.Ended = true;
    // The engine form adds the drive "Z:" before the host path.
    if (2 + Utf16Length(full) > MaxEnginePath) {
        problem = "the path is too long";
        file.Path.reset();
        return InputResult::Done;
    }
    file.Path = full;
    return InputResult::Done;
}

} // namespace input

} // namespace ui
