// The rover in the bridge's status lines, and decode --return on a capture of the return stream.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/decode_command.h"
#include "cli/rover_status.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;
using test::bytesOf;
using test::concat;

constexpr std::uint8_t kL6 = kCorrectionProtocolQzssL6;

TEST(RoverStatus, NullUntilTheFirstPositionMessageThenTheSolutionWithL6Counts) {
    RoverMonitor rover;
    rover.feed(test::rxmCorFrame(kL6, 1, kCorrectionUsed), 0);
    EXPECT_EQ(roverStatusJson(rover.status()), "null");
    EXPECT_EQ(roverStatusText(rover.status()), "rover -");
    rover.feed(concat({test::rxmCorFrame(kL6, 1, kCorrectionUsed),
                       test::rxmCorFrame(kL6, 2, kCorrectionNotUsed), test::rxmCorFrame(kL6, 0, 0),
                       // Other protocols are not part of "cor".
                       test::rxmCorFrame(kCorrectionProtocolSpartn, 1, kCorrectionUsed),
                       test::navPvtFrame({.fixType = 3, .flags = 0x83, .numSv = 12, .hAccMm = 14, .flags3 = 2 << 1})}),
               0);
    EXPECT_EQ(roverStatusJson(rover.status()),
              "{\"fix\":\"fixed\",\"numSV\":12,\"hAcc_m\":0.014,\"correctionAge_s\":2,"
              "\"cor\":{\"received\":4,\"used\":2,\"notUsed\":1,\"unknown\":1}}");
    EXPECT_EQ(roverStatusText(rover.status()), "rover fixed 12 SV 0.014 m age 2 s L6 used 2/4");
}

TEST(RoverStatus, UnreportedValuesAreNull) {
    RoverMonitor rover;
    rover.feed(bytesOf(test::nmeaSentence("GNGGA,000001.00,3540.0,N,13945.0,E,5,,0.6,50.0,M,37.0,M,0.4,0000")), 0);
    EXPECT_EQ(roverStatusJson(rover.status()),
              "{\"fix\":\"float\",\"numSV\":null,\"hAcc_m\":null,\"correctionAge_s\":0.4,"
              "\"cor\":{\"received\":0,\"used\":0,\"notUsed\":0,\"unknown\":0}}");
    rover.feed(test::navPvtFrame({.fixType = 7, .flags = 0x01, .numSv = 3, .hAccMm = 123456}), 0);
    EXPECT_EQ(roverStatusJson(rover.status()),
              "{\"fix\":null,\"numSV\":3,\"hAcc_m\":123.456,\"correctionAge_s\":null,"
              "\"cor\":{\"received\":0,\"used\":0,\"notUsed\":0,\"unknown\":0}}");
}

class DecodeReturnTest : public ::testing::Test {
protected:
    int decode(const std::vector<std::string>& args) {
        std::string error;
        const auto options = parseDecodeOptions(args, error);
        if (!options) {
            err << error;
            return 2;
        }
        return runDecode(*options, out, err);
    }
    std::string writeCapture(const Bytes& bytes) {
        const std::string path = folder.file("return.ubx");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    test::TempFolder folder;
    std::ostringstream out, err;
};

TEST_F(DecodeReturnTest, CountsFixKindsAndCorrectionsByProtocolAndUse) {
    Bytes capture;
    for (int second = 0; second < 3; ++second) {
        const std::uint8_t flags = second == 0 ? 0x01 : second == 1 ? 0x43 : 0x83;
        capture = concat({capture, test::navPvtFrame({.fixType = 3, .flags = flags, .numSv = 15, .hAccMm = 20}),
                          bytesOf(test::nmeaSentence("GNGGA,000001.00,3540.0,N,13945.0,E,4,12,0.6,50.0,M,37.0,M,1.0,0000")),
                          test::rxmCorFrame(kL6, 1, kCorrectionUsed), test::rxmCorFrame(kL6, 2, kCorrectionNotUsed)});
    }
    capture = concat({capture, test::rxmCorFrame(kCorrectionProtocolRtcm3, 0, 0), test::rxmCorFrame(17, 1, kCorrectionUsed),
                      test::rxmCorFrame(kL6, 1, kCorrectionUsed, 8)});
    const std::string path = writeCapture(capture);
    ASSERT_EQ(decode({path, "--return", "--block", "7"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "File: " + path + " (" + std::to_string(capture.size()) + " bytes, blocks of 7), return stream\n"
              "Position messages: NAV-PVT 3, GGA 3\n"
              "Fix kinds from NAV-PVT: none 0, 2d 0, 3d 1, dgnss 0, float 1, fixed 1, unknown 0\n"
              "Fix kinds from GGA: none 0, 2d 0, 3d 0, dgnss 0, float 0, fixed 3, unknown 0\n"
              "RXM-COR: 8\n"
              "  protocol 1 (RTCM 3): received 1, used 0, not used 0, unknown 1\n"
              "  protocol 17: received 1, used 1, not used 0, unknown 0\n"
              "  protocol 30 (QZSS L6): received 6, used 3, not used 3, unknown 0\n"
              "  all protocols: received 8, used 4, not used 3, unknown 1\n"
              "Malformed messages: 1\n"
              "Frames dropped: 0\n"
              "Last solution: rover fixed 15 SV 0.020 m L6 used 3/6\n");
}

TEST_F(DecodeReturnTest, CsvLogDoesNotApplyAndMissingFileFails) {
    const std::string path = writeCapture(test::navPvtFrame({}));
    EXPECT_EQ(decode({path, "--return", "--csv", folder.file("log.csv")}), 2);
    EXPECT_NE(err.str().find("do not apply to --return"), std::string::npos) << err.str();
    EXPECT_EQ(decode({folder.file("absent.ubx"), "--return"}), 2);
    EXPECT_NE(err.str().find("cannot read"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace tessaly
