// What the history chart draws, worked out without a toolkit: the seconds of a period folded into
// one entry per pixel column, so that a day draws as fast as ten minutes, and the changes of
// satellite or PRN with their labels. The chart painter turns it into lines and bands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/pair_history.h"

namespace tessaly {

// Ordered from good to bad: a column shows the worst of its seconds.
enum class BandState : std::uint8_t {
    NoData,     // no evaluated pair fell into the column (the monitor was not receiving)
    ErrorFree,
    NoReport,   // a pair was evaluated, but this channel's report was missed
    Erroneous,
};

struct ChannelColumn {
    BandState band = BandState::NoData;  // the worst
    // How many of the column's seconds had each state: on a day's chart a column is a minute,
    // and the share tells a single bad second from a bad minute.
    std::uint32_t errorFree = 0;
    std::uint32_t erroneous = 0;
    std::uint32_t noReport = 0;
    bool hasCno = false;
    std::int32_t minCnoMilli = 0;
    std::int32_t maxCnoMilli = 0;
};

struct ChartColumn {
    ChannelColumn a;
    ChannelColumn b;
    bool bothFailed = false;

    const ChannelColumn& channel(Channel c) const { return c == Channel::A ? a : b; }
};

// A channel's satellite or PRN changed, or the satellite it had when the period began.
struct SatelliteMark {
    std::int64_t timeMs = 0;
    Channel channel = Channel::A;
    std::string label;  // "PRN 194 / SV 2", or "SV 2" until an error-free report names the PRN
    bool atStart = false;
};

struct ChartData {
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
    std::vector<ChartColumn> columns;
    std::vector<SatelliteMark> marks;
    std::uint64_t seconds = 0;  // evaluated pairs in the period
    std::uint64_t bothFailedSeconds = 0;
    // The C/N0 axis: whole multiples of 5 dBHz around what the period holds.
    int cnoLow = 20;
    int cnoHigh = 55;
};

// The seconds of `history` from `fromMs` (included) to `toMs` (excluded) in `columnCount` columns
// of equal duration.
ChartData chartData(const PairHistory& history, std::int64_t fromMs, std::int64_t toMs,
                    int columnCount);

// The column a moment falls into, which may lie outside 0 .. columnCount - 1.
int columnOf(const ChartData& data, std::int64_t timeMs);

}  // namespace tessaly
