#pragma once
// The update download: the dialog that shows the file coming from the download server, with its
// size, the update's text, a progress bar and Cancel, and the waits of the update road.
//
// The dialog polls its own HTTP client every 500 ms (100 ms of waiting per tick). It ends with
// IDOK once the file is there (or when the player presses Enter before), and with IDCANCEL when
// the player cancels or the download fails. At most once a minute, process-wide, a progress
// report is queued on the update server's client; queued reports leave with the next wait on
// that client.
#include "core/base/ClassicString.h"
#include "net/http/NetHttpClient.h"
#include "platform/ui/Dialog.h"

class CClassicBuffer;
class CNetHttpResult;

// Template and control ids.
inline constexpr u32 kDownloadDlgTemplateId = 140;
inline constexpr u32 kDownloadDlgProgressId = 1046;
inline constexpr u32 kDownloadDlgDescriptionId = 1047;
inline constexpr u32 kDownloadDlgSizeTextId = 1049;
// The polling timer.
inline constexpr u32 kDownloadDlgTimerId = 0;
inline constexpr u32 kDownloadDlgTimerMs = 500;
// The least time between two progress reports.
inline constexpr i64 kDownloadReportPeriodMs = 60000;
// Bytes the download must have brought before the dialog opens.
inline constexpr u32 kDownloadFirstBytes = 1000;

// The counter value (MwQueryPerformanceCounter) of the last progress report; 0 before the first.
// Process-wide: a second download in the same run reports only once a minute has passed.
extern constinit i64 g_DownloadLastReportCounter;

// Registers template 140 with the dialog layer.
void RegisterDownloadDlgResources();

// The failure message: the translation of "Check of %1 update failed !" with "Brisalde", then a
// line with the detail when one is given (UTF-8 when it begins with EF BB BF, else one character
// per byte), caption the translation of "Error", OK.
void ShowUpdateFailed(const ui::Dialog* owner, CClassicStringRef detail = {});

// The longest a blocking wait below lasts, from the request's creation: the answers it waits for
// are small (the update server's, the download's first bytes), and the player has no Cancel
// while the main dialog is frozen. A server that drips bytes passes the transport's low-speed
// check, so the wait ends the request itself: it fails as the transport's time-out,
// "Failed in async operation, Error: 12 002". Tests may shorten it (HttpTestHooks::WaitLimitMs).
inline constexpr u32 kHttpWaitLimitMs = 60000;

// A GET of the path (no cache, redirects allowed, from the first byte) into request: a reference
// is taken on the new request and the one held before is given back; null when none could be
// made. Waits in 1000 ms slices until the request is Done or in Error, or has left its client,
// or the wait limit has passed. True exactly when it is Done.
bool HttpGetAndWait(CNetHttpClient& client, CClassicStringRef path, CNetHttpResult*& request);
// The same, but waits only while at most `count` bytes have come and the request has neither
// ended nor left its client. With a body stream the answer's body goes there as it comes
// (CNetHttpClient::StreamBody). True unless no request was made or it is in Error.
bool HttpGetAndWaitFirstBytes(CNetHttpClient& client, CClassicStringRef path,
                              CNetHttpResult*& request, u32 count,
                              CClassicBuffer* bodyStream = nullptr);

class CDownloadDlg : public ui::Dialog {
public:
    // The download client gets the configuration's proxy settings.
    CDownloadDlg(i32 downloadId, ui::Dialog* parent);
    ~CDownloadDlg() override;

    // Opens the download server (port 80) and asks for the path until its first 1000 bytes are
    // in, the body going to the stream as it comes when one is given; the file name is
    // FileNameOfPath. False when the server cannot be opened or the request failed.
    bool StartDownload(CClassicStringRef host, CClassicStringRef path,
                       CClassicBuffer* bodyStream = nullptr);
    // The name a download is stored under: the path's part after its last '/'.
    static CClassicString FileNameOfPath(CClassicStringRef path);

    // The text of the update (control 1047) and the size text (control 1049).
    CClassicWideString m_Description;
    CClassicWideString m_SizeText;
    // The update server's client, owned by the update road; reports go through it.
    CNetHttpClient* m_UpdateClient = nullptr;
    CNetHttpClient m_DownloadClient;
    // The GET of the file; one reference held.
    CNetHttpResult* m_DownloadRequest = nullptr;
    i32 m_DownloadId = 0;
    CClassicString m_FileName;
    // The report's path without its percentage.
    CClassicString m_ProgressPrefix;

protected:
    bool OnInitDialog() override;
    void OnTimer(u32 id) override;
    void OnCancel() override;
    void DoDataExchange(ui::DataExchange& dx) override;
};

// The percentage a download has reached: trunc(received * 100 / expected) within 0 to 100, 0 when
// the expected size is unknown (0).
i32 DownloadPercentage(u32 received, u32 expected);
