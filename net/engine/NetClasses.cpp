#include "net/engine/NetClasses.h"

#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "net/master/NetMasterNods.h"
#include "net/message/NetForms.h"
#include "net/message/NetNod.h"
#include "net/message/NetNodForms.h"
#include "net/peer/NetClient.h"
#include "net/peer/NetConnection.h"
#include "net/peer/NetDataServer.h"

namespace {

constinit CMwClassInfo* const s_NetClasses[] = {
    &CNetNod::s_ClassInfo,
    &CNetServerInfo::s_ClassInfo,
    &CNetClientInfo::s_ClassInfo,
    &CNetFormTimed::s_ClassInfo,
    &CNetFormQuerrySessions::s_ClassInfo,
    &CNetFormEnumSessions::s_ClassInfo,
    &CNetFormPing::s_ClassInfo,
    &CNetFormNodsContainer::s_ClassInfo,
    &CNetClient::s_ClassInfo,
    &CNetFormModelerPlugin::s_ClassInfo,
    &CNetConnection::s_ClassInfo,
    &CNetFormConnectionAdmin::s_ClassInfo,
    &CNetHttpClient::s_ClassInfo,
    &CNetHttpResult::s_ClassInfo,
    &CNetMasterHost::s_ClassInfo,
    &CNetMasterServerFileTransfer::s_ClassInfo,
    &CNetMasterServerSearchResult::s_ClassInfo,
    &CNetMasterServerInfo::s_ClassInfo,
    &CNetFileTransferForm::s_ClassInfo,
    &CNetDataServer::s_ClassInfo,
    &CNetFormRpcCall::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_NetClassList = {s_NetClasses,
                                               sizeof(s_NetClasses) / sizeof(s_NetClasses[0])};
