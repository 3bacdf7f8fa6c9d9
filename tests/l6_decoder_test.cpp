#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "monitor/l6_decoder.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::L6Fields;

constexpr std::uint8_t kFree = kErrStatusErrorFree;
constexpr std::uint8_t kBad = kErrStatusErroneous;
constexpr std::uint8_t kUnknown = kErrStatusUnknown;

class L6DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC0", 1);
        tzset();
        // 2024-05-01 12:34:56.789 UTC
        out.clockTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1714566896789));
    }
    void report(std::uint8_t chn, std::uint8_t errStatus, L6Fields f = {}) {
        f.chn = chn;
        f.chName = chn == 0 ? 0 : 1;
        f.errStatus = errStatus;
        ASSERT_TRUE(decoder.decodeFrame(test::l6Frame(f)));
    }

    test::RecordingOutputs out;
    L6Decoder decoder{out.outputs()};
};

TEST_F(L6DecoderTest, DecodesEveryFieldOfTheReportAndItsHeader) {
    L6Fields f;
    f.version = 1;
    f.svid = 4;
    f.cnoRaw = 0x2D80;
    f.timeTag = 0xFEDCBA98;
    f.groupDelay = 73;
    f.bitErrCorr = 12;
    f.chn = 1;
    f.msgName = 1;
    f.errStatus = 1;
    f.chName = 2;
    // PRN 196, vendor 5 (CLAS), facility 2, subframe 1, alert 1.
    f.header = {0x1A, 0xCF, 0xFC, 0x1D, 196, 0b101'10'00'1, 0x80};
    ASSERT_TRUE(decoder.decodeFrame(test::l6Frame(f)));
    const L6ChannelReport& r = decoder.current();
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.svid, 4);
    EXPECT_FLOAT_EQ(r.cno, 45.5f);
    EXPECT_EQ(r.timeTag, 0xFEDCBA98u);
    EXPECT_EQ(r.groupDelay, 73);
    EXPECT_EQ(r.bitErrCorr, 12);
    EXPECT_EQ(r.chn, 1);
    EXPECT_EQ(r.msgName, 1);
    EXPECT_EQ(r.errStatus, 1);
    EXPECT_EQ(r.chName, 2);
    EXPECT_EQ(r.prn, 196);
    EXPECT_EQ(r.vendorId, 5);
    EXPECT_EQ(r.facilityId, 2);
    EXPECT_EQ(r.subframeIndicator, 1);
    EXPECT_EQ(r.alertFlag, 1);
    EXPECT_EQ(r.channel(), Channel::B);
}

TEST_F(L6DecoderTest, PreambleByteTwoIsNotExamined) {
    L6Fields f;
    f.header = {0x1A, 0xCF, 0x00, 0x1D, 199, 0, 0};
    report(0, kFree, f);
    EXPECT_EQ(decoder.current().prn, 199);
    EXPECT_TRUE(decoder.current().hasHeader());
}

TEST_F(L6DecoderTest, MissingPreambleKeepsTheLastHeader) {
    L6Fields f;
    f.header = {0x1A, 0xCF, 0xFC, 0x1D, 194, 0xA9, 0x00};
    report(0, kFree, f);
    f.header = {0x00, 0xCF, 0xFC, 0x1D, 77, 0x00, 0x80};
    report(1, kFree, f);
    const L6ChannelReport& r = decoder.current();
    EXPECT_EQ(r.alertFlag, kAlertNoHeader);
    EXPECT_EQ(r.prn, 194);
    EXPECT_EQ(r.vendorId, 5);
    EXPECT_EQ(r.facilityId, 1);
    EXPECT_EQ(r.subframeIndicator, 1);
}

TEST_F(L6DecoderTest, ShortPayloadIsNotDecoded) {
    report(0, kFree);
    const L6ChannelReport before = decoder.current();
    out.events.clear();
    L6Fields f;
    f.payloadSize = 20;
    f.svid = 9;
    EXPECT_FALSE(decoder.decodeFrame(test::l6Frame(f)));
    EXPECT_EQ(decoder.current(), before);
    EXPECT_TRUE(out.events.empty());

    f.payloadSize = 21;  // just enough: bytes 0 to 20
    EXPECT_TRUE(decoder.decodeFrame(test::l6Frame(f)));
    EXPECT_EQ(decoder.current().svid, 9);
    EXPECT_EQ(decoder.current().prn, 194);
}

TEST_F(L6DecoderTest, CallsOutInOrder) {
    out.logging = true;
    report(0, kFree);
    report(1, kFree);
    EXPECT_EQ(out.events, (std::vector<std::string>{"fresh A", "show", "pair", "fresh B", "show", "pair"}));
}

struct PairCase {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> reports;  // (chn, errStatus)
    std::int64_t bothFailed;
    std::uint64_t evaluations;
    bool receptionGood;
};

