// The return-stream monitor: real NAV-PVT and GGA from recorded receiver streams, RXM-COR built
// from its documented layout, bad input, and the clock-driven parts.
#include <gtest/gtest.h>

#include "monitor/rover_monitor.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;
using test::bytesOf;
using test::concat;

constexpr std::uint8_t kL6 = kCorrectionProtocolQzssL6;
const std::string kRealGga = "GNGGA,114423.00,3426.40646,N,13224.88693,E,2,12,0.50,203.7,M,30.1,M,,0000";

void feedInPieces(RoverMonitor& rover, const Bytes& stream, std::size_t piece, std::uint32_t nowMs = 0) {
    for (std::size_t at = 0; at < stream.size(); at += piece) rover.feed(test::slice(stream, at, piece), nowMs);
}

std::uint16_t ageCode(unsigned code) { return static_cast<std::uint16_t>(code << 1); }

TEST(RoverMonitor, RecordedNavPvtGivesTheReceiversSolution) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("pyubx2_ucenter-ZEDF9P-configdebug.log");
    for (const std::size_t piece : {stream.size(), std::size_t{1}, std::size_t{97}}) {
        RoverMonitor rover;
        feedInPieces(rover, stream, piece);
        EXPECT_EQ(rover.counters().navPvt, 2u);
        EXPECT_EQ(rover.counters().malformed, 0u);
        EXPECT_EQ(rover.counters().framesDropped, 0u);
        // The second of the two: a 3D fix within the masks, 8 satellites, hAcc 12016 mm, no
        // correction age.
        const RoverSolution expected{RoverFix::Fix3d, 8u, 12.016, std::nullopt};
        ASSERT_TRUE(rover.solution());
        EXPECT_EQ(*rover.solution(), expected) << piece;
        EXPECT_EQ(rover.counters().navPvtFixes[static_cast<std::size_t>(RoverFix::Fix3d)], 2u);
    }
}

TEST(RoverMonitor, RecordedGgaAmongFramesAndOtherSentences) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("qzsl6tool_20230919-114418_zedf9p.ubx");
    RoverMonitor rover;
    feedInPieces(rover, stream, 1024);
    EXPECT_EQ(rover.counters().gga, 36u);
    EXPECT_EQ(rover.counters().malformed, 0u);
    EXPECT_EQ(rover.counters().ggaFixes[static_cast<std::size_t>(RoverFix::Dgnss)], 36u);
    const RoverSolution expected{RoverFix::Dgnss, 12u, std::nullopt, std::nullopt};
    ASSERT_TRUE(rover.solution());
    EXPECT_EQ(*rover.solution(), expected);
    EXPECT_EQ(rover.counters().rxmCor, 0u);
}

TEST(RoverMonitor, NavPvtFlagsGiveTheFixKindAndAge) {
    struct Case {
        test::NavPvtFields fields;
        RoverFix fix;
        std::optional<double> age;
    };
    const Case cases[] = {
        {{.fixType = 3, .flags = 0x01 | 0x02 | 0x80, .flags3 = ageCode(1)}, RoverFix::Fixed, 1.0},
        {{.fixType = 3, .flags = 0x01 | 0x02 | 0x40, .flags3 = ageCode(4)}, RoverFix::Float, 10.0},
        {{.fixType = 3, .flags = 0x01 | 0x02, .flags3 = static_cast<std::uint16_t>(ageCode(12) | 0x01)}, RoverFix::Dgnss, 120.0},
        {{.fixType = 2, .flags = 0x01}, RoverFix::Fix2d, std::nullopt},
        {{.fixType = 4, .flags = 0x01, .flags3 = ageCode(13)}, RoverFix::Fix3d, std::nullopt},
        // Not within the masks, even with a carrier solution flagged.
        {{.fixType = 3, .flags = 0x80}, RoverFix::None, std::nullopt},
        {{.fixType = 5, .flags = 0x01}, RoverFix::None, std::nullopt},
        {{.fixType = 0, .flags = 0x00}, RoverFix::None, std::nullopt},
        {{.fixType = 6, .flags = 0x01}, RoverFix::Unknown, std::nullopt},
        {{.fixType = 3, .flags = 0xC1}, RoverFix::Unknown, std::nullopt},
    };
    for (const Case& c : cases) {
        RoverMonitor rover;
        rover.feed(test::navPvtFrame(c.fields), 0);
        ASSERT_TRUE(rover.solution());
        EXPECT_EQ(rover.solution()->fix, c.fix) << int(c.fields.fixType) << " " << int(c.fields.flags);
        EXPECT_EQ(rover.solution()->correctionAgeS, c.age) << c.fields.flags3;
    }
}

