#include "launcher/UpdateSettings.h"

#include "core/base/ClassicLog.h"
#include "launcher/UpdateProtocol.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"

#include <algorithm>
#include <string>

namespace {

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

void LogSettingsLine(u32 number, const char* problem) {
    LauncherLogLine("LauncherSettings.txt line %u: %s; ignored", number, problem);
}

} // namespace

SUpdateSettings ParseUpdateSettings(std::string_view text) {
    SUpdateSettings settings;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    u32 number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == '#')
            continue;
        const size_t equal = line.find('=');
        if (equal == std::string_view::npos) {
            LogSettingsLine(number, "no '='");
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equal));
        const std::string_view value = Trim(line.substr(equal + 1));
        if (key == "update_host") {
            if (value.find('\0') != std::string_view::npos) {
                LogSettingsLine(number, "a NUL in the host");
                continue;
            }
            settings.Host.Assign(CClassicStringRef(value.data(), u32(value.size())));
        } else if (key == "update_relaxed_certificates") {
            if (value != "0" && value != "1") {
                LogSettingsLine(number, "the value is neither 0 nor 1");
                continue;
            }
            settings.RelaxedCertificates = value == "1";
        } else {
            LogSettingsLine(number, "unknown key");
        }
    }
    return settings;
}

SUpdateSettings ReadUpdateSettings(CClassicWideStringRef installFolder) {
    CClassicWideString path(installFolder);
    path.Append(kLauncherSettingsFile);
    if (!FileExists(path))
        return {};
    CClassicBufferFile file;
    std::string text;
    bool read = file.Open(path, false, false, false, false) != 0;
    if (read && file.GetSize() > kLauncherSettingsLimit) {
        read = false;
    } else if (read) {
        text.resize(file.GetSize());
        read = file.Read(text.data(), u32(text.size())) == text.size();
    }
    file.Close();
    if (!read) {
        g_ClassicLogLine.Assign("[Launcher] The settings file ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append(" cannot be read or is longer than 64 KB: no update server\r\n");
        ClassicLogWriteLineToFiles();
        return {};
    }
    return ParseUpdateSettings(text);
}
