#include "launcher/DownloadDlg.h"

#include "core/base/ClassicTranslator.h"
#include "core/nod/MwCmdBufferCore.h"
#include "launcher/LauncherApp.h"
#include "launcher/UpdateProtocol.h"
#include "net/engine/NetTime.h"
#include "net/http/NetHttpResult.h"
#include "platform/ui/MessageBox.h"
#include "system/config/SystemConfig.h"

#include <algorithm>
#include <array>
#include <string>

constinit i64 g_DownloadLastReportCounter = 0;

namespace {

using ui::ControlKind;

constexpr std::array<ui::ControlTemplate, 4> kDownloadDlgControls = {{
    {ui::IDCANCEL, ControlKind::Button, 105, 120, 50, 14, "Cancel"},
    {kDownloadDlgProgressId, ControlKind::Progress, 5, 105, 255, 10},
    {kDownloadDlgDescriptionId, ControlKind::Label, 5, 20, 255, 80},
    {kDownloadDlgSizeTextId, ControlKind::Label, 5, 5, 255, 10},
}};

// Popup with a caption, set when it opens, a modal frame and a system menu: the window manager's
// close box is its Cancel.
constexpr ui::DialogTemplate kDownloadDlgTemplate = {
    kDownloadDlgTemplateId, 267, 137, ui::StylePopup | ui::StyleCaption | ui::StyleSystemMenu, "",
    kDownloadDlgControls};

bool HasEnded(const CNetHttpResult* request) {
    return request->m_Status == CNetHttpResult::s_StatusDone ||
           request->m_Status == CNetHttpResult::s_StatusError;
}

// The new GET in place of the request held before.
void IssueGet(CNetHttpClient& client, CClassicStringRef path, CNetHttpResult*& request) {
    CNetHttpResult* created = client.Get(path, false, true, 0);
    if (created)
        created->AddRef();
    if (request)
        request->Release();
    request = created;
}

// Waits in slices of at most 1000 ms while the request is wanted and still in its client (one
// that left it, cancelled or closed, moves no more); past the wait limit it is ended there.
template <class Wanted>
void WaitForRequest(CNetHttpClient& client, CNetHttpResult* request, u32 startMs, Wanted wanted) {
    const platform::HttpTestHooks* hooks = platform::GetHttpTestHooks();
    const u32 limit = hooks && hooks->WaitLimitMs ? hooks->WaitLimitMs : kHttpWaitLimitMs;
    while (wanted() && !HasEnded(request) && request->m_Client == &client) {
        const u32 spent = NetGetTimeMs() - startMs;
        if (spent >= limit) {
            client.FailRequest(request, platform::kHttpErrorTimeout);
            return;
        }
        client.WaitForRequests(std::min<u32>(1000, limit - spent));
    }
}

// A wide text exchanged with a label as UTF-8.
void ExchangeText(ui::DataExchange& dx, u32 id, CClassicWideString& value) {
    std::string text = LauncherUtf8(value);
    dx.Text(id, text);
    if (dx.IsSaving()) {
        value = CClassicWideString();
        value.AssignUtf8(CClassicStringRef(text.data(), u32(text.size())));
    }
}

} // namespace

void RegisterDownloadDlgResources() {
    ui::RegisterTemplate(kDownloadDlgTemplate);
}

void ShowUpdateFailed(const ui::Dialog* owner, CClassicStringRef detail) {
    CClassicWideString message;
    message.Format1(g_ClassicTranslator.Translate(u"Check of %1 update failed !"), u"Brisalde");
    if (detail.m_Length > 0) {
        CClassicWideString decoded;
        decoded.AssignFromNarrow(detail);
        CClassicWideString first(message);
        message.FormatNarrow2("%1\n%2", first, decoded);
    }
    ui::MessageBox(owner, LauncherUtf8(message), LauncherTranslate(u"Error"), ui::MB_OK);
}

bool HttpGetAndWait(CNetHttpClient& client, CClassicStringRef path, CNetHttpResult*& request) {
    const u32 start = NetGetTimeMs();
    IssueGet(client, path, request);
    if (!request)
        return false;
    WaitForRequest(client, request, start, [] { return true; });
    return request->m_Status == CNetHttpResult::s_StatusDone;
}

