#include "net/master/NetMasterNods.h"

#include "net/http/NetHttpResult.h"

namespace {
constexpr const char* kModeNames[] = {"Get", "Put"};
// 2 is not a result of a transfer, 1 not one of a search: their names are empty.
constexpr const char* kTransferErrNames[] = {"Ok",          "SameChecksum", "",
                                             "DoesntExist", "Internal",     "IllFormedAnswer",
                                             "HttpError",   "CouldNotSave"};
constexpr const char* kSearchErrNames[] = {"Ok", "", "Internal", "IllFormedAnswer", "HttpError"};
constexpr const char* kLevelNames[] = {"Beginner", "Normal", "Expert"};
} // namespace

#define CNETMASTERSERVERFILETRANSFER_MEMBERS(X)                                                    \
    X(Enum, 0x12016000, "Mode", MW_FIELD(m_Mode), "Mode", 0x01, 0x380, "", kModeNames)             \
    X(Enum, 0x12016001, "Err", MW_FIELD(m_Err), "Err", 0x01, 0x380, "", kTransferErrNames)         \
    X(Class, 0x12016002, "HttpResult", MW_FIELD(m_HttpResult), "HttpResult", 0x01, 0x3FA0,         \
      &CNetHttpResult::s_ClassInfo, 1)                                                             \
    X(String, 0x12016003, "Type", MW_FIELD(m_Type), "Type", 0x01, 0x380)                           \
    X(String, 0x12016004, "Id", MW_FIELD(m_Id), "Id", 0x01, 0x380)                                 \
    X(String, 0x12016005, "Name", MW_FIELD(m_Name), "Name", 0x01, 0x380)                           \
    X(Natural, 0x12016006, "Size", MW_FIELD(m_Size), "Size", 0x01, 0x380)

MW_DEFINE_CLASS(CNetMasterServerFileTransfer, nullptr, CNETMASTERSERVERFILETRANSFER_MEMBERS,
                MW_NO_CHUNKS);

#define CNETMASTERSERVERSEARCHRESULT_MEMBERS(X)                                                    \
    X(Enum, 0x12017000, "Err", MW_FIELD(m_Err), "Err", 0x01, 0x380, "", kSearchErrNames)           \
    X(Natural, 0x12017001, "PageNum", MW_FIELD(m_PageNum), "PageNum", 0x01, 0x380)                 \
    X(Natural, 0x12017002, "NbPerPage", MW_FIELD(m_NbPerPage), "NbPerPage", 0x01, 0x380)           \
    X(String, 0x12017003, "Type", MW_FIELD(m_Type), "Type", 0x01, 0x380)                           \
    X(Buffer, 0x12017004, "PropertyNames", MW_FIELD(m_PropertyNames), "PropertyNames", 0x01,       \
      0x3F82, MwType_String, 0x1, "PropertyName", nullptr)                                         \
    X(Buffer, 0x12017005, "Ids", MW_FIELD(m_Ids), "Ids", 0x01, 0x3F82, MwType_String, 0x1, "Id",   \
      nullptr)                                                                                     \
    X(Class, 0x12017006, "HttpResult", MW_FIELD(m_HttpResult), "HttpResult", 0x01, 0x3FA0,         \
      &CNetHttpResult::s_ClassInfo, 1)

MW_DEFINE_CLASS(CNetMasterServerSearchResult, nullptr, CNETMASTERSERVERSEARCHRESULT_MEMBERS,
                MW_NO_CHUNKS);

#define CNETMASTERSERVERINFO_MEMBERS(X)                                                            \
    X(String, 0x12019000, "Addr", MW_FIELD(m_Addr), "Addr", 0x03, 0x380)                           \
    X(String, 0x12019001, "Prefix", MW_FIELD(m_Prefix), "Prefix", 0x03, 0x380)                     \
    X(String, 0x12019002, "Name", MW_FIELD(m_Name), "Name", 0x03, 0x380)                           \
    X(Enum, 0x12019003, "Level", MW_FIELD(m_Level), "Level", 0x03, 0x380, "", kLevelNames)         \
    X(Natural, 0x12019004, "NbOnline", MW_FIELD(m_NbOnline), "NbOnline", 0x03, 0x380)              \
    X(Natural, 0x12019005, "NbServer", MW_FIELD(m_NbServer), "NbServer", 0x03, 0x380)              \
    X(Natural, 0x12019006, "NbBuddy", MW_FIELD(m_NbBuddy), "NbBuddy", 0x03, 0x380)

MW_DEFINE_CLASS(CNetMasterServerInfo, nullptr, CNETMASTERSERVERINFO_MEMBERS, MW_NO_CHUNKS);

#define CNETMASTERHOST_MEMBERS(X)                                                                  \
    X(String, 0x12015000, "HostName", MW_FIELD(m_HostName), "HostName", 0x03, 0x380)

MW_DEFINE_CLASS(CNetMasterHost, nullptr, CNETMASTERHOST_MEMBERS, MW_NO_CHUNKS);

CNetMasterServerFileTransfer::~CNetMasterServerFileTransfer() {
    if (CNetHttpResult* request = GetHttpResult()) {
        request->m_UserData = nullptr;
        m_HttpResult.Set(nullptr);
    }
}

CNetHttpResult* CNetMasterServerFileTransfer::GetHttpResult() const {
    return static_cast<CNetHttpResult*>(m_HttpResult.Get());
}

void CNetMasterServerFileTransfer::SetHttpResult(CNetHttpResult* request) {
    m_HttpResult.Set(request);
}

CNetMasterServerSearchResult::~CNetMasterServerSearchResult() {
    m_PropertyNames.FreeItems();
    m_Ids.FreeItems();
}

void CNetMasterHost::SetLogin(CClassicStringRef login) {
    m_HostName.Assign(login);
    OnLoginChanged();
}

void CNetMasterHost::ArchiveDescription(CClassicArchive&) {}
