#include "cli/rover_status.h"

namespace tessaly {
namespace {

template <typename Value, typename Format>
std::string jsonOrNull(const std::optional<Value>& value, Format format) {
    return value ? format(*value) : "null";
}

std::string countsJson(const CorrectionCounts& counts) {
    return "{\"received\":" + std::to_string(counts.received) + ",\"used\":" + std::to_string(counts.used) +
           ",\"notUsed\":" + std::to_string(counts.notUsed) + ",\"unknown\":" + std::to_string(counts.unknown) + "}";
}

}  // namespace

std::string roverStatusJson(const RoverStatus& status) {
    if (!status.solution) return "null";
    const RoverSolution& s = *status.solution;
    const std::string fix = s.fix == RoverFix::Unknown ? "null" : std::string("\"") + roverFixName(s.fix) + "\"";
    return "{\"fix\":" + fix + ",\"numSV\":" + jsonOrNull(s.numSv, [](unsigned n) { return std::to_string(n); }) +
           ",\"hAcc_m\":" + jsonOrNull(s.hAccM, roverMetresText) +
           ",\"correctionAge_s\":" + jsonOrNull(s.correctionAgeS, roverSecondsText) +
           ",\"cor\":" + countsJson(status.l6) + "}";
}

std::string roverStatusText(const RoverStatus& status) {
    if (!status.solution) return "rover -";
    const RoverSolution& s = *status.solution;
    std::string text = std::string("rover ") + roverFixName(s.fix);
    if (s.numSv) text += " " + std::to_string(*s.numSv) + " SV";
    if (s.hAccM) text += " " + roverMetresText(*s.hAccM) + " m";
    if (s.correctionAgeS) text += " age " + roverSecondsText(*s.correctionAgeS) + " s";
    return text + " L6 used " + std::to_string(status.l6.used) + "/" + std::to_string(status.l6.received);
}

}  // namespace tessaly
