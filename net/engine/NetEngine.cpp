#include "net/engine/NetEngine.h"

#include "net/message/NetForms.h"
#include "net/message/NetNodForms.h"

CMwNod* CNetEngine::CreateByClassId(u32 classId, CMwNod** out, u32) {
    CMwNod* nod = nullptr;
    switch (classId) {
        case CNetServerInfo::s_ClassId:
            nod = new CNetServerInfo;
            break;
        case CNetClientInfo::s_ClassId:
            nod = new CNetClientInfo;
            break;
        case CNetFormQuerrySessions::s_ClassId:
            nod = new CNetFormQuerrySessions;
            break;
        case CNetFormEnumSessions::s_ClassId:
            nod = new CNetFormEnumSessions;
            break;
        case CNetFormPing::s_ClassId:
            nod = new CNetFormPing;
            break;
        case CNetFormNodsContainer::s_ClassId:
            nod = new CNetFormNodsContainer;
            break;
        case CNetFormModelerPlugin::s_ClassId:
            nod = new CNetFormModelerPlugin;
            break;
        case CNetFormConnectionAdmin::s_ClassId:
            nod = new CNetFormConnectionAdmin;
            break;
        case CNetFileTransferForm::s_ClassId:
            nod = new CNetFileTransferForm;
            break;
        default:
            break;
    }
    if (out)
        *out = nod;
    return nod;
}

CMwEngine* NetRegisterEngine() {
    if (!g_MwEngineManager)
        return nullptr;
    const u32 number = CNetEngine::s_EngineId >> 24;
    if (CMwEngine* engine = g_MwEngineManager->GetEngine(number))
        return engine;
    auto* engine = new CNetEngine;
    engine->m_EngineId = CNetEngine::s_EngineId;
    engine->CreateNodLists();
    g_MwEngineManager->AddEngine(CNetEngine::s_EngineId, engine);
    return engine;
}
