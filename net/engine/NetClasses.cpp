#include "net/engine/NetClasses.h"

#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "net/message/NetNod.h"

namespace {

constinit CMwClassInfo* const s_NetClasses[] = {
    &CNetNod::s_ClassInfo,
    &CNetHttpClient::s_ClassInfo,
    &CNetHttpResult::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_NetClassList = {s_NetClasses,
                                               sizeof(s_NetClasses) / sizeof(s_NetClasses[0])};
