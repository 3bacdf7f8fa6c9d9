#include "station/receiver_command.h"

namespace tessaly {

std::vector<TimedStep> receiverCommandSteps(std::string_view text, const CommandTextOutputs& outputs,
                                            std::function<void()> resetMonitor, std::function<void()> finished) {
    std::vector<TimedStep> steps = commandTextSteps(text, outputs);
    // What the receiver says while it restarts belongs to no state worth keeping.
    steps.push_back({kReceiverRestartMs, std::move(resetMonitor)});
    for (TimedStep& poll : commandTextSteps(kFirmwareVersionPoll, outputs)) steps.push_back(std::move(poll));
    steps.push_back({0, std::move(finished)});
    return steps;
}

}  // namespace tessaly
