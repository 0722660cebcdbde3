// The main dialog's update road: the check, the offer, the download and storing the file.
#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "core/nod/MwCmdBufferCore.h"
#include "launcher/DownloadDlg.h"
#include "launcher/HelpDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/LauncherText.h"
#include "launcher/MainDlg.h"
#include "launcher/UpdateProtocol.h"
#include "launcher/UpdateSettings.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "platform/ui/MessageBox.h"
#include "system/config/HostInfo.h"
#include "system/config/SystemConfig.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFids.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "system/file/Registry.h"

#include <limits>
#include <string_view>

namespace {

// One reference on a request, given back at the end of the road (before the client goes).
struct SHeldRequest {
    SHeldRequest() = default;
    SHeldRequest(const SHeldRequest&) = delete;
    SHeldRequest& operator=(const SHeldRequest&) = delete;
    ~SHeldRequest() {
        if (Request)
            Request->Release();
    }
    CNetHttpResult* Request = nullptr;
};

// A request that failed because its answer passed the client's body limit.
bool PassedBodyLimit(const CNetHttpResult* request) {
    CClassicString text("Failed in call to InternetReadFile, Error: ");
    text.AppendInt(i32(platform::kHttpErrorOutOfMemory));
    return request->m_HttpError == 0 && request->m_Body.GetLength() == text.GetLength() &&
           std::string_view(request->m_Body.GetText(), request->m_Body.GetLength()) ==
               std::string_view(text.GetText(), text.GetLength());
}

// The failure of a request of the update road: no detail when none was made or its answer was
// too long, else the request's body (the client's error text).
void ShowRequestFailed(const ui::Dialog* owner, const CNetHttpResult* request) {
    if (!request || PassedBodyLimit(request)) {
        LauncherLogLine("Update: %s",
                        request ? "the answer is longer than 64 KB" : "no request was made");
        ShowUpdateFailed(owner);
        return;
    }
    ShowUpdateFailed(owner, request->m_Body);
}

void LogRefusedAnswer(u32 action, const char* problem) {
    LauncherLogLine("Update: the answer to action %u is refused: %s", action, problem);
}

// Text as UTF-8 after EF BB BF, the form the failure message decodes.
CClassicString MarkedUtf8(CClassicWideStringRef text) {
    CClassicString utf8;
    CClassicWideString(text).ToUtf8(utf8, true);
    return utf8;
}

// Where the download's body goes as it comes. The first bytes wait in memory until the download
// has truly started (more than the bytes the start waits for): then the folder is made and a
// temporary file beside the path is opened, takes them and every later byte, and replaces the
// path only once the whole file announced came; any other end removes it and leaves what was
// there as it was (a read-only earlier file read-only again). Where the folder or the file
// cannot be made (a folder in the file's place), the body stays in memory and storing it fails
// afterwards, as it always did.
class CDownloadTarget final : public CClassicBuffer {
public:
    explicit CDownloadTarget(const CClassicWideString& path) : m_Path(path) {}
    CDownloadTarget(const CDownloadTarget&) = delete;
    CDownloadTarget& operator=(const CDownloadTarget&) = delete;
    ~CDownloadTarget() override { Abandon(); }

    u32 Read(void*, u32) override { return 0; }
    u32 Write(const void* data, u32 n) override {
        if (m_Streaming)
            return m_File.Write(data, n);
        m_Held.Append(CClassicStringRef(static_cast<const char*>(data), n));
        if (!m_Decided && m_Held.GetLength() > kDownloadFirstBytes)
            Decide();
        return n;
    }
    bool Close() override { return true; }
    u32 GetPosition() const override { return 0; }
    u32 GetSize() const override { return 0; }

