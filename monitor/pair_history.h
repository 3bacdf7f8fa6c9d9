// The evaluated pairs of a session, second by second: what each channel's report said (error
// status, C/N0, satellite, PRN) or that it was missed, and whether both channels failed. The live
// chart draws it while the monitor runs; the report draws it from a CSV log or a raw capture.
//
// Bounded: a day of seconds at most; the oldest go first. One thread only (the window's, or the
// report's): it is filled and read there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "monitor/l6_report.h"

namespace tessaly {

// One channel's part of a second, as its block of the CSV row holds it.
struct ChannelSecond {
    // Thousandths of a dBHz, the three decimals the log writes: a report and its logged row give
    // the same sums and the same minimum.
    std::int32_t cnoMilli = 0;
    std::uint8_t errStatus = kErrStatusUnknown;  // unknown: the channel had no report that second
    std::uint8_t svid = 0;
    std::uint8_t prn = 0;  // only an error-free report carries it; 0 otherwise

    bool present() const { return errStatus != kErrStatusUnknown; }
    bool errorFree() const { return errStatus == kErrStatusErrorFree; }
    double cno() const { return cnoMilli / 1000.0; }
    bool operator==(const ChannelSecond&) const = default;
};

struct PairSecond {
    std::int64_t timeMs = 0;  // milliseconds since 1970-01-01 UTC
    ChannelSecond a;
    ChannelSecond b;
    bool bothFailed = false;

    const ChannelSecond& channel(Channel c) const { return c == Channel::A ? a : b; }
    bool operator==(const PairSecond&) const = default;
};

// The second an evaluated pair makes, exactly as its CSV row records it: block A from the previous
// report when that one is channel A's, block B from the current one when that is channel B's.
// Nothing when neither report has an error status, as the log then writes no row.
std::optional<PairSecond> pairSecond(const L6ChannelReport& previous,
                                     const L6ChannelReport& current, std::int64_t timeMs);

inline constexpr std::size_t kDaySeconds = 86400;

class PairHistory {
public:
    explicit PairHistory(std::size_t capacity = kDaySeconds);

    // Keeps the seconds in time order, which the chart's look-ups rely on: a second stamped no
    // later than the one before it (the rows of a replayed log share one time stamp, or the
    // clock was set back) is placed one second after it.
    void append(PairSecond second);
    void clear();

    std::size_t size() const { return seconds_.size(); }
    bool empty() const { return seconds_.empty(); }
    std::size_t capacity() const { return capacity_; }
    // Oldest first.
    const PairSecond& operator[](std::size_t i) const {
        return seconds_[(oldest_ + i) % seconds_.size()];
    }
    const PairSecond& back() const { return (*this)[size() - 1]; }
    // Seconds pushed out by the bound since the last clear.
    std::uint64_t dropped() const { return dropped_; }
    // Changes with every append and clear: a viewer repaints when it moved.
    std::uint64_t revision() const { return revision_; }

    // The index of the first second at or after `timeMs`; size() when there is none.
    std::size_t firstAtOrAfter(std::int64_t timeMs) const;
    // Moves every second by `deltaMs` (a raw capture is placed on the clock once it is read).
    void shiftTimes(std::int64_t deltaMs);

private:
    std::size_t capacity_;
    std::vector<PairSecond> seconds_;  // a ring once full; oldest_ is its first second
    std::size_t oldest_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t revision_ = 0;
};

}  // namespace tessaly