bool HttpGetAndWaitFirstBytes(CNetHttpClient& client, CClassicStringRef path,
                              CNetHttpResult*& request, u32 count, CClassicBuffer* bodyStream) {
    const u32 start = NetGetTimeMs();
    IssueGet(client, path, request);
    if (!request)
        return false;
    if (bodyStream)
        client.StreamBody(request, bodyStream);
    WaitForRequest(client, request, start, [&] { return request->GetReceived() <= count; });
    return request->m_Status != CNetHttpResult::s_StatusError;
}

i32 DownloadPercentage(u32 received, u32 expected) {
    if (expected == 0)
        return 0;
    const f64 percentage = f64(received) * 100.0 / f64(expected);
    return percentage >= 100.0 ? 100 : i32(percentage);
}

CDownloadDlg::CDownloadDlg(i32 downloadId, ui::Dialog*)
    : ui::Dialog(kDownloadDlgTemplateId), m_DownloadId(downloadId),
      m_ProgressPrefix(UpdateProgressPrefix(downloadId)) {
    RegisterDownloadDlgResources();
    if (const CSystemConfig* config = theApp.m_Config)
        m_DownloadClient.SetCredentials(config->m_NetworkUseProxy, config->m_NetworkProxyLogin,
                                        config->m_NetworkProxyPassword);
}

CDownloadDlg::~CDownloadDlg() {
    // The client's array may still hold its own reference; the client's end releases it.
    if (m_DownloadRequest)
        m_DownloadRequest->Release();
}

bool CDownloadDlg::StartDownload(CClassicStringRef host, CClassicStringRef path,
                                 CClassicBuffer* bodyStream) {
    if (!m_DownloadClient.Open(host, -1))
        return false;
    if (!HttpGetAndWaitFirstBytes(m_DownloadClient, path, m_DownloadRequest, kDownloadFirstBytes,
                                  bodyStream))
        return false;
    m_FileName = FileNameOfPath(path);
    return true;
}

CClassicString CDownloadDlg::FileNameOfPath(CClassicStringRef path) {
    const CClassicString whole(path);
    const i32 slash = whole.ReverseFind('/');
    const u32 start = slash < 0 ? 0 : u32(slash) + 1;
    return CClassicString(CClassicStringRef(whole.GetText() + start, whole.GetLength() - start));
}

bool CDownloadDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    SetWindowText(LauncherTranslate(u"Download in progress, please wait..."));
    SetTimer(kDownloadDlgTimerId, kDownloadDlgTimerMs);
    Item(kDownloadDlgProgressId).SetRange(0, 100);
    Item(ui::IDCANCEL).SetText(LauncherTranslate(u"Cancel"));
    UpdateData(false);
    return true;
}

void CDownloadDlg::DoDataExchange(ui::DataExchange& dx) {
    ExchangeText(dx, kDownloadDlgDescriptionId, m_Description);
    ExchangeText(dx, kDownloadDlgSizeTextId, m_SizeText);
}

void CDownloadDlg::OnTimer(u32) {
    m_DownloadClient.WaitForRequests(100);
    if (!m_DownloadRequest)
        return;
    if (m_DownloadRequest->m_Status == CNetHttpResult::s_StatusDone) {
        OnOK();
        return;
    }
    if (m_DownloadRequest->m_Status == CNetHttpResult::s_StatusError) {
        OnCancel();
        return;
    }
    const i32 percentage =
        DownloadPercentage(m_DownloadRequest->GetReceived(), m_DownloadRequest->m_ExpectedSize);
    i64 now = 0;
    MwQueryPerformanceCounter(&now);
    if (m_UpdateClient &&
        MwCounterToMs(now - g_DownloadLastReportCounter) > kDownloadReportPeriodMs) {
        g_DownloadLastReportCounter = now;
        CClassicString report(m_ProgressPrefix);
        report.AppendFormat("%d", percentage);
        // Only queued: it leaves with the next wait on the update client.
        m_UpdateClient->Get(report, false, true, 0);
    }
    if (percentage != 0)
        Item(kDownloadDlgProgressId).SetPos(percentage);
}

void CDownloadDlg::OnCancel() {
    // Does nothing for a request that already left the client (an Error seen by the timer): the
    // dialog's own reference stays whole.
    m_DownloadClient.RemoveRequest(m_DownloadRequest);
    m_DownloadClient.WaitForRequests(1000);
    ui::Dialog::OnCancel();
}
