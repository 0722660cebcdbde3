#include "tests/plug/gpu/TestGpuPrograms.h"

MW_DEFINE_CLASS(CTestGpuProgramV, MwFactory<CTestGpuProgramV>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CTestGpuProgramP, MwFactory<CTestGpuProgramP>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

constinit CMwClassInfo* const s_Classes[] = {&CTestGpuProgramV::s_ClassInfo,
                                             &CTestGpuProgramP::s_ClassInfo};

} // namespace

constinit const CMwClassList g_TestGpuProgramClassList = {s_Classes, 2};

void STestGpuScript::Know(const std::vector<std::string>& names) {
    m_KnownDefines.clear();
    for (const std::string& name : names)
        m_KnownDefines.push_back(CMwId::FromName(name.c_str()));
}

i32 RunTestGpuScript(CPlugFileGPU& program, STestGpuScript& script) {
    ++script.m_CompileCount;
    if (script.m_Fails)
        return 0;
    return program.InstallResult(script.m_Result, script.m_Notify) ? 1 : 0;
}
