// Turns each L6 message frame into an L6 channel report, keeps a running C/N0 average per
// channel, pairs the reports of the two channels and counts the seconds in which neither channel
// received an error-free message (the both-failed count). Drives the grids, the status line and
// the CSV log through MonitorOutputs.
//
// Called by the frame dispatch on the window's thread. The outputs must outlive the decoder.
#pragma once

#include <array>
#include <cstdint>

#include "monitor/l6_report.h"
#include "monitor/monitor_outputs.h"

namespace tessaly {

class L6Decoder {
public:
    explicit L6Decoder(MonitorOutputs outputs) : outputs_(outputs) {}

    // One validated frame of class 0x02, ID 0x73. Returns false, changing nothing, when its
    // payload is too short to hold the fields.
    bool decodeFrame(ByteView frame);
    // Part of the monitor reset. The averages and last svids stay, but with the counts at zero
    // each channel's next report restarts its average.
    void clear();
    // No input link is open: no pair counts as received.
    void clearReceptionStatus() { receptionGood_ = false; }

    const L6ChannelReport& current() const { return current_; }
    const L6ChannelReport& previous() const { return previous_; }
    float cnoAverage(Channel channel) const { return average(channel).value; }
    std::int64_t bothFailedCount() const { return bothFailedCount_; }
    // True when the last evaluated pair held an error-free report; false before any pair.
    bool receptionGood() const { return receptionGood_; }
    std::uint64_t pairEvaluations() const { return pairEvaluations_; }

private:
    struct CnoAverage {
        float value = 0;
        std::int64_t count = 0;  // not capped: from the 30th sample on the weight stays 1/30
        std::uint8_t lastSvid = 0;
    };

    CnoAverage& average(Channel channel) { return averages_[channel == Channel::A ? 0 : 1]; }
    const CnoAverage& average(Channel channel) const {
        return averages_[channel == Channel::A ? 0 : 1];
    }
    void updateAverage(const L6ChannelReport& report);
    void evaluatePair();

    MonitorOutputs outputs_;
    // The current report is decoded into in place: when a message has no L6 header, its PRN,
    // vendor, facility and subframe stay those of the last report that had one.
    L6ChannelReport current_;
    L6ChannelReport previous_;  // the report before the current one, of either channel
    std::array<CnoAverage, 2> averages_{};
    std::int64_t bothFailedCount_ = 0;
    bool receptionGood_ = false;
    std::uint64_t pairEvaluations_ = 0;
};

}  // namespace tessaly
