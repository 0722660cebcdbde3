#include "tests/support/net/TestNetForm.h"

#include "core/base/ClassicArchive.h"

MW_DEFINE_CLASS(CTestNetForm, MwFactory<CTestNetForm>, MW_NO_MEMBERS, MW_NO_CHUNKS);

u32 CTestNetForm::Archive(CClassicArchive& archive) {
    if (m_BodyHook)
        m_BodyHook(*this, archive);
    if (archive.m_Writing) {
        archive.WriteRaw(m_Body.data(), u32(m_Body.size()));
        return 0;
    }
    const CClassicBuffer* stream = archive.GetBuffer();
    const u32 left = stream && stream->GetPosition() < stream->GetSize()
                         ? stream->GetSize() - stream->GetPosition()
                         : 0;
    archive.CheckReadSize(left, kClassicBufferMemoryMaxSize);
    m_Body.resize(left);
    archive.ReadRaw(m_Body.data(), left);
    return 0;
}

namespace {

constinit CMwClassInfo* const s_NetTestClasses[] = {
    &CTestNetForm::s_ClassInfo,
};

} // namespace

constinit const CMwClassList g_NetTestClassList = {
    s_NetTestClasses, sizeof(s_NetTestClasses) / sizeof(s_NetTestClasses[0])};
