#pragma once
// The host of the master-server tests: its description is a marker, a race number, three flags,
// a server text and a spare word (0 unless a test sets it, so that a description can end in zero
// bytes). Its class lives outside every real class table, in g_NetMasterTestClassList only.
#include "net/master/NetMasterNods.h"

class CTestMasterHost : public CNetMasterHost {
    MW_DECLARE_CLASS(CTestMasterHost, CNetMasterHost, 0x120F2000)
public:
    static constexpr u32 s_Marker = 0x54534F48;
    static constexpr u8 s_FlagHosting = 1;
    static constexpr u8 s_FlagPrivate = 2;
    static constexpr u8 s_FlagFull = 4;

    CTestMasterHost() = default;

    void ArchiveDescription(CClassicArchive& archive) override;
    void OnLoginChanged() override;
    bool IsValid() override { return m_Marker == s_Marker; }
    bool IsHosting() override { return (m_Flags & s_FlagHosting) != 0; }
    bool IsPrivate() override { return (m_Flags & s_FlagPrivate) != 0; }
    bool IsFull() override { return (m_Flags & s_FlagFull) != 0; }
    u32 GetRace() override { return m_Race; }
    const char* GetServer() override { return m_Server.GetText(); }

    u32 m_Marker = s_Marker;
    u32 m_Race = 0;
    u8 m_Flags = 0;
    CClassicString m_Server;
    u32 m_Spare = 0;
    // What HostName held at each OnLoginChanged.
    u32 m_LoginChanges = 0;
    CClassicString m_LoginSeen;
};

// The test classes of the master-server tests, registered after the net library's list.
extern const CMwClassList g_NetMasterTestClassList;
