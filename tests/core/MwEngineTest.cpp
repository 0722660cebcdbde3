// Engines, the engine manager and engine 1's factory.
#include "core/nod/MwEngine.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// An engine that records its registration and shutdown.
class CRecordingEngine : public CMwEngine {
public:
    CRecordingEngine(std::vector<std::string>* events, u32 lists = 0)
        : m_Events(events), m_Lists(lists) {}
    ~CRecordingEngine() override { m_Events->push_back("delete " + Name()); }
    u32 GetNodListCount() override { return m_Lists; }
    i32 OnRegistered() override {
        m_Events->push_back("registered " + Name());
        return static_cast<i32>(m_EngineId >> 24);
    }
    void Shutdown() override {
        m_Events->push_back("shutdown " + Name());
        if (m_LeavesOrder) // takes itself out of the manager's order
            for (u32 k = 0; k < g_MwEngineManager->m_Order.m_Count; ++k)
                if (g_MwEngineManager->m_Order.m_Items[k] == this)
                    g_MwEngineManager->m_Order.m_Items[k] = nullptr;
        CMwEngine::Shutdown();
    }
    std::string Name() const { return std::to_string(m_EngineId >> 24); }

    std::vector<std::string>* m_Events;
    u32 m_Lists;
    bool m_LeavesOrder = false;
};

class CCountedNod : public CMwNod {
public:
    explicit CCountedNod(int* deleted) : m_Deleted(deleted) {}
    ~CCountedNod() override { ++*m_Deleted; }
    int* m_Deleted;
};

class MwEngine : public CMwCoreFixture {};

// Shutdown of the manager, called as an engine's, is ShutdownEngines; both roads shut every
// engine down, the last registered first, empty the slots and clear the global.
TEST_F(MwEngine, ManagerRegistersAndShutsDownInReverseOrder) {
    struct Road {
        const char* name;
        void (*shutdown)(CMwEngineManager* manager);
    };
    const Road roads[] = {
        {"ShutdownEngines", [](CMwEngineManager* m) { m->ShutdownEngines(); }},
        {"Shutdown as an engine",
         [](CMwEngineManager* m) { static_cast<CMwEngine*>(m)->Shutdown(); }},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        std::vector<std::string> events;
        CMwEngineManager* manager = new CMwEngineManager;
        manager->AddRef();
        EXPECT_EQ(g_MwEngineManager, manager);
        for (u32 n = 0; n < CMwEngineManager::SlotCount; ++n)
            EXPECT_EQ(manager->GetEngine(n), nullptr);
        for (u32 number : {1u, 11u, 18u}) {
            CRecordingEngine* engine = new CRecordingEngine(&events);
            engine->m_EngineId = number << 24;
            engine->CreateNodLists();
            EXPECT_EQ(manager->AddEngine(number << 24, engine), static_cast<i32>(number));
            EXPECT_EQ(manager->GetEngine(number), engine);
        }
        road.shutdown(manager);
        EXPECT_EQ(events, (std::vector<std::string>{
                              "registered 1", "registered 11", "registered 18", "shutdown 18",
                              "delete 18", "shutdown 11", "delete 11", "shutdown 1", "delete 1"}));
        EXPECT_EQ(g_MwEngineManager, nullptr);
        for (u32 number : {1u, 11u, 18u})
            EXPECT_EQ(manager->GetEngine(number), nullptr) << number;
        // The order keeps its count; its entries are emptied.
        ASSERT_EQ(manager->m_Order.m_Count, 3u);
        for (u32 k = 0; k < 3; ++k)
            EXPECT_EQ(manager->m_Order.m_Items[k], nullptr) << k;
        EXPECT_EQ(manager->Release(), 0);
    }
}

// An engine whose shutdown takes it out of the order is shut down and unslotted, not deleted.
TEST_F(MwEngine, AnEngineThatLeavesTheOrderIsNotDeleted) {
    std::vector<std::string> events;
    CMwEngineManager manager;
    CRecordingEngine* kept = new CRecordingEngine(&events);
    kept->m_EngineId = 11u << 24;
    kept->m_LeavesOrder = true;
    CRecordingEngine* owned = new CRecordingEngine(&events);
    owned->m_EngineId = 18u << 24;
    manager.AddEngine(kept->m_EngineId, kept);
    manager.AddEngine(owned->m_EngineId, owned);
    manager.ShutdownEngines();
    EXPECT_EQ(events, (std::vector<std::string>{"registered 11", "registered 18", "shutdown 18",
                                                "delete 18", "shutdown 11"}));
    EXPECT_EQ(manager.GetEngine(11), nullptr);
    delete kept;
}

TEST_F(MwEngine, EngineNumbersBeyondTheSlotsAreRefused) {
    std::vector<std::string> events;
    CMwEngineManager manager;
    CRecordingEngine engine(&events);
    engine.m_EngineId = 100u << 24;
    CLogWatch log;
    EXPECT_EQ(manager.AddEngine(100u << 24, &engine), -1);
    EXPECT_EQ(manager.m_Order.m_Count, 0u);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(log.Since(), "[MwEngine] Engine number 100 is out of range; the engine is not "
                           "registered\r\n");
    // The manager's destruction clears the global.
    EXPECT_EQ(g_MwEngineManager, &manager);
}

TEST_F(MwEngine, ShutdownReleasesTheNodLists) {
    std::vector<std::string> events;
    int deleted = 0;
    CRecordingEngine empty(&events);
    empty.CreateNodLists();
    EXPECT_EQ(empty.m_NodLists, nullptr);
    empty.Shutdown();

    CRecordingEngine engine(&events, 1);
    engine.CreateNodLists();
    ASSERT_EQ(engine.m_NodListCount, 1u);
    for (int i = 0; i < 2; ++i) {
        CCountedNod* nod = new CCountedNod(&deleted);
        nod->AddRef();
        engine.m_NodLists[0].Add(nod);
    }
    engine.Shutdown();
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(engine.m_NodLists, nullptr);
}

TEST_F(MwEngine, FoundationsFactory) {
    CMwFoundationsEngine engine;
    EXPECT_EQ(engine.GetClassId(), 0x01003000u);
    EXPECT_EQ(engine.GetNodListCount(), 1u);
    CMwNod* out = reinterpret_cast<CMwNod*>(1);
    EXPECT_EQ(engine.CreateByClassId(0x0B00A000, &out, 0), nullptr); // a System class
    EXPECT_EQ(out, nullptr);
    for (u32 id : {0x01001000u, 0x01003000u}) {
        CMwNod* nod = engine.CreateByClassId(id, &out, 0);
        ASSERT_NE(nod, nullptr);
        EXPECT_EQ(out, nod);
        EXPECT_EQ(nod->GetClassId(), id);
        EXPECT_EQ(nod->GetRefCount(), 0);
        delete nod;
    }
    // A path has no record of its own and answers as a plain nod.
    CMwNod* path = engine.CreateByClassId(0x01002000, nullptr, 0);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->GetClassId(), 0x01001000u);
    delete path;
}

} // namespace
