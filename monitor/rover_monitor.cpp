#include "monitor/rover_monitor.h"

#include <string_view>

namespace tessaly {
namespace {

bool within(std::uint32_t sinceMs, std::uint32_t nowMs, std::uint32_t spanMs) {
    return static_cast<std::uint32_t>(nowMs - sinceMs) < spanMs;
}

}  // namespace

void CorrectionCounts::add(std::uint8_t msgUsed) {
    ++received;
    if (msgUsed == kCorrectionUsed) {
        ++used;
    } else if (msgUsed == kCorrectionNotUsed) {
        ++notUsed;
    } else {
        ++unknown;
    }
}

void RoverMonitor::feed(ByteView block, std::uint32_t nowMs) {
    nowMs_ = nowMs;
    scanner_.scanBlock(block);
}

void RoverMonitor::reset() {
    scanner_.clearPending();
    solution_.reset();
    lastNavPvtMs_.reset();
    lastPositionMs_.reset();
    lastHeardMs_.reset();
    counters_ = {};
    recentL6_.clear();
}

RoverStatus RoverMonitor::status() const { return {solution_, l6Counts()}; }

CorrectionCounts RoverMonitor::l6Counts() const {
    const auto found = counters_.correctionsByProtocol.find(kCorrectionProtocolQzssL6);
    return found == counters_.correctionsByProtocol.end() ? CorrectionCounts{} : found->second;
}

CorrectionWindow RoverMonitor::l6InLastMinute(std::uint32_t nowMs) const {
    CorrectionWindow window;
    // Newest last: counting stops at the first report older than the window.
    for (auto it = recentL6_.rbegin(); it != recentL6_.rend() && within(it->atMs, nowMs, kCorrectionWindowMs); ++it) {
        ++window.received;
        if (it->used) ++window.used;
    }
    return window;
}

void RoverMonitor::frameFound(ByteView frame) {
    const std::uint8_t messageClass = frame[2];
    const std::uint8_t messageId = frame[3];
    if (messageClass == kUbxClassNav && messageId == kUbxIdNavPvt) {
        navPvtFound(frame);
    } else if (messageClass == kUbxClassRxm && messageId == kUbxIdRxmCor) {
        rxmCorFound(frame);
    }
}

void RoverMonitor::navPvtFound(ByteView frame) {
    const auto solution = decodeNavPvt(frame);
    if (!solution) {
        ++counters_.malformed;
        return;
    }
    ++counters_.navPvt;
    ++counters_.navPvtFixes[static_cast<std::size_t>(solution->fix)];
    lastNavPvtMs_ = nowMs_;
    positionHeard(*solution);
}

void RoverMonitor::rxmCorFound(ByteView frame) {
    const auto report = decodeRxmCor(frame);
    if (!report) {
        ++counters_.malformed;
        return;
    }
    ++counters_.rxmCor;
    counters_.correctionsByProtocol[report->protocol].add(report->msgUsed);
    lastHeardMs_ = nowMs_;
    if (report->protocol != kCorrectionProtocolQzssL6) return;
    recentL6_.push_back({nowMs_, report->msgUsed == kCorrectionUsed});
    while (!recentL6_.empty() &&
           (recentL6_.size() > kCorrectionWindowCap || !within(recentL6_.front().atMs, nowMs_, kCorrectionWindowMs))) {
        recentL6_.pop_front();
    }
}

void RoverMonitor::textLineRemoved(ByteView line) {
    // The line may carry stray bytes in front of its sentence; a sentence holds no '$' of its own.
    const std::string_view text(reinterpret_cast<const char*>(line.data()), line.size());
    const std::size_t start = text.rfind('$');
    if (start == std::string_view::npos) return;
    const std::string_view sentence = text.substr(start);
    if (!isGgaSentence(sentence)) return;
    const auto solution = decodeGga(sentence);
    if (!solution) {
        ++counters_.malformed;
        return;
    }
    ++counters_.gga;
    ++counters_.ggaFixes[static_cast<std::size_t>(solution->fix)];
    if (lastNavPvtMs_ && within(*lastNavPvtMs_, nowMs_, kNavPvtPrecedenceMs)) return;
    positionHeard(*solution);
}

void RoverMonitor::positionHeard(const RoverSolution& solution) {
    solution_ = solution;
    lastPositionMs_ = nowMs_;
    lastHeardMs_ = nowMs_;
}

}  // namespace tessaly
