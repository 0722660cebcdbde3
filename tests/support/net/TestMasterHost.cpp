#include "tests/support/net/TestMasterHost.h"

#include "core/base/ClassicArchive.h"

MW_DEFINE_CLASS(CTestMasterHost, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

void CTestMasterHost::ArchiveDescription(CClassicArchive& archive) {
    archive.SerializeUInts(&m_Marker, 1);
    archive.SerializeUInts(&m_Race, 1);
    archive.SerializeBytes(&m_Flags, 1);
    archive.SerializeStrings(&m_Server, 1);
    archive.SerializeUInts(&m_Spare, 1);
}

void CTestMasterHost::OnLoginChanged() {
    ++m_LoginChanges;
    m_LoginSeen = m_HostName;
}

namespace {
constinit CMwClassInfo* const s_NetMasterTestClasses[] = {&CTestMasterHost::s_ClassInfo};
} // namespace

constinit const CMwClassList g_NetMasterTestClassList = {
    s_NetMasterTestClasses, sizeof(s_NetMasterTestClasses) / sizeof(s_NetMasterTestClasses[0])};
