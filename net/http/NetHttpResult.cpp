#include "net/http/NetHttpResult.h"

#include "core/nod/MwVirtualMember.h"
#include "net/http/NetHttpClient.h"

namespace {
constexpr const char* kKindNames[] = {"Download", "Upload"};
constexpr const char* kStatusNames[] = {"Connecting", "Request", "Downloading", "Done", "Error"};
} // namespace

#define CNETHTTPRESULT_MEMBERS(X)                                                                  \
    X(String, 0x12013000, "Server", MW_FIELD(m_Server), "Server", 0x01, 0x380)                     \
    X(String, 0x12013001, "Path", MW_FIELD(m_Path), "Path", 0x01, 0x380)                           \
    X(Enum, 0x12013002, "Kind", MW_FIELD(m_Kind), "Kind", 0x01, 0x380, "", kKindNames)             \
    X(Enum, 0x12013003, "Status", MW_FIELD(m_Status), "Status", 0x01, 0x380, "", kStatusNames)     \
    X(Natural, 0x12013004, "ExpectedSize", MW_FIELD(m_ExpectedSize), "ExpectedSize", 0x01, 0x380)  \
    X(String, 0x12013005, "ContentType", MW_FIELD(m_ContentType), "ContentType", 0x01, 0x380)      \
    X(Natural, 0x12013006, "CurrentSize", MW_VIRTUAL("m_CurrentSize"), "CurrentSize", 0x11, 0x380) \
    X(Natural, 0x12013007, "HttpStatus", MW_FIELD(m_HttpStatus), "HttpStatus", 0x01, 0x380)        \
    X(Natural, 0x12013008, "HttpError", MW_FIELD(m_HttpError), "HttpError", 0x01, 0x380)

MW_DEFINE_CLASS(CNetHttpResult, nullptr, CNETHTTPRESULT_MEMBERS, MW_NO_CHUNKS);

CNetHttpResult::CNetHttpResult(CClassicStringRef server, CClassicStringRef path, u32 kind)
    : m_Server(server), m_Path(path), m_Kind(kind) {}

void CNetHttpResult::SetCompletionCallback(void* object, CompletionMethod method) {
    m_CompletionObject = object;
    m_CompletionMethod = method;
}

void CNetHttpResult::Cancel() {
    m_Status = s_StatusCancelled;
    if (m_Client)
        m_Client->RemoveRequest(this);
}

void CNetHttpResult::StoreCallbackStatus(u32 status, u32 result, u32 error) {
    if (error == 12017)
        return;
    m_HttpStatus = status;
    m_CallbackResult = result;
    m_HttpError = error;
    m_Signalled = 1;
}

u32 CNetHttpResult::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId == s_CurrentSizeMemberId)
            return MwAnswerValue(out, GetReceived());
        return MwNotOwnMember;
    });
}
