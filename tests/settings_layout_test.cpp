#include <gtest/gtest.h>

#include "app/command_buttons.h"
#include "app/window_placement.h"

namespace tessaly {
namespace {

const std::array<std::string, 4> kDefaultCommands = {
    "\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\68 ;H:Hot start",
    "\\B5\\62\\06\\04\\04\\00\\01\\00\\02\\00\\11\\6C ;W:Warm start",
    "\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00\\C8\\8F ;C:Cold start",
    "\\B5\\62\\06\\09\\0D\\00\\FF\\FF\\00\\00\\00\\00\\00\\00\\FF\\FF\\00\\00\\03\\1B\\9A ;D:Default configuration"};

TEST(CommandButtons, DefaultCommandsGiveFourLetteredButtons) {
    const CommandButtonLayout layout = layoutCommandButtons(kDefaultCommands);
    const char* captions[] = {"H", "W", "C", "D"};
    const char* hints[] = {"Hot start", "Warm start", "Cold start", "Default configuration"};
    const int lefts[] = {8, 23, 38, 53};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(layout.buttons[i].visible);
        EXPECT_EQ(layout.buttons[i].caption, captions[i]);
        EXPECT_EQ(layout.buttons[i].hint, hints[i]);
        EXPECT_EQ(layout.buttons[i].left, lefts[i]);
    }
    EXPECT_EQ(layout.statusLineLeft, 76);
}

TEST(CommandButtons, TextsWithoutCommentAreHiddenAndTheRestCloseUp) {
    std::array<std::string, 4> texts = kDefaultCommands;
    texts[0] = "\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00";  // no ";"
    texts[2] = "ABC;   ";                                 // empty comment
    texts[3] = "X; \\;Stop :  Stop the receiver ";        // first ";" even when escaped
    const CommandButtonLayout layout = layoutCommandButtons(texts);
    EXPECT_FALSE(layout.buttons[0].visible);
    EXPECT_FALSE(layout.buttons[2].visible);
    EXPECT_EQ(layout.buttons[1].left, 8);
    EXPECT_EQ(layout.buttons[3].left, 23);
    EXPECT_EQ(layout.buttons[3].caption, "\\");
    EXPECT_EQ(layout.buttons[3].hint, "Stop the receiver");
    EXPECT_EQ(layout.statusLineLeft, 46);

    const CommandButtonLayout none = layoutCommandButtons({"", "", "", ""});
    EXPECT_EQ(none.statusLineLeft, 16);
}

TEST(CommandButtons, CaptionWithoutHintAndUnusualComments) {
    const CommandButtonLayout layout = layoutCommandButtons({"A;Reset", "A;:only a hint", "A;日本:ja", "A; x : "});
    EXPECT_EQ(layout.buttons[0].caption, "R");
    EXPECT_EQ(layout.buttons[0].hint, "");
    EXPECT_EQ(layout.buttons[1].caption, "?");
    EXPECT_EQ(layout.buttons[1].hint, "only a hint");
    EXPECT_EQ(layout.buttons[2].caption, "日");
    EXPECT_EQ(layout.buttons[3].caption, "x");
}

TEST(WindowPlacement, StoredPositionIsKeptInsideItsMonitorsWorkArea) {
    const ScreenRect left{0, 0, 1920, 1040};
    const ScreenRect right{1920, 0, 3840, 1080};
    const auto workAreaAt = [&](int, int x) { return x >= 1920 ? right : left; };
    EXPECT_EQ(placeMainWindow(100, 200, 482, 391, workAreaAt, 0, 0), (ScreenPoint{200, 100}));
    EXPECT_EQ(placeMainWindow(900, 3700, 482, 391, workAreaAt, 0, 0), (ScreenPoint{3358, 689}));
    EXPECT_EQ(placeMainWindow(-50, -300, 482, 391, workAreaAt, 0, 0), (ScreenPoint{0, 0}));
    // A monitor that is gone: the one the position falls to pulls the window in.
    EXPECT_EQ(placeMainWindow(5000, 9000, 482, 391, workAreaAt, 0, 0), (ScreenPoint{3358, 689}));
}

TEST(WindowPlacement, NoStoredPositionCentresOnTheCurrentMonitor) {
    const auto workAreaAt = [](int, int) { return ScreenRect{0, 0, 1920, 1040}; };
    EXPECT_EQ(placeMainWindow(kNoStoredPosition, 100, 482, 391, workAreaAt, 0, 0), (ScreenPoint{719, 324}));
    EXPECT_EQ(placeMainWindow(100, kNoStoredPosition, 482, 391, workAreaAt, 0, 0), (ScreenPoint{719, 324}));
}

TEST(WindowPlacement, WindowLargerThanTheWorkAreaKeepsItsTopAndRightEdgesIn) {
    const auto workAreaAt = [](int, int) { return ScreenRect{0, 0, 400, 300}; };
    EXPECT_EQ(placeMainWindow(10, 10, 482, 391, workAreaAt, 0, 0), (ScreenPoint{-82, 0}));
}

}  // namespace
}  // namespace tessaly
