// What the chart draws, folded per pixel column: worst status, C/N0 range, both-failed marks and
// satellite changes; and the time axis at round clock times.
#include <gtest/gtest.h>

#include "monitor/history_chart_data.h"
#include "monitor/time_ticks.h"

namespace tessaly {
namespace {

constexpr std::int64_t kT0 = 1714566000000;  // 2024/05/01 12:20:00 UTC

PairSecond at(int second, std::uint8_t errA, std::int32_t cnoA, std::uint8_t errB = 1,
              std::uint8_t svidA = 2, std::uint8_t prnA = 194) {
    PairSecond s;
    s.timeMs = kT0 + second * 1000LL;
    s.a.errStatus = errA;
    s.a.cnoMilli = cnoA;
    s.a.svid = svidA;
    s.a.prn = errA == 1 ? prnA : 0;
    s.b.errStatus = errB;
    s.b.cnoMilli = 40000;
    s.b.svid = 4;
    s.b.prn = errB == 1 ? 196 : 0;
    s.bothFailed = errA != 1 && errB != 1;
    return s;
}

TEST(ChartData, AColumnShowsTheWorstOfItsSecondsAndItsCnoRange) {
    PairHistory history;
    history.append(at(0, 1, 41000));
    history.append(at(1, 2, 36000));  // column 0: error-free and erroneous
    history.append(at(2, 1, 42000));
    history.append(at(3, 0, 0));      // column 1: error-free and missed
    history.append(at(4, 1, 43000));
    history.append(at(5, 1, 44000));  // column 2: error-free only
    const ChartData data = chartData(history, kT0, kT0 + 8000, 4);  // two seconds a column
    ASSERT_EQ(data.columns.size(), 4u);
    EXPECT_EQ(data.columns[0].a.band, BandState::Erroneous);
    EXPECT_EQ(data.columns[0].a.minCnoMilli, 36000);
    EXPECT_EQ(data.columns[0].a.maxCnoMilli, 41000);
    EXPECT_EQ(data.columns[1].a.band, BandState::NoReport);
    EXPECT_EQ(data.columns[1].a.errorFree, 1u);
    EXPECT_EQ(data.columns[1].a.noReport, 1u);
    EXPECT_EQ(data.columns[1].a.erroneous, 0u);
    EXPECT_EQ(data.columns[1].a.minCnoMilli, 42000);  // the missed second has no C/N0
    EXPECT_EQ(data.columns[1].a.maxCnoMilli, 42000);
    EXPECT_EQ(data.columns[2].a.band, BandState::ErrorFree);
    EXPECT_EQ(data.columns[3].a.band, BandState::NoData);
    EXPECT_FALSE(data.columns[3].a.hasCno);
    EXPECT_EQ(data.seconds, 6u);
}

TEST(ChartData, BothFailedMarksTheirColumnsOnly) {
    PairHistory history;
    for (int s = 0; s < 10; ++s) history.append(at(s, s == 7 ? 2 : 1, 40000, s == 7 ? 0 : 1));
    const ChartData data = chartData(history, kT0, kT0 + 10000, 5);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(data.columns[c].bothFailed, c == 3) << c;
    EXPECT_EQ(data.bothFailedSeconds, 1u);
}

TEST(ChartData, ADayFoldsIntoTheColumnsWithEverySecondCounted) {
    PairHistory history;
    for (int s = 0; s < 86400; ++s) history.append(at(s, s % 100 == 0 ? 2 : 1, 30000 + s % 20000));
    const ChartData data = chartData(history, kT0, kT0 + 86400000, 1200);
    EXPECT_EQ(data.seconds, 86400u);
    for (const ChartColumn& column : data.columns) {
        ASSERT_TRUE(column.a.hasCno);
        EXPECT_NE(column.a.band, BandState::NoData);
    }
    EXPECT_EQ(data.cnoLow, 25);
    EXPECT_EQ(data.cnoHigh, 55);
}

TEST(ChartData, ASecondFillsEveryColumnItSpansWhenZoomedIn) {
    PairHistory history;
    history.append(at(0, 1, 40000));
    history.append(at(1, 2, 41000));
    const ChartData data = chartData(history, kT0, kT0 + 4000, 10);  // 2.5 columns a second
    const BandState expected[] = {BandState::ErrorFree, BandState::ErrorFree, BandState::Erroneous,
                                  BandState::Erroneous, BandState::Erroneous, BandState::NoData};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(data.columns[c].a.band, expected[c]) << c;
    EXPECT_EQ(data.seconds, 2u);
}

TEST(ChartData, OnlyThePeriodIsFolded) {
    PairHistory history;
    for (int s = 0; s < 20; ++s) history.append(at(s, 1, 40000));
    const ChartData data = chartData(history, kT0 + 5000, kT0 + 10000, 5);
    EXPECT_EQ(data.seconds, 5u);
    EXPECT_EQ(columnOf(data, kT0 + 4999), -1);
    EXPECT_EQ(columnOf(data, kT0 + 10000), 5);
}

TEST(ChartData, MarksTheStartingSatelliteAndEachChangeWithItsPrn) {
    PairHistory history;
    history.append(at(0, 1, 40000, 1, 2, 194));
    history.append(at(1, 1, 40000, 1, 2, 194));
    history.append(at(2, 2, 40000, 1, 7, 0));    // a new satellite, erroneous: PRN not yet known
    history.append(at(3, 1, 40000, 1, 7, 199));  // its PRN comes with the first error-free report
    history.append(at(4, 1, 40000, 1, 7, 200));  // the PRN changes on the same satellite
    const ChartData data = chartData(history, kT0, kT0 + 10000, 100);
    std::vector<std::string> labelsA;
    for (const SatelliteMark& mark : data.marks) {
        if (mark.channel == Channel::A) labelsA.push_back(mark.label);
    }
    EXPECT_EQ(labelsA, (std::vector<std::string>{"PRN 194 / SV 2", "PRN 199 / SV 7", "PRN 200 / SV 7"}));
    ASSERT_GE(data.marks.size(), 2u);
    EXPECT_TRUE(data.marks[0].atStart);
    EXPECT_EQ(data.marks[2].timeMs, kT0 + 2000);  // channel A's change, after B's start mark
    EXPECT_FALSE(data.marks[2].atStart);
}

TEST(ChartData, CnoAxisInStepsOfFiveAroundTheValues) {
    PairHistory history;
    history.append(at(0, 1, 38133));
    history.append(at(1, 1, 41488));
    const ChartData data = chartData(history, kT0, kT0 + 2000, 2);
    EXPECT_EQ(data.cnoLow, 35);
    EXPECT_EQ(data.cnoHigh, 50);  // at least 15 dBHz high; B holds 40 dBHz
}

TEST(TimeTicks, TenMinutesGetWholeMinutes) {
    const auto ticks = timeTicks(kT0 + 30000, kT0 + 630000, 900, 90, true);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().timeMs, kT0 + 60000);
    EXPECT_EQ(ticks.front().label, "12:21");
    EXPECT_EQ(ticks.front().date, "2024/05/01");
    EXPECT_EQ(ticks[1].timeMs - ticks[0].timeMs, 60000);
    EXPECT_EQ(ticks[1].date, "");
}

TEST(TimeTicks, ADayGetsHoursAndTheDateWhereTheDayChanges) {
    const auto ticks = timeTicks(kT0, kT0 + 86400000, 1300, 90, true);
    ASSERT_GE(ticks.size(), 2u);
    const std::int64_t step = ticks[1].timeMs - ticks[0].timeMs;
    EXPECT_EQ(step % 3600000, 0);
    EXPECT_LE(step, 3 * 3600000);
    EXPECT_EQ(ticks.front().label, "14:00");
    int dates = 0;
    for (const TimeTick& tick : ticks) {
        if (tick.date.empty()) continue;
        ++dates;
        if (dates == 2) {
            EXPECT_EQ(tick.label, "00:00");
            EXPECT_EQ(tick.date, "2024/05/02");
        }
    }
    EXPECT_EQ(dates, 2);
}

TEST(TimeTicks, SecondsWhenAMinuteIsWide) {
    const auto ticks = timeTicks(kT0, kT0 + 60000, 900, 90, true);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[1].timeMs - ticks[0].timeMs, 10000);
    EXPECT_EQ(ticks[1].label, "12:20:10");
}

TEST(TimeTicks, LogsMonthsApartGetFewTicks) {
    const auto ticks = timeTicks(kT0, kT0 + 400LL * 86400000, 1300, 90, true);
    EXPECT_GE(ticks.size(), 5u);
    EXPECT_LE(ticks.size(), 14u);
}

TEST(TimeTicks, ZoneText) {
    EXPECT_EQ(zoneText(kT0, true), "UTC");
    EXPECT_EQ(dateTimeText(kT0, true), "2024/05/01 12:20:00");
}

}  // namespace
}  // namespace tessaly
