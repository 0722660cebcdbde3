#pragma once
// A fake host of the scheduling core for script tests: it owns an enabled core with its buffers
// for its lifetime, sets the script time (the value word of the clock the core designates) and
// runs command buffer 13, where the script roots' ticks sit. The counter is a fake that stands
// still, so nothing depends on real time.
#include "platform/Types.h"

class CScriptTimeHost {
public:
    CScriptTimeHost();
    ~CScriptTimeHost();
    CScriptTimeHost(const CScriptTimeHost&) = delete;
    CScriptTimeHost& operator=(const CScriptTimeHost&) = delete;

    void SetTime(u32 ms);
    u32 GetTime() const;
    // Runs command buffer 13 once.
    void Tick();
    // Moves the script time by ms, then ticks.
    void Advance(u32 ms);
};
