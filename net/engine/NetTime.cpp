#include "net/engine/NetTime.h"

#include "core/nod/MwCmdBufferCore.h"

u32 NetGetTimeMs() {
    if (const CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton())
        return core->m_ComputerClock.GetElapsedMs();
    i64 now = 0;
    MwQueryPerformanceCounter(&now);
    return u32(MwCounterToMs(now));
}
