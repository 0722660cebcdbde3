#pragma once
// Engines: one engine object per engine number that the program runs, each with nod lists for
// its own bookkeeping, a hook run when it is registered, a shutdown operation and a factory for
// its classes. The engine manager holds them in 100 slots by engine number and in their order of
// registration, and shuts them down in reverse order.
#include "core/nod/MwNod.h"

class CMwEngine : public CMwNod {
    MW_DECLARE_CLASS(CMwEngine, CMwNod, 0x01003000)
public:
    CMwEngine() = default;
    ~CMwEngine() override;

    // Releases the nod lists.
    virtual void Shutdown();
    virtual u32 GetNodListCount() { return 0; }
    virtual i32 OnRegistered() { return 0; }
    // Creates a nod of one of the engine's classes; null (also in *out) for any other id.
    virtual CMwNod* CreateByClassId(u32 classId, CMwNod** out, u32 unused);

    // Makes GetNodListCount empty lists; called once, after the engine id word is set and before
    // the engine is registered.
    void CreateNodLists();
    // Releases every entry of every list, then frees the lists.
    void ReleaseNodLists();

    // The engine number in the top 8 bits.
    u32 m_EngineId = 0;
    CFastBuffer<CMwNod*>* m_NodLists = nullptr;
    u32 m_NodListCount = 0;
};

// The engine object of engine 1. It answers with CMwEngine's identity.
class CMwFoundationsEngine : public CMwEngine {
public:
    u32 GetNodListCount() override { return 1; }
    // Creates the classes of the engine's factory table, through the class registry for every
    // class with a record (the script classes answer once their library registers them).
    CMwNod* CreateByClassId(u32 classId, CMwNod** out, u32 unused) override;
};

// The engine manager, itself an engine object answering with CMwEngine's identity. It owns the
// engines: they are deleted at its Shutdown.
class CMwEngineManager : public CMwEngine {
public:
    static constexpr u32 SlotCount = 100;

    CMwEngineManager();
    ~CMwEngineManager() override;

    // Stores the engine in slot (engine id word >> 24), appends it to the order and returns its
    // OnRegistered result. An engine number of 100 or more is refused: -1 and a log line.
    i32 AddEngine(u32 engineIdWord, CMwEngine* engine);
    // Shuts the engines down and deletes them, the last registered first, emptying their slots
    // and order entries (the order keeps its count); then clears g_MwEngineManager and releases
    // the manager's own nod lists.
    void ShutdownEngines();
    // The manager's shutdown is ShutdownEngines.
    void Shutdown() override { ShutdownEngines(); }
    CMwEngine* GetEngine(u32 engineNumber) const {
        return engineNumber < m_Slots.m_Count ? m_Slots.m_Items[engineNumber] : nullptr;
    }

    CFastArray<CMwEngine*> m_Slots;
    CFastBuffer<CMwEngine*> m_Order;
};

// The manager from its construction until its destruction or Shutdown.
extern CMwEngineManager* g_MwEngineManager;
