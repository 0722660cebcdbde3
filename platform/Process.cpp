#include "platform/Process.h"

#include "platform/HostPath.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::optional<std::u16string>& CommandLineSlot() {
    static std::optional<std::u16string> s_Line;
    return s_Line;
}

// The absolute host path of the running executable, or argv[0] when it cannot be read.
std::string ExecutablePath(const char* argv0) {
    std::string path = GetExecutablePath();
    return path.empty() && argv0 ? argv0 : path;
}

} // namespace

std::string GetExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t got = readlink("/proc/self/exe", path.data(), path.size());
    if (got <= 0 || size_t(got) >= path.size())
        return std::string();
    path.resize(size_t(got));
    return path;
}

std::u16string QuoteArgument(std::u16string_view argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\r\n\"") == std::u16string_view::npos)
        return std::u16string(argument);
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, u'\\');
    out += u'"';
    return out;
}

std::u16string CommandLineFromArguments(int argc, const char* const* argv) {
    std::u16string line = QuoteArgument(FromHostPath(ExecutablePath(argc > 0 ? argv[0] : nullptr)));
    for (int i = 1; i < argc; ++i) {
        line += u' ';
        line += QuoteArgument(HostTextToWide(argv[i] ? argv[i] : ""));
    }
    return line;
}

const std::u16string& GetCommandLine() {
    std::optional<std::u16string>& slot = CommandLineSlot();
    if (!slot) {
        std::ifstream file("/proc/self/cmdline", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        std::vector<std::string> arguments;
        size_t start = 0;
        while (start < bytes.size()) {
            const size_t end = std::min(bytes.find('\0', start), bytes.size());
            arguments.push_back(bytes.substr(start, end - start));
            start = end + 1;
        }
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        slot = CommandLineFromArguments(int(argv.size()), argv.data());
    }
    return *slot;
}

void SetCommandLine(std::u16string line) {
    CommandLineSlot() = std::move(line);
}

} // namespace platform