    // A write to the temporary file failed: the file cannot be stored.
    bool HasFailed() const { return m_Streaming && m_File.HasFailed(); }
    // The whole file in place; false, with the path as it was, when a step fails.
    bool Store() {
        if (!m_Decided)
            Decide();
        if (!m_Streaming)
            return m_FolderMade && StoreHeld();
        m_Streaming = false;
        if (m_File.Close())
            return true;
        RestoreAttribute();
        return false;
    }
    void Abandon() {
        if (!m_Streaming)
            return;
        m_Streaming = false;
        m_File.Discard();
        RestoreAttribute();
    }

private:
    void Decide() {
        m_Decided = true;
        m_FolderMade = !m_Path.IsEmpty() && CreateFolderPath(m_Path) != kCreateFolderFailed;
        if (!m_FolderMade)
            return;
        u32 isAFile = 0;
        const u32 readOnly = IsFileReadOnly(m_Path, &isAFile);
        if (isAFile && readOnly && !ClearReadOnlyAttribute(m_Path))
            return;
        m_WasReadOnly = isAFile && readOnly;
        if (!m_File.Open(m_Path, true, true, false, false)) {
            RestoreAttribute();
            return;
        }
        m_Streaming = true;
        const u32 held = m_Held.GetLength();
        m_File.Write(m_Held.GetText(), held);
        m_Held.FreeText();
    }
    bool StoreHeld() {
        if (FileExists(m_Path) && !ClearReadOnlyAttribute(m_Path))
            return false;
        CClassicBufferFile file;
        if (!file.Open(m_Path, true, true, false, false))
            return false;
        const bool written = file.Write(m_Held.GetText(), m_Held.GetLength()) == m_Held.GetLength();
        return file.Close() && written;
    }
    void RestoreAttribute() {
        if (m_WasReadOnly)
            SetReadOnlyAttribute(m_Path);
        m_WasReadOnly = false;
    }

    CClassicWideString m_Path;
    CClassicString m_Held;
    CClassicBufferFile m_File;
    bool m_Decided = false;
    bool m_FolderMade = false;
    bool m_Streaming = false;
    bool m_WasReadOnly = false;
};

} // namespace

