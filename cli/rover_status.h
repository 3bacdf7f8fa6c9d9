// The rover in the bridge's status line: its solution and the count of QZSS L6 corrections it
// reported using, as a JSON value and as a short text. Pure functions of the monitor's status.
#pragma once

#include <string>

#include "monitor/rover_monitor.h"

namespace tessaly {

// The value of "rover": null until the first position message, then
// {"fix":F,"numSV":N,"hAcc_m":X,"correctionAge_s":X,"cor":{"received":N,"used":N,"notUsed":N,"unknown":N}}
// with null for what the rover did not report.
std::string roverStatusJson(const RoverStatus& status);
// "rover -", or for example "rover fixed 12 SV 0.014 m age 1 s L6 used 58/60".
std::string roverStatusText(const RoverStatus& status);

}  // namespace tessaly
