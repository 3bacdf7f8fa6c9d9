#include "monitor/pair_history.h"

#include <algorithm>

#include "monitor/csv_row.h"
#include "monitor/csv_row_reader.h"

namespace tessaly {
namespace {

constexpr std::int64_t kSecondMs = 1000;

ChannelSecond channelSecond(const L6ChannelReport& report) {
    ChannelSecond second;
    // Through the log's own text of it, so that a report and its logged row agree to the digit.
    second.cnoMilli = cnoMilliOf(csvCnoText(report.cno)).value_or(0);
    second.errStatus = report.errStatus;
    second.svid = report.svid;
    if (report.errStatus == kErrStatusErrorFree) second.prn = report.prn;
    return second;
}

}  // namespace

std::optional<PairSecond> pairSecond(const L6ChannelReport& previous,
                                     const L6ChannelReport& current, std::int64_t timeMs) {
    if (previous.errStatus == kErrStatusUnknown && current.errStatus == kErrStatusUnknown) {
        return std::nullopt;
    }
    PairSecond second;
    second.timeMs = timeMs;
    if (previous.chn == 0 && previous.errStatus != kErrStatusUnknown) {
        second.a = channelSecond(previous);
    }
    if (current.chn == 1 && current.errStatus != kErrStatusUnknown) {
        second.b = channelSecond(current);
    }
    second.bothFailed = previous.errStatus != kErrStatusErrorFree &&
                        current.errStatus != kErrStatusErrorFree;
    return second;
}

PairHistory::PairHistory(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void PairHistory::append(PairSecond second) {
    if (!empty() && second.timeMs <= back().timeMs) second.timeMs = back().timeMs + kSecondMs;
    ++revision_;
    if (seconds_.size() < capacity_) {
        // The whole bound at once: a day is a few megabytes, and growing by doubling would hold
        // the old and the new copy for a moment.
        if (seconds_.empty()) seconds_.reserve(capacity_);
        seconds_.push_back(second);
        return;
    }
    seconds_[oldest_] = second;
    oldest_ = (oldest_ + 1) % capacity_;
    ++dropped_;
}

void PairHistory::clear() {
    seconds_.clear();
    oldest_ = 0;
    dropped_ = 0;
    ++revision_;
}

std::size_t PairHistory::firstAtOrAfter(std::int64_t timeMs) const {
    std::size_t low = 0;
    std::size_t high = size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if ((*this)[mid].timeMs < timeMs) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

void PairHistory::shiftTimes(std::int64_t deltaMs) {
    for (PairSecond& second : seconds_) second.timeMs += deltaMs;
    ++revision_;
}

}  // namespace tessaly
