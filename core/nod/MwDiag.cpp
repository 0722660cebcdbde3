#include "core/nod/MwDiag.h"

#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"

namespace {

struct CDiagState {
    CClassicString m_Indentation{"\r\n"};
    CFastBuffer<u32> m_Steps;
    CFastBuffer<CClassicString> m_Pending;
    bool m_HasPending = false;

    ~CDiagState() {
        m_Steps.FreeItems();
        m_Pending.FreeItems();
    }
};

CDiagState& State() {
    static CDiagState state;
    return state;
}

constexpr u32 kStep = 3;

} // namespace

void DiagIndentIn() {
    CDiagState& state = State();
    state.m_Indentation.Append("   ");
    state.m_Steps.Add(kStep);
}

void DiagIndentOut() {
    CDiagState& state = State();
    if (state.m_Steps.m_Count == 0)
        return;
    const u32 step = state.m_Steps.m_Items[--state.m_Steps.m_Count];
    const u32 length = state.m_Indentation.GetLength();
    state.m_Indentation.Truncate(length - step > 2 ? length - step : 2);
}

void DiagPushContext(const char* text) {
    CDiagState& state = State();
    CClassicString line(state.m_Indentation);
    line.Append(text);
    state.m_Pending.Add(line);
    state.m_HasPending = true;
}

void DiagPopContext() {
    CDiagState& state = State();
    if (state.m_Pending.m_Count == 0)
        return;
    state.m_Pending.m_Items[--state.m_Pending.m_Count].FreeText();
    state.m_HasPending = state.m_Pending.m_Count > 0 && state.m_HasPending;
}

void DiagWritePrefix(CClassicString& out) {
    CDiagState& state = State();
    if (state.m_HasPending) {
        for (u32 i = 0; i < state.m_Pending.m_Count; ++i)
            out.Append(state.m_Pending.m_Items[i]);
        state.m_HasPending = false;
    }
    out.Append(state.m_Indentation);
}

bool IsValidNodPointerGuarded(const void* pointer) {
    return CMwNod::IsValidNod(static_cast<const CMwNod*>(pointer));
}
