#include "app/rover_line.h"

#include <string_view>

namespace tessaly {
namespace {

// At or after `sinceMs` on the wrapping clock.
bool notBefore(std::uint32_t atMs, std::uint32_t sinceMs) {
    return static_cast<std::int32_t>(atMs - sinceMs) >= 0;
}

std::uint32_t elapsed(std::uint32_t sinceMs, std::uint32_t nowMs) { return nowMs - sinceMs; }

std::string filledIn(std::string text, const std::string& first, const std::string& second = {}) {
    const auto replace = [&text](std::string_view mark, const std::string& value) {
        if (const std::size_t at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), value);
    };
    replace("%1", first);
    replace("%2", second);
    return text;
}

UiText fixText(RoverFix fix) {
    switch (fix) {
        case RoverFix::None: return UiText::RoverNoFix;
        case RoverFix::Fix2d: return UiText::Rover2dFix;
        case RoverFix::Fix3d: return UiText::Rover3dFix;
        case RoverFix::Dgnss: return UiText::RoverDgnss;
        case RoverFix::Float: return UiText::RoverFloat;
        case RoverFix::Fixed: return UiText::RoverFixed;
        case RoverFix::Unknown: break;
    }
    return UiText::RoverFixUnknown;
}

RoverLineColour fixColour(RoverFix fix) {
    if (fix == RoverFix::Fixed) return RoverLineColour::Normal;
    if (fix == RoverFix::Float) return RoverLineColour::Yellow;
    return RoverLineColour::Red;
}

}  // namespace

RoverLine roverLine(const RoverMonitor& rover, std::uint32_t nowMs, std::uint32_t listeningSinceMs,
                    UiLanguage language) {
    const auto heard = rover.lastHeardMs();
    const bool heardSince = heard && notBefore(*heard, listeningSinceMs);
    if (elapsed(heardSince ? *heard : listeningSinceMs, nowMs) >= kRoverSilenceMs) {
        return {uiText(UiText::RoverSilent, language), RoverLineColour::Grey};
    }
    if (!heardSince) return {};

    const auto position = rover.lastPositionMs();
    const bool current = rover.solution() && position && notBefore(*position, listeningSinceMs) &&
                         elapsed(*position, nowMs) < kRoverSilenceMs;
    constexpr const char* kGap = "  ";
    RoverLine line;
    line.text = uiText(UiText::RoverPrefix, language);
    if (current) {
        const RoverSolution& solution = *rover.solution();
        line.text += uiText(fixText(solution.fix), language);
        line.colour = fixColour(solution.fix);
        if (solution.numSv) line.text += kGap + filledIn(uiText(UiText::RoverSatellites, language), std::to_string(*solution.numSv));
        if (solution.hAccM) line.text += kGap + roverMetresText(*solution.hAccM) + " m";
    } else {
        line.text += uiText(UiText::RoverNoPosition, language);
        line.colour = RoverLineColour::Red;
    }
    if (rover.l6Reported()) {
        const CorrectionWindow window = rover.l6InLastMinute(nowMs);
        line.text += kGap + filledIn(uiText(UiText::RoverL6Used, language), std::to_string(window.used),
                                     std::to_string(window.received));
    }
    if (current && rover.solution()->correctionAgeS) {
        line.text += kGap + filledIn(uiText(UiText::RoverCorrectionAge, language),
                                     roverSecondsText(*rover.solution()->correctionAgeS));
    }
    return line;
}

RoverLine RoverLineTicker::tick(const RoverMonitor& rover, std::uint32_t nowMs, bool outputLinkOpen,
                                UiLanguage language) {
    const bool heard = rover.lastHeardMs().has_value();
    // A monitor that had heard the rover and no longer has was reset: listening starts again.
    const bool wasReset = heardBefore_ && !heard;
    heardBefore_ = heard;
    if (!outputLinkOpen) {
        listeningSinceMs_.reset();
        return {};
    }
    if (!listeningSinceMs_ || wasReset) listeningSinceMs_ = nowMs;
    return roverLine(rover, nowMs, *listeningSinceMs_, language);
}

}  // namespace tessaly
