#pragma once
// Scripted GPU programs for the tests of programs and of what uses them (passes, shaders,
// materials): a vertex and a pixel class whose Compile installs the result the test gives, or
// fails, and counts its calls; they scan their texts for the defines the test declares known.
// They are listed in g_TestGpuProgramClassList, never in the plug library's list.
#include "plug/gpu/PlugFileGPU.h"

#include <string>
#include <vector>

// What a scripted program does when compiled.
struct STestGpuScript {
    // Installed (a copy) by every successful Compile.
    GpuProgramResult m_Result;
    // Compile answers 0 and changes nothing.
    bool m_Fails = false;
    // Passed to InstallResult.
    bool m_Notify = true;
    // Whether CollectDefines searches the text, and the defines IsKnownDefine accepts (Know).
    bool m_Scans = true;
    std::vector<CMwId> m_KnownDefines;
    u32 m_CompileCount = 0;

    // Makes the names the known defines.
    void Know(const std::vector<std::string>& names);
};

class CTestGpuProgramV : public CPlugFileGPUV {
    MW_DECLARE_CLASS(CTestGpuProgramV, CPlugFileGPUV, 0x09FFE000)
public:
    i32 Compile(i32 a, i32 b) override;
    bool IsKnownDefine(const CMwId* define) override;

    STestGpuScript m_Script;

protected:
    bool ScansDefines() override { return m_Script.m_Scans; }
};

class CTestGpuProgramP : public CPlugFileGPUP {
    MW_DECLARE_CLASS(CTestGpuProgramP, CPlugFileGPUP, 0x09FFD000)
public:
    i32 Compile(i32 a, i32 b) override;
    bool IsKnownDefine(const CMwId* define) override;

    STestGpuScript m_Script;

protected:
    bool ScansDefines() override { return m_Script.m_Scans; }
};

extern const CMwClassList g_TestGpuProgramClassList;
