#pragma once
// A bandwidth meter: a ring of {bytes, milliseconds} samples with the running total of their
// bytes. Its owner adds a sample per delivery and drops the samples older than its window; the
// total is then what came in within the window. No rate is computed here.
#include "platform/Types.h"

#include <memory>

class NetRateMeter {
public:
    struct SSample {
        u32 m_Bytes;
        u32 m_TimeMs;
    };

    explicit NetRateMeter(u32 capacity);
    virtual ~NetRateMeter() = default;
    NetRateMeter(const NetRateMeter&) = delete;
    NetRateMeter& operator=(const NetRateMeter&) = delete;

    // Stamps the sample with the Net engine's clock (NetGetTimeMs); a full ring doubles first
    // (2 from 0), its samples copied to the new start in age order. Returns the new total.
    u32 AddSample(u32 bytes);
    // From the oldest on, drops the samples whose time is below the limit (unsigned).
    void DropOlderThan(u32 limitMs);

    u32 GetCapacity() const { return m_Capacity; }
    u32 GetCount() const { return m_Count; }
    u32 GetTotal() const { return m_Total; }
    // Sample k in age order (0 the oldest); k must be below the count.
    const SSample& GetSample(u32 k) const { return m_Samples[(m_Head + k) % m_Capacity]; }

private:
    std::unique_ptr<SSample[]> m_Samples;
    u32 m_Capacity;
    u32 m_Head = 0;
    u32 m_Tail = 0;
    u32 m_Count = 0;
    u32 m_Total = 0;
};
