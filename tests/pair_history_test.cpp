// The session's history: a second per evaluated pair, as the CSV log records it, kept in time
// order within a bound that drops the oldest.
#include <gtest/gtest.h>

#include "monitor/csv_row.h"
#include "monitor/csv_row_reader.h"
#include "monitor/history_recorder.h"
#include "monitor/pair_history.h"
#include "monitor/receiver_monitor.h"
#include "tests/fake_outputs.h"

namespace tessaly {
namespace {

L6ChannelReport report(std::uint8_t chn, std::uint8_t errStatus, float cno = 41.48828125f) {
    L6ChannelReport r;
    r.version = 1;
    r.svid = chn == 0 ? 2 : 4;
    r.cno = cno;
    r.timeTag = 397304000;
    r.groupDelay = 72;
    r.chn = chn;
    r.errStatus = errStatus;
    r.prn = chn == 0 ? 194 : 196;
    r.vendorId = 5;
    return r;
}

PairSecond secondAt(std::int64_t timeMs, std::uint8_t errA = 1, std::uint8_t errB = 1) {
    PairSecond s;
    s.timeMs = timeMs;
    s.a.errStatus = errA;
    s.b.errStatus = errB;
    s.bothFailed = errA != 1 && errB != 1;
    return s;
}

struct PairCase {
    const char* what;
    L6ChannelReport previous;
    L6ChannelReport current;
};

TEST(PairSecond, IsWhatTheLoggedRowReadsBack) {
    const PairCase cases[] = {
        {"both error-free", report(0, 1), report(1, 1)},
        {"A erroneous", report(0, 2), report(1, 1)},
        {"both erroneous", report(0, 2), report(1, 2)},
        {"B missed: A after A", report(0, 1), report(0, 2)},
        {"A missed: B after B", report(1, 2), report(1, 2)},
        {"A of unknown status", report(0, 0), report(1, 2)},
        {"the stream's first report, A's", report(0, 0), report(0, 1)},
        {"C/N0 on a tie of the third decimal", report(0, 1, 0.0625f), report(1, 1, 255.99609375f)},
    };
    const std::int64_t timeMs = 1714566896700;  // 2024/05/01 12:34:56.7 UTC
    for (const PairCase& c : cases) {
        const auto row = csvRow(c.previous, c.current, "2024/05/01 12:34:56.7");
        ASSERT_TRUE(row) << c.what;
        const auto read = parseCsvRow(row->substr(0, row->size() - 2), true);
        ASSERT_TRUE(read) << c.what << ": " << *row;
        const auto second = pairSecond(c.previous, c.current, timeMs);
        ASSERT_TRUE(second) << c.what;
        EXPECT_EQ(*second, *read) << c.what << ": " << *row;
    }
}

TEST(PairSecond, KeepsThreeDecimalsOfCnoAndThePrnOfErrorFreeReportsOnly) {
    const auto second = pairSecond(report(0, 1), report(1, 2), 0);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->a.cnoMilli, 41488);
    EXPECT_EQ(second->a.prn, 194);
    EXPECT_EQ(second->b.prn, 0);
    EXPECT_EQ(second->b.svid, 4);
    EXPECT_FALSE(second->bothFailed);
}

TEST(PairSecond, NoneWhenNeitherReportHasAnErrorStatus) {
    EXPECT_FALSE(pairSecond(report(0, 0), report(1, 0), 0));
}

TEST(PairHistory, KeepsTheNewestSecondsWithinItsBound) {
    PairHistory history(5);
    for (int i = 0; i < 12; ++i) history.append(secondAt(i * 1000));
    ASSERT_EQ(history.size(), 5u);
    EXPECT_EQ(history.dropped(), 7u);
    for (std::size_t i = 0; i < history.size(); ++i) {
        EXPECT_EQ(history[i].timeMs, static_cast<std::int64_t>(7 + i) * 1000) << i;
    }
    EXPECT_EQ(history.back().timeMs, 11000);
}

TEST(PairHistory, FindsTimesAcrossTheWrapOfItsRing) {
    PairHistory history(4);
    for (int i = 0; i < 6; ++i) history.append(secondAt(i * 1000));  // holds 2, 3, 4, 5 s
    EXPECT_EQ(history.firstAtOrAfter(0), 0u);
    EXPECT_EQ(history.firstAtOrAfter(2500), 1u);
    EXPECT_EQ(history.firstAtOrAfter(4000), 2u);
    EXPECT_EQ(history.firstAtOrAfter(5000), 3u);
    EXPECT_EQ(history.firstAtOrAfter(5001), 4u);
}

TEST(PairHistory, RowsOfOneTimeStampFollowOneSecondApart) {
    PairHistory history;
    history.append(secondAt(5000));
    history.append(secondAt(5000));
    history.append(secondAt(4000));  // the clock was set back
    history.append(secondAt(9000));
    EXPECT_EQ(history[1].timeMs, 6000);
    EXPECT_EQ(history[2].timeMs, 7000);
    EXPECT_EQ(history[3].timeMs, 9000);
}

TEST(PairHistory, ClearEmptiesAndTellsViewers) {
    PairHistory history(3);
    for (int i = 0; i < 5; ++i) history.append(secondAt(i * 1000));
    const auto revision = history.revision();
    history.clear();
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(history.dropped(), 0u);
    EXPECT_NE(history.revision(), revision);
    history.append(secondAt(100));
    EXPECT_EQ(history[0].timeMs, 100);  // no order kept across a clear
}

TEST(PairHistory, ShiftMovesEverySecond) {
    PairHistory history(3);
    for (int i = 0; i < 4; ++i) history.append(secondAt(i * 1000));
    history.shiftTimes(-500);
    EXPECT_EQ(history[0].timeMs, 500);
    EXPECT_EQ(history.back().timeMs, 2500);
}

TEST(HistoryRecorder, StampsEachPairByTheWallClockBesideTheLog) {
    test::RecordingOutputs log;
    log.clockTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1714566896700));
    PairHistory history;
    HistoryRecorder recorder(log, history);
    PairLogTee both(log, recorder);
    log.logging = false;
    EXPECT_TRUE(both.loggingOn());  // the history is kept with the CSV log off
    both.writePair(report(0, 2), report(1, 2));
    EXPECT_TRUE(log.pairs.empty());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].timeMs, 1714566896700);
    EXPECT_TRUE(history[0].bothFailed);
    log.logging = true;
    both.writePair(report(0, 1), report(1, 1));
    EXPECT_EQ(log.pairs.size(), 1u);
    EXPECT_EQ(history.size(), 2u);
}

}  // namespace
}  // namespace tessaly
