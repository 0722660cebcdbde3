// Fuzzes the reader of "LauncherSettings.txt": the input is the file's bytes. The settings and
// every log line must be those of a plain reading of the rules; read through the file beside the
// program they must be the same, and a file longer than 64 KB gives the defaults and one log line.
// Inputs of odd size are also padded with a comment line to exactly the limit (still read) and to
// one byte more (refused), so the limit is reached whatever the fuzzer's input lengths.
#include "FuzzFiles.h"
#include "core/base/ClassicLog.h"
#include "launcher/UpdateSettings.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>

namespace {

struct CExpected {
    std::string Host;
    bool Relaxed = false;
    std::string Log;
};

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && Blank(text[first]))
        ++first;
    while (last > first && Blank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

void Ignored(CExpected& expected, u32 number, const char* problem) {
    expected.Log += "[Launcher] LauncherSettings.txt line " + std::to_string(number) + ": " +
                    problem + "; ignored\r\n";
}

void ReadLine(CExpected& expected, u32 number, const std::string& raw) {
    const std::string line = Trimmed(raw);
    if (line.empty() || line[0] == '#')
        return;
    const size_t equal = line.find('=');
    if (equal == std::string::npos)
        return Ignored(expected, number, "no '='");
    const std::string key = Trimmed(line.substr(0, equal));
    const std::string value = Trimmed(line.substr(equal + 1));
    if (key == "update_host") {
        if (value.find('\0') != std::string::npos)
            return Ignored(expected, number, "a NUL in the host");
        expected.Host = value;
    } else if (key == "update_relaxed_certificates") {
        if (value != "0" && value != "1")
            return Ignored(expected, number, "the value is neither 0 nor 1");
        expected.Relaxed = value == "1";
    } else {
        Ignored(expected, number, "unknown key");
    }
}

CExpected Plain(std::string_view text) {
    CExpected expected;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    u32 number = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        ReadLine(expected, ++number, std::string(text.substr(start, end - start)));
        start = end + 1;
    }
    return expected;
}

// Collects the log lines of one reading.
class CLogWatch {
public:
    CLogWatch() { g_ClassicLog.m_FirstFileSink = &m_Lines; }
    ~CLogWatch() { g_ClassicLog.m_FirstFileSink = nullptr; }
    std::string Text() const { return m_Lines.str(); }

private:
    std::ostringstream m_Lines;
};

void CheckSame(const SUpdateSettings& settings, const CExpected& expected) {
    FUZZ_CHECK(std::string_view(settings.Host.GetText(), settings.Host.GetLength()) ==
               expected.Host);
    FUZZ_CHECK(settings.RelaxedCertificates == expected.Relaxed);
}

// Reads the settings file holding `text` through the launcher's road; `expected` is the reading
// of the text.
void CheckFile(const CFuzzFolder& folder, const std::string& text, const CExpected& expected) {
    folder.Write("LauncherSettings.txt", text);
    const std::u16string engine = folder.Engine();
    const CClassicWideString install(CClassicWideStringRef(engine.data(), u32(engine.size())));
    CLogWatch log;
    const SUpdateSettings settings = ReadUpdateSettings(install);
    if (text.size() <= kLauncherSettingsLimit) {
        CheckSame(settings, expected);
        FUZZ_CHECK(log.Text() == expected.Log);
    } else {
        CheckSame(settings, CExpected());
        CClassicString path;
        path.AppendWide(install);
        FUZZ_CHECK(log.Text() == "[Launcher] The settings file " + std::string(path.GetText()) +
                                     "LauncherSettings.txt cannot be read or is longer than 64 KB: "
                                     "no update server\r\n");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    static const CFuzzFolder s_Folder("launcher-settings-fuzz");
    const std::string text(reinterpret_cast<const char*>(data), size);

    const CExpected expected = Plain(text);
    {
        CLogWatch log;
        CheckSame(ParseUpdateSettings(text), expected);
        FUZZ_CHECK(log.Text() == expected.Log);
    }
    CheckFile(s_Folder, text, expected);
    if (size % 2 && size < kLauncherSettingsLimit) {
        // The comment line changes nothing but the length.
        CheckFile(s_Folder, PaddedWithComment(text, kLauncherSettingsLimit), expected);
        CheckFile(s_Folder, PaddedWithComment(text, kLauncherSettingsLimit + 1), CExpected());
    }
    return 0;
}
