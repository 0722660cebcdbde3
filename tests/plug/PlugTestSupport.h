#pragma once
// The Plug tests' fixtures: the registry started with the core, system and plug class lists
// (and, where a test needs them, the Plug test classes), and a System engine over fake host
// facts whose current folder is a temporary folder holding "GameData".
#include "plug/PlugClasses.h"
#include "plug/bitmap/PlugFileImg.h"
#include "system/engine/SystemEngine.h"
#include "tests/plug/PlugTestNods.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <filesystem>
#include <memory>

// Sets the image limit while it lives.
struct CImageLimit {
    explicit CImageLimit(u64 bytes) { CPlugFileImg::SetImageLimit(bytes); }
    ~CImageLimit() { CPlugFileImg::SetImageLimit(m_Old); }
    CImageLimit(const CImageLimit&) = delete;
    CImageLimit& operator=(const CImageLimit&) = delete;
    u64 m_Old = CPlugFileImg::GetImageLimit();
};

class CPlugFixture : public CSystemFixture {
protected:
    CPlugFixture() : CSystemFixture(&g_PlugClassList) {}
};

// The plug list and the Plug test classes, with an engine over a temporary install folder.
class CPlugEngineFixture : public CInstallFixture<CPlugFixture> {
protected:
    void SetUp() override {
        CMwClassRegistry::AddClassList(g_PlugTestClassList);
        CInstallFixture::SetUp();
    }
};

// The engine fixture, checking at the end of each test that every nod it made is gone.
class CPlugNodCountFixture : public CPlugEngineFixture {
protected:
    void SetUp() override {
        CPlugEngineFixture::SetUp();
        m_LiveAtStart = CMwNod::GetLiveNodCount();
    }
    void TearDown() override {
        EXPECT_EQ(CMwNod::GetLiveNodCount(), m_LiveAtStart) << "a nod of the test is left";
        CPlugEngineFixture::TearDown();
    }

    u32 m_LiveAtStart = 0;
};
