#include "net/peer/NetDataServer.h"

#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "system/file/FileSystem.h"

#define CNETDATASERVER_MEMBERS(X)                                                                  \
    X(String, 0x1201F000, "ServerAddr", MW_FIELD(m_ServerAddr), "ServerAddr", 0x03, 0x380)         \
    X(Natural, 0x1201F001, "ServerPort", MW_FIELD(m_ServerPort), "ServerPort", 0x03, 0x380)        \
    X(String, 0x1201F002, "ServerPrefix", MW_FIELD(m_ServerPrefix), "ServerPrefix", 0x03, 0x380)   \
    X(String, 0x1201F003, "ProxyLogin", MW_FIELD(m_ProxyLogin), "ProxyLogin", 0x03, 0x380)         \
    X(String, 0x1201F004, "ProxyPass", MW_FIELD(m_ProxyPass), "ProxyPass", 0x03, 0x380)            \
    X(Bool, 0x1201F005, "UseProxy", MW_FIELD(m_UseProxy), "UseProxy", 0x03, 0x380)                 \
    X(Class, 0x1201F006, "m_HttpDownloadClient", MW_FIELD(m_HttpDownloadClient), "HttpClient",     \
      0x01, 0x3FA0, &CNetHttpClient::s_ClassInfo, 0)

MW_DEFINE_CLASS(CNetDataServer, nullptr, CNETDATASERVER_MEMBERS, MW_NO_CHUNKS);

CNetDataServer::~CNetDataServer() {
    SetCurrentRequest(nullptr);
}

void CNetDataServer::SetCurrentRequest(CNetHttpResult* request) {
    if (request)
        request->AddRef();
    if (m_CurrentRequest)
        m_CurrentRequest->Release();
    m_CurrentRequest = request;
}

void CNetDataServer::CancelRequest() {
    if (!m_CurrentRequest)
        return;
    // Cancelling may let the client's reference go; ours keeps the request until it is cleared.
    m_CurrentRequest->Cancel();
    SetCurrentRequest(nullptr);
}

void CNetDataServer::Reset() {
    m_ResetWord = 0;
    if (!m_TempPath.IsEmpty() && FileExists(m_TempPath)) {
        RemoveFile(m_TempPath, false);
        m_TempPath = CClassicWideString();
    }
    CancelRequest();
    if (m_ReceivedBytes)
        *m_ReceivedBytes = 0;
    if (m_TotalBytes)
        *m_TotalBytes = 0;
}
