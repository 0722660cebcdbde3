#pragma once
// Scripted GPU programs for the tests of programs and of what uses them (passes, shaders,
// materials): a vertex and a pixel class whose Compile installs the result the test gives, or
// fails, and counts its calls; they scan their texts for the defines the test declares known.
// They are listed in g_TestGpuProgramClassList, never in the plug library's list.
#include "plug/gpu/PlugFileGPU.h"

#include <algorithm>
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

// Compiles by the script: installs a copy of its result, or fails; counts the calls.
i32 RunTestGpuScript(CPlugFileGPU& program, STestGpuScript& script);

// The scripted operations over a vertex or pixel base.
template <class Base>
class TTestGpuProgram : public Base {
public:
    i32 Compile(i32, i32) override { return RunTestGpuScript(*this, m_Script); }
    bool IsKnownDefine(const CMwId* define) override {
        return define && std::find(m_Script.m_KnownDefines.begin(), m_Script.m_KnownDefines.end(),
                                   *define) != m_Script.m_KnownDefines.end();
    }

    STestGpuScript m_Script;

protected:
    bool ScansDefines() override { return m_Script.m_Scans; }
};
using TTestGpuProgramV = TTestGpuProgram<CPlugFileGPUV>;
using TTestGpuProgramP = TTestGpuProgram<CPlugFileGPUP>;

class CTestGpuProgramV : public TTestGpuProgramV {
    MW_DECLARE_CLASS(CTestGpuProgramV, TTestGpuProgramV, 0x09FFE000)
};

class CTestGpuProgramP : public TTestGpuProgramP {
    MW_DECLARE_CLASS(CTestGpuProgramP, TTestGpuProgramP, 0x09FFD000)
};

extern const CMwClassList g_TestGpuProgramClassList;
