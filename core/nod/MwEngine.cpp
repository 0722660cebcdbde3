#include "core/nod/MwEngine.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwMemberPath.h"

#include <algorithm>
#include <iterator>

constinit CMwEngineManager* g_MwEngineManager = nullptr;

MW_DEFINE_CLASS(CMwEngine, MwFactory<CMwEngine>, MW_NO_MEMBERS, MW_NO_CHUNKS);

// ---------------------------------------------------------------------------------------------
// CMwEngine

CMwEngine::~CMwEngine() {
    ReleaseNodLists();
}

void CMwEngine::Shutdown() {
    ReleaseNodLists();
}

CMwNod* CMwEngine::CreateByClassId(u32, CMwNod** out, u32) {
    if (out)
        *out = nullptr;
    return nullptr;
}

void CMwEngine::CreateNodLists() {
    m_NodListCount = GetNodListCount();
    if (m_NodListCount)
        m_NodLists = new CFastBuffer<CMwNod*>[m_NodListCount];
}

void CMwEngine::ReleaseNodLists() {
    if (!m_NodLists)
        return;
    for (u32 list = 0; list < m_NodListCount; ++list) {
        for (u32 i = 0; i < m_NodLists[list].m_Count; ++i)
            m_NodLists[list].m_Items[i]->Release();
        m_NodLists[list].FreeItems();
    }
    delete[] m_NodLists;
    m_NodLists = nullptr;
    m_NodListCount = 0;
}

// ---------------------------------------------------------------------------------------------
// CMwFoundationsEngine

namespace {

// The classes engine 1 creates by class id, sorted: the root, paths, engines, the parameter
// descriptors, command buffers, the performance counter, the class viewer, reference buffers and
// the script classes.
constexpr u32 kFoundationsClassIds[] = {
    0x00105100, 0x01001000, 0x01002000, 0x01003000, 0x01004000, 0x01006000, 0x01007000, 0x01008000,
    0x01009000, 0x0100C000, 0x0100D000, 0x0100E000, 0x0100F000, 0x01010000, 0x01011000, 0x01013000,
    0x01014000, 0x01015000, 0x01016000, 0x01017000, 0x01018000, 0x01019000, 0x0101A000, 0x0101C000,
    0x0101F000, 0x01021000, 0x01022000, 0x01024000, 0x01026000, 0x01027000, 0x01028000, 0x01030000,
    0x01032000, 0x01033000, 0x01034000, 0x01035000, 0x01036000, 0x01037000, 0x01039000, 0x0103A000,
    0x0103B000, 0x0103C000, 0x0103D000, 0x0103E000, 0x0103F000, 0x01040000, 0x01041000, 0x01042000,
    0x01043000, 0x01044000, 0x01045000, 0x01046000, 0x01047000, 0x01048000, 0x01049000, 0x0104A000,
    0x0104B000, 0x0104C000, 0x0104D000, 0x0104E000, 0x0104F000, 0x01050000, 0x01053000, 0x01054000,
    0x01055000, 0x01056000, 0x01057000, 0x01058000, 0x01059000, 0x0105A000, 0x0105B000, 0x0105C000,
    0x0105D000, 0x0105E000, 0x0105F000, 0x01060000, 0x01061000, 0x01062000, 0x01063000, 0x01064000,
    0x01065000, 0x01066000, 0x01067000, 0x01068000, 0x01069000, 0x0106A000, 0x0106B000, 0x0106C000,
    0x0106D000, 0x0106E000, 0x0106F000, 0x01070000, 0x01071000, 0x01072000, 0x01073000, 0x01074000,
    0x01075000, 0x01076000, 0x01077000, 0x01078000, 0x01079000, 0x0107A000, 0x0107B000, 0x0107C000,
    0x0107D000, 0x0107E000, 0x0107F000, 0x01080000, 0x01082000, 0x01083000, 0x01084000, 0x01085000,
    0x01086000, 0x01087000, 0x01088000, 0x01089000, 0x0108A000, 0x0108B000, 0x0108C000, 0x0108D000,
    0x0108E000, 0x0108F000, 0x01090000, 0x01091000, 0x01092000, 0x01094000, 0x01095000, 0x01096000,
    0x01097000, 0x01098000, 0x01099000, 0x0109A000, 0x0109B000, 0x0109C000, 0x0109D000, 0x0109E000,
    0x0109F000, 0x010A0000, 0x010A1000, 0x010A2000, 0x010A3000, 0x010A4000, 0x010A5000, 0x010A6000,
    0x010A7000, 0x010A8000, 0x010A9000, 0x010B0000,
};
static_assert(std::size(kFoundationsClassIds) == 148);

} // namespace

CMwNod* CMwFoundationsEngine::CreateByClassId(u32 classId, CMwNod** out, u32) {
    CMwNod* nod = nullptr;
    if (std::binary_search(std::begin(kFoundationsClassIds), std::end(kFoundationsClassIds),
                           classId)) {
        // Classes without a record of their own are made here; every other one through its
        // record's factory.
        switch (classId) {
            case CMwMemberPath::s_FactoryClassId:
                nod = new CMwMemberPath;
                break;
            case 0x01004000:
                nod = new CMwEngineManager;
                break;
            case 0x01021000:
                nod = new CMwPerfCounterNod;
                break;
            default:
                nod = CMwClassRegistry::CreateNodById(classId);
                break;
        }
    }
    if (out)
        *out = nod;
    return nod;
}

// ---------------------------------------------------------------------------------------------
// CMwEngineManager

CMwEngineManager::CMwEngineManager() {
    m_Slots.SetCount(SlotCount);
    std::fill_n(m_Slots.m_Items, SlotCount, nullptr);
    g_MwEngineManager = this;
}

CMwEngineManager::~CMwEngineManager() {
    if (g_MwEngineManager == this)
        g_MwEngineManager = nullptr;
    m_Order.FreeItems();
    m_Slots.SetCount(0);
}

i32 CMwEngineManager::AddEngine(u32 engineIdWord, CMwEngine* engine) {
    const u32 number = engineIdWord >> 24;
    if (number >= SlotCount) {
        ClassicLogFormatLine("[MwEngine] Engine number %u is out of range; the engine is not "
                             "registered",
                             number);
        return -1;
    }
    m_Slots.m_Items[number] = engine;
    m_Order.Add(engine);
    return engine->OnRegistered();
}

void CMwEngineManager::ShutdownEngines() {
    for (u32 k = m_Order.m_Count; k >= 1; --k) {
        CMwEngine* engine = m_Order.m_Items[k - 1];
        if (!engine)
            continue;
        const u32 number = engine->m_EngineId >> 24;
        engine->Shutdown();
        if (number < m_Slots.m_Count)
            m_Slots.m_Items[number] = nullptr;
        // An engine whose shutdown took itself out of the order is not the manager's any more.
        if (m_Order.m_Items[k - 1])
            delete engine;
        m_Order.m_Items[k - 1] = nullptr;
    }
    if (g_MwEngineManager == this)
        g_MwEngineManager = nullptr;
    ReleaseNodLists();
}
