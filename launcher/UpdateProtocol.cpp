#include "launcher/UpdateProtocol.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTokenizer.h"
#include "platform/http/HttpTransport.h"
#include "system/config/HostInfo.h"

#include <cstdarg>
#include <limits>
#include <string_view>

namespace {

constexpr const char* kUpdateScript = "patch/patch.php";
constexpr i32 kUpdateProtocol = 2;

// A number token as the engine reads it; a value at a 32-bit limit is what the parser answers
// past the range, so it is no value at all.
bool ParseBoundedInteger(const CClassicString& token, i32& value) {
    return token.ParseInteger(value) && value != std::numeric_limits<i32>::max() &&
           value != std::numeric_limits<i32>::min();
}

} // namespace

CClassicString UpdateCheckPath(u32 action, CClassicStringRef lang, CClassicStringRef version,
                               CClassicStringRef os) {
    CClassicString path;
    path.Format("%s?action=%u&game=Brisalde&lang=", kUpdateScript, action);
    path.Append(lang);
    path.Append("&version=");
    path.Append(version);
    path.Append("&os=");
    path.Append(os);
    path.AppendFormat("&protocol=%d", kUpdateProtocol);
    return path;
}

CClassicString UpdateProgressPrefix(i32 downloadId) {
    CClassicString path;
    path.Format("%s?action=%u&id_download=%d&protocol=%d&progress=", kUpdateScript,
                kUpdateActionProgress, downloadId, kUpdateProtocol);
    return path;
}

CClassicString UpdateResultPath(u32 action, i32 downloadId, i32 seconds) {
    CClassicString path;
    path.Format("%s?action=%u&id_download=%d&protocol=%d&time=%d", kUpdateScript, action,
                downloadId, kUpdateProtocol, seconds);
    return path;
}

const char* UpdateOsName(u32 platformId) {
    return platformId == kOsPlatformNt ? "WinNt2kXp" : "Win9x";
}

bool ParseUpdateCheckAnswer(CClassicStringRef body, SUpdateCheckAnswer& out, const char*& problem) {
    out = SUpdateCheckAnswer();
    const CClassicString text(body);
    CClassicTokenizer tokenizer(";", true);
    i32 status = 0;
    if (!text.NextToken(tokenizer)) {
        problem = "no status";
        return false;
    }
    if (!tokenizer.m_Token.ParseInteger(status) || status != 0) {
        problem = "the status is not 0";
        return false;
    }
    if (!text.NextToken(tokenizer)) {
        problem = "no size";
        return false;
    }
    i32 size = 0;
    if (!ParseBoundedInteger(tokenizer.m_Token, size) || size < 0) {
        problem = "the size is not a number of bytes";
        return false;
    }
    out.Size = size;
    out.SizeToken = tokenizer.m_Token;
    // The text may hold ';' itself: everything after the size's separators.
    const u32 rest =
        (tokenizer.m_Flags & kClassicTokenizerAtEnd) ? text.GetLength() : tokenizer.m_Position;
    out.Text.AssignFromNarrow(CClassicStringRef(text.GetText() + rest, text.GetLength() - rest));
    return true;
}

bool ParseUpdateLocation(CClassicStringRef body, SUpdateLocation& out, const char*& problem) {
    out = SUpdateLocation();
    const CClassicString text(body);
    CClassicTokenizer tokenizer(";", true);
    CClassicString tokens[4];
    for (CClassicString& token : tokens) {
        if (!text.NextToken(tokenizer)) {
            problem = "a token is missing";
            return false;
        }
        token = tokenizer.m_Token;
    }
    i32 status = 0;
    if (!tokens[0].ParseInteger(status) || status != 0) {
        problem = "the status is not 0";
        return false;
    }
    i32 id = 0;
    if (!ParseBoundedInteger(tokens[1], id) || id == 0) {
        problem = "the download identifier is not a number other than 0";
        return false;
    }
    if (!platform::IsUsableHttpHost(std::string_view(tokens[2].GetText(), tokens[2].GetLength()))) {
        problem = "the host is not a host name";
        return false;
    }
    if (tokens[3].IsEmpty()) {
        problem = "the path is empty";
        return false;
    }
    const i32 slash = tokens[3].ReverseFind('/');
    const u32 nameStart = slash < 0 ? 0 : u32(slash) + 1;
    const CClassicStringRef name(tokens[3].GetText() + nameStart,
                                 tokens[3].GetLength() - nameStart);
    if (!IsSafeDownloadFileName(name)) {
        problem = "the file name cannot be stored";
        return false;
    }
    out.DownloadId = id;
    out.Host = tokens[2];
    out.Path = tokens[3];
    out.FileName.Assign(name);
    return true;
}

bool IsSafeDownloadFileName(CClassicStringRef name) {
    const std::string_view text(name.m_Text, name.m_Length);
    if (text.empty() || text == "." || text == ".." || text.size() > kUpdateFileNameLimit)
        return false;
    for (const char c : text) {
        if (u8(c) < 0x20 || c == 0x7F ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

void LauncherLogLine(const char* format, ...) {
    CClassicString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    g_ClassicLogLine.Assign("[Launcher] ");
    ClassicLogAppendText(g_ClassicLogLine, text);
    g_ClassicLogLine.Append("\r\n");
    ClassicLogWriteLineToFiles();
}
