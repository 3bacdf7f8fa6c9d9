#include "station/command_sequence.h"

#include <utility>

namespace tessaly {

void CommandSequencer::start(std::vector<TimedStep> steps) {
    auto run = std::make_shared<Run>();
    run->steps = std::move(steps);
    goOn(run);
}

void CommandSequencer::cancelAll() { self_ = std::make_shared<CommandSequencer*>(this); }

void CommandSequencer::goOn(std::shared_ptr<Run> run) {
    // A step may cancel (the window closes from a message box it shows): then nothing after it.
    const std::weak_ptr<CommandSequencer*> self = self_;
    while (run->next < run->steps.size()) {
        TimedStep& step = run->steps[run->next];
        if (step.waitBeforeMs > 0) {
            const std::int32_t wait = std::exchange(step.waitBeforeMs, 0);
            timer_.runAfter(wait, [self, run] {
                if (const auto sequencer = self.lock()) (*sequencer)->goOn(run);
            });
            return;
        }
        ++run->next;
        if (step.action) step.action();
        if (self.expired()) return;
    }
}

}  // namespace tessaly
