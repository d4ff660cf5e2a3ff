#include "base/trap.h"

#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/program_info.h"
#include "support/scripted_services.h"

namespace qf {
namespace {

const std::string kLoc = "in QuillfenApp2021/08/31.Form1.Form_Load ";

std::string expectedBox(const std::string& description, int line) {
    return description + "\r\n" + kLoc + "at line " + std::to_string(line) + "\r\r" +
           "Please email screenshot of this message to " + supportEmail();
}

TEST(Trap, ReportsEachFailureWithItsLineAndGoesOn) {
    testing::ScriptedServices ui;
    Trap trap(ui, kLoc);
    std::vector<int> ran;
    trap.step(102, [&] {
        ran.push_back(102);
        throw Failure("Skin failed");
    });
    trap.step(104, [&] { ran.push_back(104); });
    trap.step(126, [&] { throw Failure("Invalid picture"); });
    trap.step(128, [&] { ran.push_back(128); });

    EXPECT_EQ(ran, (std::vector<int>{102, 104, 128}));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, expectedBox("Skin failed", 102));
    EXPECT_EQ(ui.boxes[0].caption, "Application Error");
    EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(ui.boxes[1].text, expectedBox("Invalid picture", 126));
}

TEST(Trap, FailureInACalledRoutineIsTheCallersStatement) {
    testing::ScriptedServices ui;
    Trap trap(ui, kLoc);
    auto routine = [] { throw Failure("deep"); };
    trap.step(102, [&] { routine(); });
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, expectedBox("deep", 102));
}

TEST(Trap, FailingTestRunsTheGuardedStatementsButTakesNoJump) {
    testing::ScriptedServices ui;
    Trap trap(ui, kLoc);
    auto failingTest = []() -> bool { throw Failure("bad test"); };
    EXPECT_TRUE(trap.when(120, failingTest));
    EXPECT_FALSE(trap.jumpIf(102, failingTest));
    EXPECT_TRUE(trap.when(120, [] { return true; }));
    EXPECT_FALSE(trap.when(120, [] { return false; }));
    EXPECT_TRUE(trap.jumpIf(102, [] { return true; }));
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST(Trap, EmptyDescriptionGivesEmptyFirstLineAndForeignExceptionsAreCaught) {
    testing::ScriptedServices ui;
    Trap trap(ui, kLoc);
    trap.step(126, [] { throw Failure(""); });
    trap.step(128, [] { throw 42; });
    trap.step(130, [] { throw std::out_of_range("vector"); });
    trap.step(132, [] { throw std::bad_alloc(); });
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_EQ(ui.boxes[0].text.substr(0, 2), "\r\n");
    EXPECT_EQ(ui.boxes[0].text, expectedBox("", 126));
    EXPECT_EQ(ui.boxes[1].text, expectedBox("Unknown error", 128));
    EXPECT_EQ(ui.boxes[2].text, expectedBox("vector", 130));
    EXPECT_EQ(ui.boxes[3].text, expectedBox("Out of memory", 132));
}

}  // namespace
}  // namespace qf
