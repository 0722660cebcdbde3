#pragma once
// The fixture of the script tests: the name pool and the registry with the core, System and
// script classes and the script test nods, and a System engine over the fake host (memory images
// go through its memory folder). The step budget is off and the test statements' trace empty at
// the start of each test.
#include "script/ScriptClasses.h"
#include "script/base/ScriptRun.h"
#include "tests/script/support/ScriptBuilders.h"
#include "tests/script/support/ScriptTestNods.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Loads the memory image, which must fail with the line given (the invalid-data line of a class and
// chunk, "\r\n" added) and no other script warning after it, leaving no nod behind.
inline void ExpectScriptLoadRefused(const std::string& image, const std::string& line) {
    const u32 before = CMwNod::GetLiveNodCount();
    CLogWatch log;
    EXPECT_FALSE(ScriptLoadImage(image));
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    const std::string lines = log.Since();
    const size_t at = lines.find(line + "\r\n");
    EXPECT_NE(at, std::string::npos) << lines;
    EXPECT_EQ(lines.find("Script Warning", at + 1), std::string::npos) << lines;
}

// The nod as a T, or null when it is none or of another class.
template <class T>
T* ScriptNodAs(const TNodRef<CMwNod>& nod) {
    return nod && nod->IsKindOf(T::s_ClassId) ? static_cast<T*>(nod.Get()) : nullptr;
}

// The sample of each class (made by `make`), saved in release format, loads back as the same
// class and the same tree in both encodings.
template <class Make>
void ExpectSamplesRoundTrip(const std::vector<u32>& classIds, Make make) {
    for (u32 classId : classIds) {
        SCOPED_TRACE(testing::Message() << std::hex << classId);
        const TNodRef<CMwNod> sample(make(classId));
        ASSERT_TRUE(sample);
        for (bool text : {false, true}) {
            const TNodRef<CMwNod> loaded =
                ScriptLoadImage(ScriptSaveImage(sample.Get(), true, text));
            ASSERT_TRUE(loaded);
            EXPECT_EQ(loaded->GetClassId(), classId);
            EXPECT_TRUE(ScriptSameTrees(sample.Get(), loaded.Get(), true));
        }
    }
}

class CScriptFixture : public CSystemFixture {
protected:
    CScriptFixture() : CSystemFixture(&g_ScriptClassList) {
        CMwClassRegistry::AddClassList(g_ScriptTestClassList);
    }

    void SetUp() override {
        CSystemFixture::SetUp();
        for (u32 i = 0; i < g_ScriptTestClassList.m_Count; ++i) {
            const CMwClassInfo* info = g_ScriptTestClassList.m_Classes[i];
            ASSERT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info)
                << info->m_Name << " shares its class id with another class";
        }
        m_Host = std::make_unique<CEngineHost>();
        script::SetStepBudget(0);
        ScriptTestTrace().clear();
    }
    void TearDown() override {
        script::SetStepBudget(0);
        m_Host.reset();
        CSystemFixture::TearDown();
    }

    std::unique_ptr<CEngineHost> m_Host;
};
