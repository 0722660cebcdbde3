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
        CMwEngine::Shutdown();
    }
    std::string Name() const { return std::to_string(m_EngineId >> 24); }

    std::vector<std::string>* m_Events;
    u32 m_Lists;
};

class CCountedNod : public CMwNod {
public:
    explicit CCountedNod(int* deleted) : m_Deleted(deleted) {}
    ~CCountedNod() override { ++*m_Deleted; }
    int* m_Deleted;
};

class MwEngine : public CMwCoreFixture {};

TEST_F(MwEngine, ManagerRegistersAndShutsDownInReverseOrder) {
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
    manager->Shutdown();
    EXPECT_EQ(events, (std::vector<std::string>{"registered 1", "registered 11", "registered 18",
                                                "shutdown 18", "delete 18", "shutdown 11",
                                                "delete 11", "shutdown 1", "delete 1"}));
    EXPECT_EQ(g_MwEngineManager, nullptr);
    EXPECT_EQ(manager->GetEngine(11), nullptr);
    EXPECT_EQ(manager->Release(), 0);
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
