// Timed runs of steps on the owner's thread: what the receiver commands do over a few seconds
// (frames, a second's pause after each "|", the monitor reset, the poll) without a handler ever
// waiting inside another. Between two steps control goes back to the event loop, so received
// data is decoded and forwarded and the user can click meanwhile.
//
// Several runs may be under way at once (two command buttons); each keeps its own times and
// their steps interleave by time. Cancelling, or the sequencer going away, drops every step not
// yet run: a task the timer still holds finds nothing to do.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "station/delay_timer.h"

namespace tessaly {

struct TimedStep {
    std::int32_t waitBeforeMs = 0;  // after the step before it, or after the start
    std::function<void()> action;   // may be empty: only a pause
};

class CommandSequencer {
public:
    explicit CommandSequencer(DelayTimer& timer) : timer_(timer) {}
    CommandSequencer(const CommandSequencer&) = delete;
    CommandSequencer& operator=(const CommandSequencer&) = delete;

    // Runs the leading steps that wait for nothing here and now, the rest as their times come.
    void start(std::vector<TimedStep> steps);
    // Drops the steps not yet run of every run under way; a step running now finishes.
    void cancelAll();

private:
    struct Run {
        std::vector<TimedStep> steps;
        std::size_t next = 0;
    };
    // Runs the due steps of `run` from its next one on, then hands the rest to the timer.
    void goOn(std::shared_ptr<Run> run);

    DelayTimer& timer_;
    // What the timer's tasks hold weakly: replaced on a cancel, gone with the sequencer.
    std::shared_ptr<CommandSequencer*> self_ = std::make_shared<CommandSequencer*>(this);
};

}  // namespace tessaly
