// The summary of a logged period: counts, runs, C/N0 figures and PRNs, on hand-built seconds and
// on the recorded one-hour stream, and its JSON as scripts read it.
#include <gtest/gtest.h>

#include "monitor/history_recorder.h"
#include "monitor/history_summary.h"
#include "monitor/receiver_monitor.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

ChannelSecond channel(std::uint8_t errStatus, std::int32_t cnoMilli, std::uint8_t prn = 0) {
    ChannelSecond c;
    c.errStatus = errStatus;
    c.cnoMilli = cnoMilli;
    c.svid = 2;
    c.prn = errStatus == kErrStatusErrorFree ? prn : 0;
    return c;
}

PairSecond second(ChannelSecond a, ChannelSecond b) {
    PairSecond s;
    s.a = a;
    s.b = b;
    s.bothFailed = !a.errorFree() && !b.errorFree();
    return s;
}

const ChannelSecond kMissed{};

TEST(HistorySummary, CountsReportsStatusesAndTheLongestBothFailedRun) {
    SummaryCounter counter;
    counter.add(second(channel(1, 40000, 194), channel(1, 30000, 196)));
    counter.add(second(channel(2, 35500), channel(2, 29000)));    // both failed, run 1
    counter.add(second(channel(1, 41000, 199), kMissed));         // run ends
    counter.add(second(kMissed, channel(2, 31000)));               // both failed ...
    counter.add(second(channel(2, 30000), kMissed));               // ...
    counter.add(second(channel(2, 33000), channel(2, 32000)));     // ... run 3
    counter.add(second(channel(1, 42000, 194), channel(1, 33000, 196)));
    const HistorySummary& s = counter.summary();
    EXPECT_EQ(s.seconds, 7u);
    EXPECT_EQ(s.bothFailed, 4u);
    EXPECT_EQ(s.longestBothFailedRun, 3u);
    EXPECT_EQ(s.a.reports, 6u);
    EXPECT_EQ(s.a.errorFree, 3u);
    EXPECT_EQ(s.a.erroneous, 3u);
    EXPECT_EQ(s.a.minCnoMilli, 30000);
    EXPECT_DOUBLE_EQ(s.a.meanCno(), (40 + 35.5 + 41 + 30 + 33 + 42) / 6.0);
    EXPECT_EQ(s.a.prns, (std::vector<int>{194, 199}));
    EXPECT_EQ(s.b.reports, 5u);
    EXPECT_EQ(s.b.minCnoMilli, 29000);
    EXPECT_EQ(s.b.prns, (std::vector<int>{196}));  // an erroneous report names no PRN
}

TEST(HistorySummary, JsonAsOneObjectWithNullForASilentChannel) {
    SummaryCounter counter;
    counter.add(second(channel(1, 41488, 194), kMissed));
    counter.add(second(channel(2, 30001), kMissed));
    EXPECT_EQ(summaryJson(counter.summary()),
              "{\"seconds\": 2, \"bothFailed\": 1, \"longestBothFailedRun_s\": 1, \"channels\": "
              "{\"A\": {\"reports\": 2, \"errorFree\": 1, \"erroneous\": 1, \"meanCno\": 35.745, "
              "\"minCno\": 30.001, \"prns\": [194]}, \"B\": {\"reports\": 0, \"errorFree\": 0, "
              "\"erroneous\": 0, \"meanCno\": null, \"minCno\": null, \"prns\": []}}}");
}

TEST(HistorySummary, TableHasAColumnPerChannel) {
    SummaryCounter counter;
    counter.add(second(channel(1, 41488, 194), channel(1, 38133, 196)));
    const std::string table = summaryTable(counter.summary());
    EXPECT_NE(table.find("Seconds evaluated        1\n"), std::string::npos) << table;
    EXPECT_NE(table.find("Mean C/N0                41.488 dBHz  38.133 dBHz\n"), std::string::npos)
        << table;
    EXPECT_NE(table.find("PRNs                     194          196\n"), std::string::npos) << table;
}

TEST(HistorySummary, RecordedHourAsTheDecoderCountsIt) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    test::RecordingOutputs clock;
    PairHistory history;
    HistoryRecorder recorder(clock, history);
    MonitorOutputs outputs;
    outputs.log = &recorder;
    ReceiverMonitor monitor(outputs);
    for (std::size_t at = 0; at < stream.size(); at += 1024) {
        monitor.scanBlock(ByteView(stream).subspan(at, std::min<std::size_t>(1024, stream.size() - at)));
    }
    SummaryCounter counter;
    for (std::size_t i = 0; i < history.size(); ++i) counter.add(history[i]);
    const HistorySummary& s = counter.summary();
    EXPECT_EQ(s.seconds, 3601u);
    EXPECT_EQ(s.seconds, monitor.decoder().pairEvaluations());
    EXPECT_EQ(s.bothFailed, 117u);
    EXPECT_EQ(static_cast<std::int64_t>(s.bothFailed), monitor.decoder().bothFailedCount());
    EXPECT_EQ(s.a.prns, (std::vector<int>{194}));
    EXPECT_EQ(s.b.prns, (std::vector<int>{196}));
    // Every report but the lone ones of a channel whose partner was missed lands in a row.
    EXPECT_LE(s.a.reports, monitor.counters().l6Reports[0]);
    EXPECT_LE(s.b.reports, monitor.counters().l6Reports[1]);
    EXPECT_GT(s.a.minCnoMilli, 29999);
    EXPECT_LT(s.a.meanCno(), 50.0);
}

}  // namespace
}  // namespace tessaly
