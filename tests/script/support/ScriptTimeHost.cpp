#include "tests/script/support/ScriptTimeHost.h"

#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "platform/Clock.h"

namespace {

i64 StillCounter() {
    return 0;
}

constinit platform::CounterSource s_Counter = nullptr;

u32& TimeWord() {
    return *CMwCmdBufferCore::GetSingleton()->GetGameClock()->GetValuePtr();
}

} // namespace

CScriptTimeHost::CScriptTimeHost() {
    s_Counter = platform::SetCounterSource(&StillCounter);
    CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
    core->CreateBuffers();
    core->Enable();
}

CScriptTimeHost::~CScriptTimeHost() {
    CMwCmdBufferCore::DeleteSingleton();
    platform::SetCounterSource(s_Counter);
}

void CScriptTimeHost::SetTime(u32 ms) {
    TimeWord() = ms;
}

u32 CScriptTimeHost::GetTime() const {
    return TimeWord();
}

void CScriptTimeHost::Tick() {
    CMwCmdBufferCore::GetSingleton()->GetBuffer(13)->RunBucket(0);
}

void CScriptTimeHost::Advance(u32 ms) {
    SetTime(GetTime() + ms);
    Tick();
}