void CMainDlg::OnUpdate() {
    // 1. The update server.
    const SUpdateSettings settings = ReadUpdateSettings(theApp.m_InstallFolder);
    if (settings.Host.IsEmpty())
        return;
    // 2.
    CNetHttpClient client;
    client.SetBodyLimit(kUpdateAnswerLimit);
    client.SetRelaxedCertificates(settings.RelaxedCertificates);
    if (const CSystemConfig* config = theApp.m_Config)
        client.SetCredentials(config->m_NetworkUseProxy, config->m_NetworkProxyLogin,
                              config->m_NetworkProxyPassword);
    if (!client.Open(settings.Host, kUpdateServerPort)) {
        LauncherLogLine("Update: the server %s cannot be opened: %s", settings.Host.GetText(),
                        client.GetLastError().GetText());
        ShowUpdateFailed(this);
        return;
    }
    // 3. The check.
    CSystemEngine* engine = GetSystemEngine();
    const CClassicString lang(engine ? engine->GetLanguageCode() : "xx");
    CClassicString version;
    ReadRegistryString("Version", version, "0.0.1.0");
    const CClassicString os(UpdateOsName(g_OsVersionInfo.PlatformId));
    SHeldRequest held;
    CNetHttpResult*& request = held.Request;
    if (!HttpGetAndWait(client, UpdateCheckPath(kUpdateActionCheck, lang, version, os), request)) {
        // 4. Only the check names the usual causes in the player's words.
        if (request && !PassedBodyLimit(request)) {
            const u32 error = request->m_HttpError;
            const char16_t* friendly = error == 404 || error == 12007 ? u"not connected to internet"
                                       : error == 407 || error == 12029 ? u"bad proxy configuration"
                                                                        : nullptr;
            if (friendly)
                request->m_Body = MarkedUtf8(g_ClassicTranslator.Translate(friendly));
        }
        ShowRequestFailed(this, request);
        return;
    }
    // 5.
    SUpdateCheckAnswer answer;
    const char* problem = nullptr;
    if (!ParseUpdateCheckAnswer(request->m_Body, answer, problem)) {
        LogRefusedAnswer(kUpdateActionCheck, problem);
        ShowUpdateFailed(this);
        return;
    }
    // 6. Remembered for the reminder of the next start.
    WriteRegistryString("PatchAvailable", answer.SizeToken.GetText());
    // 7.
    if (answer.Size == 0) {
        ui::MessageBox(this, LauncherUtf8(answer.Text),
                       LauncherTranslate(u"Information (no download needed)"), ui::MB_OK);
        return;
    }
    // 8. The offer.
    CClassicString kilobytesText;
    PatchReminderKilobytes(answer.SizeToken, kilobytesText);
    const CClassicWideString kilobytes(kilobytesText);
    CClassicWideString offer;
    offer.Format2(g_ClassicTranslator.Translate(
                      u"A new version of the game is available (%1 kBytes).\n%2\nDo you want to "
                      u"download the update and upgrade the game ?\n"),
                  kilobytes, answer.Text);
    if (ui::MessageBox(nullptr, LauncherUtf8(offer), LauncherTranslate(u"Download ?"),
                       ui::MB_YESNO) != ui::IDYES)
        return;
    // 9, 10. Where to fetch it.
    if (!HttpGetAndWait(client, UpdateCheckPath(kUpdateActionLocate, lang, version, os), request)) {
        ShowRequestFailed(this, request);
        return;
    }
    SUpdateLocation location;
    if (!ParseUpdateLocation(request->m_Body, location, problem)) {
        LogRefusedAnswer(kUpdateActionLocate, problem);
        ShowUpdateFailed(this);
        return;
    }
    // 11, 12. The download, which may not grow past the size announced, into the file where it
    // is stored (which outlives the download's client).
    CClassicWideString path;
    if (engine) {
        if (CSystemFids* data = engine->GetDataFolder())
            data->GetFullDirName(path);
    }
    path.Append(u"Download\\");
    path.AppendNarrow(CDownloadDlg::FileNameOfPath(location.Path));
    const CClassicWideString shown = LauncherPathForPlayer(path);
    CDownloadTarget target(path);
    CDownloadDlg download(location.DownloadId, nullptr);
    download.m_SizeText.Format1(g_ClassicTranslator.Translate(u"File size is %1 kBytes."),
                                kilobytes);
    download.m_Description = answer.Text;
    download.m_UpdateClient = &client;
    download.m_DownloadClient.SetRelaxedCertificates(settings.RelaxedCertificates);
    download.m_DownloadClient.SetBodyLimit(u32(answer.Size));
    if (!download.StartDownload(location.Host, location.Path, &target)) {
        LauncherLogLine("Update: the download from %s failed: %s", location.Host.GetText(),
                        download.m_DownloadClient.GetLastError().GetText());
        ShowUpdateFailed(this);
        return;
    }
    const auto storeFailed = [&] {
        g_ClassicLogLine.Assign("[Launcher] Update: the download cannot be stored as ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLineToFiles();
    };
    // 13.
    i64 opened = 0;
    i64 closed = 0;
    MwQueryPerformanceCounter(&opened);
    const int result = download.DoModal();
    MwQueryPerformanceCounter(&closed);
    const i64 seconds = MwCounterToMs(closed - opened) / 1000;
    const i32 time = i32(std::min<i64>(seconds, std::numeric_limits<i32>::max()));
    const auto report = [&](u32 action) {
        HttpGetAndWait(client, UpdateResultPath(action, location.DownloadId, time), request);
    };
    CNetHttpResult* const file = download.m_DownloadRequest;
    if (target.HasFailed()) {
        target.Abandon();
        storeFailed();
        report(kUpdateActionAbandoned);
        ShowUpdateFailed(this, MarkedUtf8(shown));
        return;
    }
    if (result != ui::IDOK || file->m_Status != CNetHttpResult::s_StatusDone) {
        // 15.
        report(kUpdateActionAbandoned);
        return;
    }
    // 14. Stored only when the whole file announced came.
    if (file->GetReceived() != u32(answer.Size)) {
        LauncherLogLine("Update: %u bytes came, %d were announced: not stored", file->GetReceived(),
                        answer.Size);
        report(kUpdateActionAbandoned);
        ShowUpdateFailed(this);
        return;
    }
    if (!target.Store()) {
        storeFailed();
        report(kUpdateActionAbandoned);
        ShowUpdateFailed(this, MarkedUtf8(shown));
        return;
    }
    report(kUpdateActionFinished);
    WriteRegistryString("PatchAvailable", "0");
    CClassicWideString done;
    done.Format1(g_ClassicTranslator.Translate(
                     u"The new version of the game has been downloaded with success (in "
                     u"%1).\nThe installation of this updgrade will begin now."),
                 shown);
    ui::MessageBox(this, LauncherUtf8(done), LauncherTranslate(u"Download done"), ui::MB_OK);
    // The installer is handed to the desktop; when nothing opens it, the box names the file so
    // that the player can run it by hand. The launcher ends without starting the game.
    ShellOpenOrTell(this, path);
    OnCancel();
}
