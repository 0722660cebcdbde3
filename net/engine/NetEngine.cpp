#include "net/engine/NetEngine.h"

CMwNod* CNetEngine::CreateByClassId(u32, CMwNod** out, u32) {
    if (out)
        *out = nullptr;
    return nullptr;
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
