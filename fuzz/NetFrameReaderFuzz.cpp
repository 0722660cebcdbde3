// Fuzzes the test frame reader, the inverse of CNetNod::Write, over arbitrary bytes in both
// framings with the test form. The first byte chooses the framing (bit 0: compact) and the flags
// of the test form's record (bit 1 checksum, bit 2 sequence, bit 3 ordered); the rest is the
// frame. Nothing may crash, leak or allocate beyond the reader's limit, and every frame read is
// written again with the same record and counter: an uncompressed frame comes back byte for
// byte, a compressed one with the same header and a body that reads the same.
#include "FuzzReader.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "net/engine/NetClasses.h"
#include "tests/support/net/NetFrameReader.h"
#include "tests/support/net/TestNetForm.h"

#include <cstring>

namespace {

constexpr u8 kFormIndex = 0x2A;

// The header before the body: compact flags, index and sequence (the checksum, which covers
// the compressed bytes, is left out), or the full framing's tag.
u32 HeaderSize(const CNetFrame& frame, bool compact) {
    if (!compact)
        return 4;
    return frame.m_Flags & (CNetNod::s_FlagSequence | CNetNod::s_FlagOrdered) ? 4 : 2;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_NetClassList);
    CMwClassRegistry::AddClassList(g_NetTestClassList);
    CMwClassRegistry::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 20))
        return 0;
    const u8 control = data[0];
    const bool compact = control & 1;
    CNetClassLink records[2];
    records[0].m_ClassId = 0x12002000; // a class the reader cannot create
    records[0].m_ClassIndex = 1;
    records[1].m_ClassId = CTestNetForm::s_ClassId;
    records[1].m_ClassIndex = kFormIndex;
    records[1].m_Checksum = control & 2;
    records[1].m_Sequence = control & 4;
    records[1].m_Ordered = control & 8;
    CNetLinkSettings settings;
    settings.m_FramingMode =
        compact ? CNetLinkSettings::s_FramingCompact : CNetLinkSettings::s_FramingFull;
    settings.m_Classes = records;
    settings.m_ClassCount = 2;

    const u8* frameData = data + 1;
    const u32 frameSize = u32(size - 1);
    CNetFrame frame;
    if (!NetReadFrame(frameData, frameSize, settings, frame))
        return 0;
    FUZZ_CHECK(frame.m_Form != nullptr);
    // A frame may name any form the engine knows; the test form alone writes itself back.
    if (frame.m_Form->GetClassId() != CTestNetForm::s_ClassId)
        return 0;
    auto* form = static_cast<CTestNetForm*>(frame.m_Form);
    form->m_Compressed = frame.m_Compressed;

    CClassicBufferMemory again;
    u32 counter = frame.m_Sequence;
    form->Write(again, settings, counter);
    if (!frame.m_Compressed) {
        FUZZ_CHECK(again.GetSize() == frameSize);
        FUZZ_CHECK(std::memcmp(again.GetData(), frameData, frameSize) == 0);
        return 0;
    }
    const u32 header = HeaderSize(frame, compact);
    FUZZ_CHECK(again.GetSize() >= header);
    FUZZ_CHECK(std::memcmp(again.GetData(), frameData, header) == 0);
    CNetFrame reread;
    FUZZ_CHECK(NetReadFrame(again.GetData(), again.GetSize(), settings, reread));
    FUZZ_CHECK(static_cast<CTestNetForm*>(reread.m_Form)->m_Body == form->m_Body);
    return 0;
}
