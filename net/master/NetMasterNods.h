#pragma once
// The records that the master-server client exchanges with its server: one file put
// (CNetMasterServerFileTransfer), one page of search results, the description of one master
// server, and a published host (CNetMasterHost, which the game derives its hosts from). Each is a
// reflected nod that scripts and screens read; none is created by class id.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"

class CClassicArchive;
class CNetHttpResult;

class CNetMasterServerFileTransfer : public CMwNod {
    MW_DECLARE_CLASS(CNetMasterServerFileTransfer, CMwNod, 0x12016000)
public:
    // Modes.
    static constexpr u32 s_ModeGet = 0;
    static constexpr u32 s_ModePut = 1;
    // Results (2 is not used): the server's code, or the client's 5 and 6.
    static constexpr u32 s_ErrOk = 0;
    static constexpr u32 s_ErrSameChecksum = 1;
    static constexpr u32 s_ErrDoesntExist = 3;
    static constexpr u32 s_ErrInternal = 4;
    static constexpr u32 s_ErrIllFormedAnswer = 5;
    static constexpr u32 s_ErrHttpError = 6;
    static constexpr u32 s_ErrCouldNotSave = 7;

    // Called with its object and the transfer once Err is final.
    using CompletionMethod = void (*)(void* object, CNetMasterServerFileTransfer* transfer);

    // Empty strings, no request, no completion callback; the creator fills the rest.
    CNetMasterServerFileTransfer() = default;
    CNetMasterServerFileTransfer(const CNetMasterServerFileTransfer&) = delete;
    CNetMasterServerFileTransfer& operator=(const CNetMasterServerFileTransfer&) = delete;
    // A request still held no longer points back here (its later answer finds no transfer),
    // then is released.
    ~CNetMasterServerFileTransfer() override;

    CNetHttpResult* GetHttpResult() const;
    // Takes a reference on the request (the one replaced is released).
    void SetHttpResult(CNetHttpResult* request);

    u32 m_Mode = s_ModeGet;
    u32 m_Err = s_ErrOk;
    CClassicString m_Type;
    CClassicString m_Id;
    CClassicString m_Name;
    u32 m_Size = 0;
    // The posted bytes (the request's body); not owned.
    const u8* m_Data = nullptr;
    CMwNodRef m_HttpResult;
    // No reference on the object; no object: no callback.
    CompletionMethod m_CompletionMethod = nullptr;
    void* m_CompletionObject = nullptr;
};

class CNetMasterServerSearchResult : public CMwNod {
    MW_DECLARE_CLASS(CNetMasterServerSearchResult, CMwNod, 0x12017000)
public:
    // Results (1 is not used).
    static constexpr u32 s_ErrOk = 0;
    static constexpr u32 s_ErrInternal = 2;
    static constexpr u32 s_ErrIllFormedAnswer = 3;
    static constexpr u32 s_ErrHttpError = 4;

    CNetMasterServerSearchResult() = default;
    CNetMasterServerSearchResult(const CNetMasterServerSearchResult&) = delete;
    CNetMasterServerSearchResult& operator=(const CNetMasterServerSearchResult&) = delete;
    ~CNetMasterServerSearchResult() override;

    CClassicString m_Type;
    u32 m_NbPerPage = 0;
    u32 m_PageNum = 0;
    u32 m_Err = s_ErrOk;
    CFastBuffer<CClassicString> m_PropertyNames;
    CFastBuffer<CClassicString> m_Ids;
    // One reference held.
    CMwNodRef m_HttpResult;
};

class CNetMasterServerInfo : public CMwNod {
    MW_DECLARE_CLASS(CNetMasterServerInfo, CMwNod, 0x12019000)
public:
    static constexpr u32 s_LevelBeginner = 0;
    static constexpr u32 s_LevelNormal = 1;
    static constexpr u32 s_LevelExpert = 2;

    CNetMasterServerInfo() = default;

    CClassicString m_Addr;
    CClassicString m_Prefix;
    CClassicString m_Name;
    u32 m_Level = s_LevelBeginner;
    u32 m_NbOnline = 0;
    u32 m_NbServer = 0;
    u32 m_NbBuddy = 0;
};

// A host as the master server publishes it. The game's subclass gives its description and
// answers the questions about it; the base answers nothing, false, 0 and null.
class CNetMasterHost : public CMwNod {
    MW_DECLARE_CLASS(CNetMasterHost, CMwNod, 0x12015000)
public:
    // HostName, then the subclass is told.
    void SetLogin(CClassicStringRef login);

    // Reads or writes the host's description (not the nod's body: CMwNod::Archive stays).
    virtual void ArchiveDescription(CClassicArchive& archive);
    virtual void OnLoginChanged() {}
    virtual bool IsValid() { return false; }
    // Kept for the subclass; the system never calls it.
    virtual u32 GetHostWord() { return 0; }
    virtual bool IsHosting() { return false; }
    virtual bool IsPrivate() { return false; }
    virtual bool IsFull() { return false; }
    virtual u32 GetRace() { return 0; }
    // A text or null.
    virtual const char* GetServer() { return nullptr; }

    CClassicString m_HostName;
    // The description as text, built once by the master server.
    CClassicString m_Description;

protected:
    CNetMasterHost() = default;
};
