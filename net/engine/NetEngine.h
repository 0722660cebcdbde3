#pragma once
// CNetEngine: the engine object of engine 18 ("Net"), which holds the networking classes (class
// ids 0x12xxx000). It answers with CMwEngine's identity, has no nod lists and nothing to do when
// registered. Its factory builds the message classes once they exist; every other id gives null.
#include "core/nod/MwEngine.h"

class CNetEngine : public CMwEngine {
public:
    static constexpr u32 s_EngineId = 0x12000000;

    CMwNod* CreateByClassId(u32 classId, CMwNod** out, u32 unused) override;
};

// Start-up: when the engine manager's slot 18 is empty, creates the engine, sets its engine id,
// lets it create its nod lists and registers it. Returns the engine in the slot (null without an
// engine manager).
CMwEngine* NetRegisterEngine();
