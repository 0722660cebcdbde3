#pragma once
// The nod class whose body the body fuzz targets read, and the round trip they check.
//
// CFuzzNod has a plain chunk (a u32), a skippable chunk (a string and a real), a chunk that
// release archives leave out (a wide string) and a chunk that holds an inline child of its own
// class, read by calling the child's Archive as the archive file reads inline nods. A child is
// kept only when its body was read whole, so a nod whose read failed holds no level past the
// nesting an archive accepts.
#include "core/base/ClassicArchive.h"
#include "core/nod/MwNod.h"

class CFuzzNod : public CMwNod {
    MW_DECLARE_CLASS(CFuzzNod, CMwNod, 0x01F20000)
public:
    static constexpr u32 s_ValueChunk = 0x01F20000;
    static constexpr u32 s_TextChunk = 0x01F20001;
    static constexpr u32 s_WideChunk = 0x01F20002;
    static constexpr u32 s_ChildChunk = 0x01F20003;

    CFuzzNod() = default;
    CFuzzNod(const CFuzzNod&) = delete;
    CFuzzNod& operator=(const CFuzzNod&) = delete;
    ~CFuzzNod() override;

    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_Value = 0;
    CClassicString m_Text;
    f32 m_Real = 0;
    CClassicWideString m_Wide;
    CFuzzNod* m_Child = nullptr;
};

// Writes the nod's body into a new memory stream.
CClassicBufferMemory* WriteFuzzBody(CFuzzNod& nod, bool text, bool release);

// Text keeps reals in the spellings "1.#INF00" and "-1.#IND00", which read back as +-1: a
// non-finite real read from a text body cannot come back, so it is cleared before a round trip.
void ClearNonFiniteReals(CFuzzNod& nod);

// What the nod writes reads back into a fresh nod, without failing, and writes the same bytes
// again; traps otherwise. Returns the first write.
CClassicBufferMemory* CheckFuzzRoundTrip(CFuzzNod& nod, bool text, bool release);