TEST(RoverMonitor, RxmCorCountedByProtocolAndUse) {
    RoverMonitor rover;
    rover.feed(concat({test::rxmCorFrame(kL6, 1, kCorrectionUsed), test::rxmCorFrame(kL6, 1, kCorrectionUsed),
                       test::rxmCorFrame(kL6, 2, kCorrectionNotUsed), test::rxmCorFrame(kL6, 0, 0),
                       test::rxmCorFrame(kL6, 1, 3), test::rxmCorFrame(kCorrectionProtocolRtcm3, 1, kCorrectionUsed),
                       test::rxmCorFrame(kCorrectionProtocolSpartn, 1, kCorrectionNotUsed)}),
               0);
    EXPECT_EQ(rover.counters().rxmCor, 7u);
    const auto& byProtocol = rover.counters().correctionsByProtocol;
    EXPECT_EQ(byProtocol.at(kL6), (CorrectionCounts{5, 2, 1, 2}));
    EXPECT_EQ(byProtocol.at(kCorrectionProtocolRtcm3), (CorrectionCounts{1, 1, 0, 0}));
    EXPECT_EQ(byProtocol.at(kCorrectionProtocolSpartn), (CorrectionCounts{1, 0, 1, 0}));
    EXPECT_EQ(rover.status().l6, (CorrectionCounts{5, 2, 1, 2}));
    // Corrections alone are no position.
    EXPECT_FALSE(rover.status().solution);
    EXPECT_EQ(rover.lastHeardMs(), 0u);
    EXPECT_FALSE(rover.lastPositionMs());
}

TEST(RoverMonitor, L6CountSlidesOverTheLastMinuteAcrossTheClockWrap) {
    RoverMonitor rover;
    const std::uint32_t start = 0xFFFFFFFFu - 30000;  // the clock wraps half-way
    for (std::uint32_t second = 0; second < 90; ++second) {
        const std::uint8_t used = second % 10 == 0 ? kCorrectionNotUsed : kCorrectionUsed;
        rover.feed(test::rxmCorFrame(kL6, 1, used), start + second * 1000);
        // Other protocols never enter the L6 count.
        rover.feed(test::rxmCorFrame(kCorrectionProtocolRtcm3, 1, kCorrectionUsed), start + second * 1000);
    }
    // At 89.5 s the reports of seconds 30 to 89 are within the minute; 30, 40, ... 80 not used.
    const CorrectionWindow window = rover.l6InLastMinute(start + 89500);
    EXPECT_EQ(window.received, 60u);
    EXPECT_EQ(window.used, 54u);
    // The report of second 30 leaves at exactly 90 s.
    EXPECT_EQ(rover.l6InLastMinute(start + 90000).received, 59u);
    EXPECT_EQ(rover.l6InLastMinute(start + 150000).received, 0u);
    EXPECT_EQ(rover.status().l6.received, 90u);
}

TEST(RoverMonitor, NavPvtWinsOverGgaUntilItFallsSilent) {
    RoverMonitor rover;
    rover.feed(test::navPvtFrame({.fixType = 3, .flags = 0x01 | 0x02 | 0x80, .hAccMm = 14}), 1000);
    rover.feed(bytesOf(test::nmeaSentence(kRealGga)), 1500);
    rover.feed(bytesOf(test::nmeaSentence(kRealGga)), 5999);
    ASSERT_TRUE(rover.solution());
    EXPECT_EQ(rover.solution()->fix, RoverFix::Fixed);
    EXPECT_EQ(rover.solution()->hAccM, 0.014);
    EXPECT_EQ(rover.counters().gga, 2u);
    EXPECT_EQ(rover.lastPositionMs(), 1000u);
    // No NAV-PVT for 5 s: GGA speaks for the rover.
    rover.feed(bytesOf(test::nmeaSentence(kRealGga)), 6000);
    EXPECT_EQ(rover.solution()->fix, RoverFix::Dgnss);
    EXPECT_EQ(rover.solution()->hAccM, std::nullopt);
    EXPECT_EQ(rover.lastPositionMs(), 6000u);
}

