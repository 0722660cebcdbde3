#pragma once
// GoogleTest support for dialog flows on the headless backend:
//
//   class MyTest : public HeadlessUiTest {};
//   TEST_F(MyTest, Flow) {
//       m_Ui.Play(ui::Script().In(137).Click(4).Answer(ui::IDOK, ui::Contains("Warning")));
//       EXPECT_EQ(dialog.DoModal(), ui::IDOK);
//   }
//
// The fixture installs the backend in virtual time; a failed flow is a test failure that prints
// the transcript, and so are steps left over at the end of the test.
#include "platform/ui/Headless.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

inline ui::FailureHandler GTestUiFailure() {
    return [](const std::string& message, const std::string& transcript) {
        ADD_FAILURE() << "dialog flow failed: " << message << "\n--- transcript ---\n"
                      << transcript;
    };
}

inline ui::HeadlessOptions GTestHeadlessOptions() {
    ui::HeadlessOptions options;
    options.OnFailure = GTestUiFailure();
    return options;
}

class HeadlessUiTest : public testing::Test {
protected:
    HeadlessUiTest() = default;
    // A fixture whose flows need other options (real time, the test's own counter).
    explicit HeadlessUiTest(ui::HeadlessOptions options) : m_Ui(std::move(options)) {}
    void TearDown() override { m_Ui.Finish(); }

    ui::HeadlessBackend m_Ui{GTestHeadlessOptions()};
};
