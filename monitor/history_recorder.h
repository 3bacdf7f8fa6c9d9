// Where the evaluated pairs of a running monitor go besides the CSV log: the session's history,
// each second stamped by the wall clock as the log stamps its rows. The decoder has one pair log;
// PairLogTee hands each pair to both. On the thread that decodes; the clock, the history and the
// logs must outlive them.
#pragma once

#include "monitor/monitor_outputs.h"
#include "monitor/pair_history.h"

namespace tessaly {

class HistoryRecorder final : public PairLog {
public:
    HistoryRecorder(const WallClock& clock, PairHistory& history)
        : clock_(clock), history_(history) {}

    // The history is kept whether or not a file is being written.
    bool loggingOn() const override { return true; }
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override;

private:
    const WallClock& clock_;
    PairHistory& history_;
};

class PairLogTee final : public PairLog {
public:
    PairLogTee(PairLog& first, PairLog& second) : first_(first), second_(second) {}

    bool loggingOn() const override { return first_.loggingOn() || second_.loggingOn(); }
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override {
        if (first_.loggingOn()) first_.writePair(previous, current);
        if (second_.loggingOn()) second_.writePair(previous, current);
    }

private:
    PairLog& first_;
    PairLog& second_;
};

}  // namespace tessaly