TEST(RoverMonitor, GgaFromAnyTalkerWithQualityAndAge) {
    struct Case {
        std::string body;
        RoverFix fix;
        std::optional<unsigned> numSv;
        std::optional<double> age;
    };
    const Case cases[] = {
        {"GPGGA,000001.00,3540.0,N,13945.0,E,4,18,0.6,50.0,M,37.0,M,1.2,0000", RoverFix::Fixed, 18u, 1.2},
        {"GBGGA,000001.00,3540.0,N,13945.0,E,5,09,0.6,50.0,M,37.0,M,3,0000", RoverFix::Float, 9u, 3.0},
        {"GAGGA,000001.00,,,,,0,00,99.99,,,,,,", RoverFix::None, 0u, std::nullopt},
        {"GLGGA,000001.00,3540.0,N,13945.0,E,1,,0.6,50.0,M,37.0,M,,", RoverFix::Fix3d, std::nullopt, std::nullopt},
        {"GNGGA,000001.00,3540.0,N,13945.0,E,6,05,0.6,50.0,M,37.0,M,,", RoverFix::None, 5u, std::nullopt},
    };
    for (const Case& c : cases) {
        RoverMonitor rover;
        rover.feed(bytesOf(test::nmeaSentence(c.body)), 0);
        ASSERT_TRUE(rover.solution()) << c.body;
        EXPECT_EQ(*rover.solution(), (RoverSolution{c.fix, c.numSv, std::nullopt, c.age})) << c.body;
    }
}

TEST(RoverMonitor, MalformedMessagesAreCountedAndChangeNothing) {
    RoverMonitor rover;
    rover.feed(test::navPvtFrame({.fixType = 3, .flags = 0x81}), 0);
    Bytes badChecksum = bytesOf(test::nmeaSentence(kRealGga));
    badChecksum[badChecksum.size() - 3] ^= 0x01;
    const Bytes stream = concat({
        test::navPvtFrame({.payloadSize = 84}),                 // the older, shorter NAV-PVT
        test::rxmCorFrame(kL6, 1, kCorrectionUsed, 11),
        badChecksum,
        bytesOf("$" + kRealGga + "\r\n"),                         // no checksum at all
        bytesOf(test::nmeaSentence("GNGGA,114423.00,3426.4,N,13224.8,E,9,12,0.5,203.7,M,30.1,M,,0000")),
        bytesOf(test::nmeaSentence("GNGGA,114423.00,3426.4,N,13224.8,E,x,12,0.5,203.7,M,30.1,M,,0000")),
        bytesOf(test::nmeaSentence("GNGGA,114423.00,3426.4,N,13224.8,E,4,1x,0.5,203.7,M,30.1,M,,0000")),
        bytesOf(test::nmeaSentence("GNGGA,114423.00,3426.4,N,13224.8,E,4,12,0.5,203.7,M,30.1,M,-1,0000")),
        bytesOf(test::nmeaSentence("GNGGA,114423.00,3426.4,N,13224.8,E,4,12")),
    });
    rover.feed(stream, 10000);
    EXPECT_EQ(rover.counters().malformed, 9u);
    EXPECT_EQ(rover.counters().navPvt, 1u);
    EXPECT_EQ(rover.counters().gga, 0u);
    EXPECT_EQ(rover.counters().rxmCor, 0u);
    EXPECT_EQ(rover.solution()->fix, RoverFix::Fixed);
    EXPECT_EQ(rover.lastHeardMs(), 0u);
}

TEST(RoverMonitor, OtherSentencesAndFramesAreNeitherUsedNorMalformed) {
    RoverMonitor rover;
    Bytes badFrame = test::navPvtFrame({});
    badFrame[30] ^= 0x40;
    rover.feed(concat({bytesOf(test::nmeaSentence("GNGSA,A,3,,,,,,,,,,,,,1.0,0.5,0.8")), bytesOf("$GNGGAX*00\r\n"),
                       test::ubxFrame(0x01, 0x35, Bytes(20, 0)), badFrame,
                       bytesOf("junk$" + test::nmeaSentence(kRealGga))}),
               0);
    EXPECT_EQ(rover.counters().malformed, 0u);
    EXPECT_EQ(rover.counters().framesDropped, 1u);
    // Stray bytes and a false start in front of the sentence do not hide it.
    EXPECT_EQ(rover.counters().gga, 1u);
}

TEST(RoverMonitor, ResetForgetsSolutionCountsAndTheUnfinishedFrame) {
    RoverMonitor rover;
    const Bytes pvt = test::navPvtFrame({});
    rover.feed(concat({pvt, test::rxmCorFrame(kL6, 1, kCorrectionUsed), test::slice(pvt, 0, 50)}), 0);
    rover.reset();
    EXPECT_FALSE(rover.status().solution);
    EXPECT_EQ(rover.status().l6, CorrectionCounts{});
    EXPECT_EQ(rover.l6InLastMinute(0).received, 0u);
    EXPECT_FALSE(rover.lastHeardMs());
    // The rest of the cut frame after the reset is not a frame.
    rover.feed(test::slice(pvt, 50), 0);
    EXPECT_EQ(rover.counters().navPvt, 0u);
    EXPECT_FALSE(rover.solution());
}

}  // namespace
}  // namespace tessaly
