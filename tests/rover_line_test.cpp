// The rover line under the grids, tick by tick, as the window shows it.
#include <gtest/gtest.h>

#include "app/rover_line.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

constexpr std::uint8_t kL6 = kCorrectionProtocolQzssL6;
constexpr auto kEnglish = UiLanguage::English;

class RoverLineTest : public ::testing::Test {
protected:
    // A fixed solution, 12 satellites, hAcc 14 mm, correction age code 1 (0 to 1 s).
    void hearFixedRover(std::uint32_t nowMs) {
        rover.feed(test::navPvtFrame({.fixType = 3, .flags = 0x83, .numSv = 12, .hAccMm = 14, .flags3 = 1 << 1}), nowMs);
    }
    void hearCorrection(std::uint8_t msgUsed, std::uint32_t nowMs) {
        rover.feed(test::rxmCorFrame(kL6, 1, msgUsed), nowMs);
    }
    RoverLine tick(std::uint32_t nowMs, bool open = true, UiLanguage language = kEnglish) {
        return ticker.tick(rover, nowMs, open, language);
    }

    RoverMonitor rover;
    RoverLineTicker ticker;
};

TEST_F(RoverLineTest, FixedRoverUsingL6) {
    tick(0);
    for (std::uint32_t second = 1; second <= 60; ++second) {
        hearCorrection(second == 7 || second == 30 ? kCorrectionNotUsed : kCorrectionUsed, second * 1000);
    }
    hearFixedRover(60000);
    EXPECT_EQ(tick(60500), (RoverLine{"Rover: RTK fixed  12 SV  0.014 m  L6 used 58/60 in 60 s  age 1 s",
                                      RoverLineColour::Normal}));
    EXPECT_EQ(tick(61500, true, UiLanguage::Japanese).text,
              "ローバー: RTKフィックス  12 衛星  0.014 m  L6使用 57/59 (60秒間)  補正経過 1 秒");
}

TEST_F(RoverLineTest, ColourFollowsTheCarrierSolution) {
    struct Case {
        test::NavPvtFields fields;
        RoverLineColour colour;
        std::string text;
    };
    const Case cases[] = {
        {{.fixType = 3, .flags = 0x43, .numSv = 9, .hAccMm = 250}, RoverLineColour::Yellow, "Rover: RTK float  9 SV  0.250 m"},
        {{.fixType = 3, .flags = 0x03, .numSv = 9, .hAccMm = 600}, RoverLineColour::Red, "Rover: DGNSS  9 SV  0.600 m"},
        {{.fixType = 3, .flags = 0x01, .numSv = 9, .hAccMm = 1800}, RoverLineColour::Red, "Rover: 3D fix  9 SV  1.800 m"},
        {{.fixType = 0, .flags = 0x00, .numSv = 0, .hAccMm = 4294967295u}, RoverLineColour::Red, "Rover: no fix  0 SV  4294967.295 m"},
    };
    for (const Case& c : cases) {
        RoverMonitor fresh;
        fresh.feed(test::navPvtFrame(c.fields), 1000);
        EXPECT_EQ(roverLine(fresh, 1500, 0, kEnglish), (RoverLine{c.text, c.colour}));
    }
}

TEST_F(RoverLineTest, GgaLineHasNoAccuracyButItsAge) {
    tick(0);
    rover.feed(test::bytesOf(test::nmeaSentence("GNGGA,000001.00,3540.0,N,13945.0,E,5,14,0.6,50.0,M,37.0,M,2.5,0000")), 100);
    EXPECT_EQ(tick(1000), (RoverLine{"Rover: RTK float  14 SV  age 2.5 s", RoverLineColour::Yellow}));
}

TEST_F(RoverLineTest, SilentRoverTurnsGreyAfterFiveSecondsWithTheHint) {
    EXPECT_EQ(tick(1000), RoverLine{});
    EXPECT_EQ(tick(5999), RoverLine{});
    const RoverLine silent = tick(6000);
    EXPECT_EQ(silent.colour, RoverLineColour::Grey);
    EXPECT_EQ(silent.text, "Rover silent for 5 s: turn on NAV-PVT or GGA, and RXM-COR, on its port to Output");
    EXPECT_EQ(tick(6000, true, UiLanguage::Japanese).text,
              "ローバー無応答 (5秒): 出力側ポートで NAV-PVT か GGA と RXM-COR を有効に");
    // The rover speaks: the line comes back; it falls silent again 5 s after its last message.
    hearFixedRover(7000);
    EXPECT_EQ(tick(8000).colour, RoverLineColour::Normal);
    EXPECT_EQ(tick(11999).colour, RoverLineColour::Normal);
    EXPECT_EQ(tick(12000).colour, RoverLineColour::Grey);
}

TEST_F(RoverLineTest, ReopenedLinkWaitsFiveSecondsBeforeCallingTheRoverSilent) {
    tick(0);
    hearFixedRover(500);
    EXPECT_EQ(tick(1000).colour, RoverLineColour::Normal);
    EXPECT_EQ(tick(2000, false), RoverLine{});
    // What was heard on the old connection does not count on the new one.
    EXPECT_EQ(tick(3000), RoverLine{});
    EXPECT_EQ(tick(7999), RoverLine{});
    EXPECT_EQ(tick(8000).colour, RoverLineColour::Grey);
}

TEST_F(RoverLineTest, MonitorResetDoesNotMakeATalkingRoverLookSilent) {
    tick(0);
    hearFixedRover(9000);
    EXPECT_EQ(tick(9500).colour, RoverLineColour::Normal);
    rover.reset();
    EXPECT_EQ(tick(10000), RoverLine{});
    hearFixedRover(10400);
    EXPECT_EQ(tick(11000).colour, RoverLineColour::Normal);
}

TEST_F(RoverLineTest, CorrectionsWithoutPositionSayWhatIsMissing) {
    tick(0);
    hearFixedRover(100);
    for (std::uint32_t ms = 1000; ms <= 7000; ms += 1000) hearCorrection(kCorrectionUsed, ms);
    // The solution is more than 5 s old: it no longer stands for the rover.
    EXPECT_EQ(tick(7500), (RoverLine{"Rover: no position message  L6 used 7/7 in 60 s", RoverLineColour::Red}));
}

}  // namespace
}  // namespace tessaly
