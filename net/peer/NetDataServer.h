#pragma once
// CNetDataServer: the settings and state of an HTTP server that files are downloaded from by
// URL: its address, port and path prefix, the proxy to go through, the HTTP client, the request
// under way with the caller's progress words, and the temporary file a download writes.
//
// No code of the engine makes one: a host derives from it and gives it its HTTP client (not
// owned here). The server holds one reference on its current request.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"

class CNetHttpClient;
class CNetHttpResult;

class CNetDataServer : public CMwNod {
    MW_DECLARE_CLASS(CNetDataServer, CMwNod, 0x1201F000)
public:
    CNetDataServer(const CNetDataServer&) = delete;
    CNetDataServer& operator=(const CNetDataServer&) = delete;
    // Gives back the current request's reference.
    ~CNetDataServer() override;

    // The request under way, with one reference taken (the one replaced is given back).
    void SetCurrentRequest(CNetHttpResult* request);
    // Cancels the request under way (Status 6, taken out of its client) and lets it go; nothing
    // when there is none, so a second call does nothing.
    void CancelRequest();
    // Clears the last word, deletes the temporary file when there is one (the path then empty),
    // cancels the request under way and zeroes the progress words that are set.
    void Reset();

    // Not owned.
    CNetHttpClient* m_HttpDownloadClient = nullptr;
    // One reference held.
    CNetHttpResult* m_CurrentRequest = nullptr;
    // The caller's progress words, or null.
    u32* m_ReceivedBytes = nullptr;
    u32* m_TotalBytes = nullptr;
    u32 m_UseProxy = 0;
    CClassicString m_ProxyLogin;
    CClassicString m_ProxyPass;
    CClassicString m_ServerAddr;
    u32 m_ServerPort = 0;
    CClassicString m_ServerPrefix;
    CClassicWideString m_TempPath;
    u32 m_ResetWord = 0;

protected:
    // Creates nothing.
    CNetDataServer() = default;
};
