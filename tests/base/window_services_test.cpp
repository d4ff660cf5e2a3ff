#include "base/window_services.h"

#include <gtest/gtest.h>

#include "support/scripted_services.h"

namespace qf {
namespace {

TEST(BusyState, ShowsTheHourglassOverAnyPointerAndEndsAtTheDefault) {
    testing::ScriptedServices ui;
    ui.setPointer(Pointer::Custom);
    ui.setBusy(true);
    EXPECT_TRUE(ui.busy());
    EXPECT_EQ(ui.pointer(), Pointer::Hourglass);
    // A pointer set while busy does not show through the hourglass.
    ui.setPointer(Pointer::Arrow);
    EXPECT_EQ(ui.pointer(), Pointer::Hourglass);
    ui.setBusy(true);  // shown again, as every step of a long run does
    ui.setBusy(false);
    EXPECT_FALSE(ui.busy());
    EXPECT_EQ(ui.pointer(), Pointer::Default);
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<Pointer>{Pointer::Custom, Pointer::Hourglass, Pointer::Hourglass, Pointer::Default}));
}

TEST(BusyState, TheHourglassAsAPointerStartsBusy) {
    testing::ScriptedServices ui;
    ui.setPointer(Pointer::Hourglass);
    EXPECT_TRUE(ui.busy());
    ui.setBusy(false);
    ui.setPointer(Pointer::Custom);
    EXPECT_FALSE(ui.busy());
    EXPECT_EQ(ui.pointer(), Pointer::Custom);
}

}  // namespace
}  // namespace qf
