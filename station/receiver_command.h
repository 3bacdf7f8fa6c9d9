// What a command button does to the L6 receiver, as a timed run: its command text, a second for
// the receiver to restart, then the monitor reset and the firmware-version poll, whose reply puts
// the firmware text back in the status line.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "station/command_sequence.h"
#include "station/command_text.h"

namespace tessaly {

inline constexpr std::int32_t kReceiverRestartMs = 1000;

// `finished` comes right after the poll: the run's button may be clicked again.
std::vector<TimedStep> receiverCommandSteps(std::string_view text, const CommandTextOutputs& outputs,
                                            std::function<void()> resetMonitor, std::function<void()> finished);

}  // namespace tessaly
