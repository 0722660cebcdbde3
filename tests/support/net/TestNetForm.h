#pragma once
// A form for the net tests: its body is the bytes a test gives it, and its delivery answers are
// the test's to set. Its class lives outside every real class table, in g_NetTestClassList only
// (the registry refuses an id filed twice, so it never joins the net library's list).
#include "net/message/NetNod.h"

#include <vector>

class CTestNetForm : public CNetNod {
    MW_DECLARE_CLASS(CTestNetForm, CNetNod, 0x120F1000)
public:
    u32 NeedsQueue() override { return m_NeedsQueue; }
    u32 IsCompressed() override { return m_Compressed; }
    u32 GetDeliveryFlag() override { return m_DeliveryFlag; }
    u32 GetQueuePriority() override { return m_Priority; }
    u32 GetDeliveryLevel() override { return m_DeliveryLevel; }

    // Writing: the body bytes as they are. Reading: every byte left in the archive's stream
    // becomes the body (the frame reader hands a stream that holds the body alone). The hook,
    // when set, runs first.
    u32 Archive(CClassicArchive& archive) override;

    std::vector<u8> m_Body;
    u32 m_NeedsQueue = 0;
    u32 m_Compressed = 0;
    u32 m_DeliveryFlag = 0;
    u32 m_Priority = 0;
    u32 m_DeliveryLevel = 8;
    // Runs at the start of every body archive: a test's body that throws or writes a frame.
    void (*m_BodyHook)(CTestNetForm& form, CClassicArchive& archive) = nullptr;
};

// The test classes of the net tests, registered after the net library's list.
extern const CMwClassList g_NetTestClassList;
