// The simulated receiver's stream, read back by the program's own scanner and decoder.
#include <gtest/gtest.h>

#include <stdexcept>

#include "cli/receiver_simulator.h"
#include "monitor/receiver_monitor.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

struct ExpectedReport {
    std::uint8_t chn;
    std::uint8_t errStatus;
    std::uint32_t timeTag;
    std::uint8_t svid;
    std::uint16_t cnoRaw;
};

struct SimulatedRun {
    std::vector<SimulatedSecond> seconds;
    Bytes stream;
};

SimulatedRun simulate(ReceiverSimulator& simulator, int count) {
    SimulatedRun run;
    for (int i = 0; i < count; ++i) {
        run.seconds.push_back(simulator.nextSecond());
        run.stream.insert(run.stream.end(), run.seconds.back().bytes.begin(),
                          run.seconds.back().bytes.end());
    }
    return run;
}

// Feeds the stream in blocks of an odd size, so that frames and text lines cross block ends.
void feed(ReceiverMonitor& monitor, const Bytes& stream) {
    for (std::size_t at = 0; at < stream.size(); at += 1000) {
        monitor.scanBlock(ByteView(stream).subspan(at, std::min<std::size_t>(1000, stream.size() - at)));
    }
}

class ReceiverSimulatorTest : public ::testing::TestWithParam<bool> {
protected:
    L6MessageSource messages() {
        if (!GetParam()) return L6MessageSource(7);
        auto recorded = L6MessageSource::fromFolder(TESSALY_DATA_DIR, 7);
        if (!recorded) throw std::runtime_error("no recorded L6 messages in " TESSALY_DATA_DIR);
        return *recorded;
    }
};

TEST_P(ReceiverSimulatorTest, StreamDecodesIntoTheGeneratedReports) {
    ReceiverSimulator simulator(7, messages());
    const SimulatedRun run = simulate(simulator, 3000);

    std::vector<ExpectedReport> expected;
    int outages = 0, textLines = 0, erroneous = 0, missed = 0, changes = 0;
    for (std::size_t i = 0; i < run.seconds.size(); ++i) {
        const SimulatedSecond& second = run.seconds[i];
        if (i > 0) {
            EXPECT_EQ(second.timeTag, run.seconds[i - 1].timeTag + 1000);
        }
        for (std::uint8_t chn = 0; chn < 2; ++chn) {
            if (!second.errStatus[chn]) {
                ++missed;
                continue;
            }
            erroneous += *second.errStatus[chn] == kErrStatusErroneous;
            expected.push_back({chn, *second.errStatus[chn], second.timeTag, second.svid[chn],
                                second.cnoRaw[chn]});
        }
        outages += second.outage();
        textLines += second.textLine;
        changes += second.satelliteChange;
    }
    // A stream without any of the rare events would test nothing of them.
    EXPECT_GT(outages, 5);
    EXPECT_GT(erroneous, 2 * outages);
    EXPECT_GT(missed, 5);
    EXPECT_GT(textLines, 5);
    EXPECT_GT(changes, 2);

    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    feed(monitor, run.stream);

    EXPECT_EQ(monitor.counters().framesDropped, 0u);
    EXPECT_EQ(monitor.counters().textLinesRemoved, static_cast<std::uint64_t>(textLines));
    EXPECT_EQ(monitor.decoder().bothFailedCount(), outages);
    ASSERT_EQ(outputs.shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const L6ChannelReport& report = outputs.shown[i].first;
        SCOPED_TRACE("report " + std::to_string(i));
        EXPECT_EQ(report.chn, expected[i].chn);
        EXPECT_EQ(report.chName, expected[i].chn);
        EXPECT_EQ(report.errStatus, expected[i].errStatus);
        EXPECT_EQ(report.timeTag, expected[i].timeTag);
        EXPECT_EQ(report.svid, expected[i].svid);
        EXPECT_EQ(report.prn, 192 + expected[i].svid);
        EXPECT_EQ(report.cno, expected[i].cnoRaw / 256.0f);
        EXPECT_GE(report.cno, 30.0f);
        EXPECT_LE(report.cno, 50.0f);
        EXPECT_EQ(report.version, 1);
        EXPECT_EQ(report.vendorId, 5);
        EXPECT_EQ(report.alertFlag, 0);
        EXPECT_NEAR(report.groupDelay, 72, 1);
    }
}

TEST_P(ReceiverSimulatorTest, SubframeIndicatorEveryFifthSecond) {
    ReceiverSimulator simulator(3, messages());
    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    std::vector<std::uint64_t> secondOfReport;
    for (int i = 0; i < 40; ++i) {
        const SimulatedSecond second = simulator.nextSecond();
        monitor.scanBlock(second.bytes);
        secondOfReport.resize(outputs.shown.size(), second.index);
    }
    ASSERT_GT(outputs.shown.size(), 60u);
    for (std::size_t i = 0; i < outputs.shown.size(); ++i) {
        EXPECT_EQ(outputs.shown[i].first.subframeIndicator, secondOfReport[i] % 5 == 0 ? 1 : 0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(MadeUpAndRecordedMessages, ReceiverSimulatorTest, ::testing::Bool());

TEST(ReceiverSimulator, SameSeedSameStreamOtherSeedOtherStream) {
    ReceiverSimulator first(42, L6MessageSource(42));
    ReceiverSimulator second(42, L6MessageSource(42));
    ReceiverSimulator other(43, L6MessageSource(43));
    const SimulatedRun a = simulate(first, 200), b = simulate(second, 200), c = simulate(other, 200);
    EXPECT_EQ(a.stream, b.stream);
    EXPECT_NE(a.stream, c.stream);
}

TEST(ReceiverSimulator, VersionPollGetsTheFirmwareText) {
    ReceiverSimulator simulator(1, L6MessageSource(1));
    const Bytes reply = simulator.answer(Bytes{0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34});
    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    monitor.scanBlock(reply);
    EXPECT_EQ(monitor.firmwareText(), std::optional<std::string>("FWVER=QZS 1.01"));
    // A version reply is not itself a poll, and other frames are not answered.
    EXPECT_TRUE(simulator.answer(reply).empty());
    EXPECT_TRUE(simulator.answer(test::ubxFrame(0x06, 0x01, {0xF0, 0x00, 0x00})).empty());
}

TEST(ReceiverSimulator, ResetSilencesTheNextTwoSeconds) {
    ReceiverSimulator simulator(1, L6MessageSource(1));
    const SimulatedSecond before = simulator.nextSecond();
    EXPECT_TRUE(simulator.answer(test::ubxFrame(0x06, 0x04, {0xFF, 0xFF, 0x01, 0x00})).empty());
    EXPECT_TRUE(simulator.nextSecond().bytes.empty());
    EXPECT_TRUE(simulator.nextSecond().bytes.empty());
    const SimulatedSecond after = simulator.nextSecond();
    ASSERT_FALSE(after.bytes.empty());
    EXPECT_EQ(after.timeTag, before.timeTag + 3000);
}

TEST(ReceiverSimulator, TextLinesCarryTheNmeaChecksum) {
    EXPECT_EQ(makeNmeaLine("GNTXT,01,01,02,ANTSTATUS=OK"), "$GNTXT,01,01,02,ANTSTATUS=OK*25\r\n");
}

}  // namespace
}  // namespace tessaly
