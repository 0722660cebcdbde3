#include "net/http/NetRateMeter.h"

#include "net/engine/NetTime.h"

NetRateMeter::NetRateMeter(u32 capacity)
    : m_Samples(capacity ? new SSample[capacity] : nullptr), m_Capacity(capacity) {}

u32 NetRateMeter::AddSample(u32 bytes) {
    const u32 now = NetGetTimeMs();
    if (m_Count == m_Capacity) {
        const u32 capacity = m_Capacity ? m_Capacity * 2 : 2;
        std::unique_ptr<SSample[]> samples(new SSample[capacity]);
        for (u32 k = 0; k < m_Count; ++k)
            samples[k] = GetSample(k);
        m_Samples = std::move(samples);
        m_Capacity = capacity;
        m_Head = 0;
        m_Tail = m_Count;
    }
    m_Samples[m_Tail] = {bytes, now};
    ++m_Count;
    m_Total += bytes;
    m_Tail = (m_Tail + 1) % m_Capacity;
    return m_Total;
}

void NetRateMeter::DropOlderThan(u32 limitMs) {
    while (m_Count != 0 && m_Samples[m_Head].m_TimeMs < limitMs) {
        m_Total -= m_Samples[m_Head].m_Bytes;
        m_Head = (m_Head + 1) % m_Capacity;
        --m_Count;
    }
}
