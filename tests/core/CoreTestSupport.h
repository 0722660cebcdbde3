#pragma once
// Shared set-up of the core tests: the name pool and the class registry with the core classes
// and the test's own classes, and access to what the engine log received.
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"

#include <gtest/gtest.h>
#include <string>

// Everything the log's primary stream holds so far.
inline std::string LogText() {
    const CClassicString& text = g_ClassicLog.GetMemoryStream(0).GetBuffer().GetText();
    return std::string(text.GetText(), text.GetLength());
}

// Records the log's length at construction and gives what was written since.
class CLogWatch {
public:
    CLogWatch() : m_Start(LogText().size()) {}
    std::string Since() const { return LogText().substr(m_Start); }

private:
    size_t m_Start;
};

// Starts the name pool and the registry with the core classes and `extra`, and stops both.
class CMwCoreFixture : public ::testing::Test {
protected:
    explicit CMwCoreFixture(const CMwClassList* extra = nullptr) : m_Extra(extra) {}

    void SetUp() override {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        if (m_Extra)
            CMwClassRegistry::AddClassList(*m_Extra);
        CMwClassRegistry::Init();
        // Records stay listed for the rest of the test program, so a test class that shares its
        // id with another test's class would find that class filed in its place.
        for (u32 i = 0; m_Extra && i < m_Extra->m_Count; ++i) {
            const CMwClassInfo* info = m_Extra->m_Classes[i];
            ASSERT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info)
                << info->m_Name << " shares its class id with a class of another test";
        }
    }
    void TearDown() override {
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }

private:
    const CMwClassList* m_Extra;
};