TEST_F(L6DecoderTest, PairEvaluationAndBothFailedCount) {
    const PairCase cases[] = {
        // The first A after a reset is evaluated against the all-zero previous report.
        {"A then B, both error-free", {{0, kFree}, {1, kFree}}, 0, 2, true},
        {"A then B, both erroneous", {{0, kBad}, {1, kBad}}, 2, 2, false},
        {"A erroneous, B error-free", {{0, kBad}, {1, kFree}}, 1, 2, true},
        {"A, A with B missed", {{0, kFree}, {1, kFree}, {0, kBad}, {0, kBad}}, 1, 3, false},
        {"B, B with A missed", {{1, kBad}, {1, kBad}}, 2, 2, false},
        {"B then A: no evaluation at A", {{0, kFree}, {1, kBad}, {0, kBad}}, 0, 2, true},
        {"unknown on both counts as failed", {{0, kFree}, {1, kFree}, {0, kUnknown}, {1, kUnknown}}, 1, 3, false},
        {"chn 2 only against chn 2", {{0, kFree}, {2, kBad}, {2, kBad}}, 1, 2, false},
    };
    for (const PairCase& c : cases) {
        test::RecordingOutputs o;
        L6Decoder d(o.outputs());
        for (auto [chn, err] : c.reports) {
            L6Fields f;
            f.chn = chn;
            f.errStatus = err;
            ASSERT_TRUE(d.decodeFrame(test::l6Frame(f)));
        }
        EXPECT_EQ(d.bothFailedCount(), c.bothFailed) << c.name;
        EXPECT_EQ(d.pairEvaluations(), c.evaluations) << c.name;
        EXPECT_EQ(o.pairs.size(), c.evaluations) << c.name;
        EXPECT_EQ(d.receptionGood(), c.receptionGood) << c.name;
    }
}

TEST_F(L6DecoderTest, BothFailedSecondShowsCountAndTimeOfDay) {
    report(0, kFree);
    report(1, kFree);
    EXPECT_TRUE(out.statusTexts.empty());
    report(0, kBad);
    report(1, kBad);
    report(0, kBad);
    report(1, kBad);
    EXPECT_EQ(out.statusTexts, (std::vector<std::string>{"Error count: 1  12:34:56",
                                                         "Error count: 2  12:34:56"}));
}

TEST_F(L6DecoderTest, TimeOfDayIsLocal) {
    setenv("TZ", "JST-9", 1);
    tzset();
    report(0, kBad);
    EXPECT_EQ(out.statusTexts.back(), "Error count: 1  21:34:56");
}

TEST_F(L6DecoderTest, PairsAreWrittenOnlyWhileLogging) {
    out.logging = false;
    report(0, kFree);
    report(1, kFree);
    EXPECT_TRUE(out.pairs.empty());
    out.logging = true;
    L6Fields a;
    a.timeTag = 5000;
    report(0, kFree, a);
    L6Fields b;
    b.timeTag = 5001;
    report(1, kBad, b);
    ASSERT_EQ(out.pairs.size(), 1u);
    EXPECT_EQ(out.pairs[0].first.timeTag, 5000u);
    EXPECT_EQ(out.pairs[0].second.timeTag, 5001u);
}

TEST_F(L6DecoderTest, CnoAverageRestartsOnNewSvidAndTurnsExponentialAt30) {
    L6Fields f;
    f.svid = 2;
    double expected = 0;
    for (int n = 1; n <= 40; ++n) {
        f.cnoRaw = static_cast<std::uint16_t>((30 + n % 7) * 256 + 128);
        const double cno = f.cnoRaw / 256.0;
        expected = n < 30 ? static_cast<float>(((n - 1) * expected + cno) / n)
                          : static_cast<float>((29 * expected + cno) / 30);
        report(0, kFree, f);
        ASSERT_FLOAT_EQ(decoder.cnoAverage(Channel::A), static_cast<float>(expected)) << n;
        ASSERT_FLOAT_EQ(out.shown.back().second, static_cast<float>(expected)) << n;
    }
    f.svid = 3;
    f.cnoRaw = 0x2D80;
    report(0, kFree, f);
    EXPECT_FLOAT_EQ(decoder.cnoAverage(Channel::A), 45.5f);
    EXPECT_FLOAT_EQ(decoder.cnoAverage(Channel::B), 0.0f) << "channel B untouched";
}

TEST_F(L6DecoderTest, ChannelsAverageSeparately) {
    L6Fields a;
    a.cnoRaw = 40 * 256;
    L6Fields b;
    b.cnoRaw = 30 * 256;
    report(0, kFree, a);
    report(1, kFree, b);
    a.cnoRaw = 42 * 256;
    report(0, kFree, a);
    EXPECT_FLOAT_EQ(decoder.cnoAverage(Channel::A), 41.0f);
    EXPECT_FLOAT_EQ(decoder.cnoAverage(Channel::B), 30.0f);
}

TEST_F(L6DecoderTest, ClearRestartsCountsAveragesAndPairing) {
    L6Fields f;
    f.cnoRaw = 40 * 256;
    report(0, kBad, f);
    report(1, kBad, f);
    report(0, kFree, f);
    report(1, kFree, f);
    ASSERT_EQ(decoder.bothFailedCount(), 2);
    ASSERT_TRUE(decoder.receptionGood());

    decoder.clear();
    EXPECT_EQ(decoder.bothFailedCount(), 0);
    EXPECT_FALSE(decoder.receptionGood());
    EXPECT_EQ(decoder.previous(), L6ChannelReport{});
    EXPECT_EQ(decoder.current().prn, 194) << "the current report is not cleared";

    f.cnoRaw = 50 * 256;  // same svid, but the count restarted
    report(0, kBad, f);
    EXPECT_FLOAT_EQ(decoder.cnoAverage(Channel::A), 50.0f);
    EXPECT_EQ(decoder.bothFailedCount(), 1) << "first A evaluated against the all-zero report";
}

}  // namespace
}  // namespace tessaly
