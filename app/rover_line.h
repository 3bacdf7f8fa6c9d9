// The rover line under the grids: what the high-precision receiver says about its solution and
// about the L6 corrections it was given, in the user's language, with the colour that says
// whether it is good. The window asks for the line once a timer tick and only paints it.
//
// Window's thread only. The rover monitor is the window's; the line only reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/ui_texts.h"
#include "monitor/rover_monitor.h"

namespace tessaly {

// Normal: RTK fixed. Yellow and Red: the background, as in the grids' cells, for float and for
// anything less. Grey: the text of the hint shown while the rover is silent.
enum class RoverLineColour { Normal, Yellow, Red, Grey };

struct RoverLine {
    std::string text;  // UTF-8; empty while there is nothing to say
    RoverLineColour colour = RoverLineColour::Normal;
    bool operator==(const RoverLine&) const = default;
};

// Silence longer than this turns the line into the hint on switching the rover's output on; a
// position message older than this no longer stands for the rover's solution.
inline constexpr std::uint32_t kRoverSilenceMs = 5000;

// The line at `nowMs` for an output link on which the monitor has been listening since
// `listeningSinceMs`: since the link was opened or the monitor last reset, whichever is later.
RoverLine roverLine(const RoverMonitor& rover, std::uint32_t nowMs, std::uint32_t listeningSinceMs,
                    UiLanguage language);

// Keeps what the window would otherwise have to track for the line: since when the output link
// is open, and when the monitor was last reset.
class RoverLineTicker {
public:
    // One call a timer tick. Empty while no output link is open.
    RoverLine tick(const RoverMonitor& rover, std::uint32_t nowMs, bool outputLinkOpen, UiLanguage language);

private:
    std::optional<std::uint32_t> listeningSinceMs_;  // absent while the output link is closed
    bool heardBefore_ = false;  // at the last tick the monitor had heard the rover
};

}  // namespace tessaly
