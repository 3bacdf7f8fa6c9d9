// The read-only monitor of the return stream: what the high-precision receiver (the rover) sends
// back toward the L6 receiver. Its own frame scanner cuts UBX frames and text lines out of each
// block; NAV-PVT and GGA give the rover's solution, RXM-COR tells which corrections it used.
// Malformed messages are counted and ignored.
//
// The window and the bridge call feed() with every output block after the block was forwarded;
// the block is only read. Times are readings of the caller's 32-bit millisecond clock, which may
// wrap: every comparison is of differences. Owner's thread only.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "monitor/frame_scanner.h"
#include "monitor/rover_messages.h"

namespace tessaly {

// A GGA arriving within this time of a NAV-PVT does not change the solution: NAV-PVT carries
// more (accuracy, carrier solution), and a rover sending both would otherwise flicker.
inline constexpr std::uint32_t kNavPvtPrecedenceMs = 5000;
// The span of the "L6 used" count.
inline constexpr std::uint32_t kCorrectionWindowMs = 60000;

struct CorrectionCounts {
    std::uint64_t received = 0;
    std::uint64_t used = 0;
    std::uint64_t notUsed = 0;
    std::uint64_t unknown = 0;  // the rover did not say, or said something undefined
    void add(std::uint8_t msgUsed);
    bool operator==(const CorrectionCounts&) const = default;
};

struct RoverCounters {
    std::uint64_t navPvt = 0;         // decoded, whether or not they set the solution
    std::uint64_t gga = 0;
    std::uint64_t rxmCor = 0;
    std::uint64_t malformed = 0;      // NAV-PVT, RXM-COR or GGA that could not be decoded
    std::uint64_t framesDropped = 0;  // UBX cuts that failed the length or checksum check
    std::array<std::uint64_t, kRoverFixKinds> navPvtFixes{};  // by RoverFix
    std::array<std::uint64_t, kRoverFixKinds> ggaFixes{};
    std::map<std::uint8_t, CorrectionCounts> correctionsByProtocol;
};

// What the status lines show: the solution (absent until the first position message) and the
// RXM-COR counts of protocol 30, QZSS L6, since the last reset.
struct RoverStatus {
    std::optional<RoverSolution> solution;
    CorrectionCounts l6;
};

struct CorrectionWindow {
    std::uint32_t used = 0;
    std::uint32_t received = 0;
};

class RoverMonitor final : private ScanObserver {
public:
    RoverMonitor() : scanner_(*this) {}
    RoverMonitor(const RoverMonitor&) = delete;
    RoverMonitor& operator=(const RoverMonitor&) = delete;

    void feed(ByteView block, std::uint32_t nowMs);
    // The monitor reset: solution, counts and the bytes of an unfinished frame.
    void reset();
    // The output link opened again: a frame cut off with the old connection is not completed by
    // the new one's bytes.
    void clearPending() { scanner_.clearPending(); }

    const std::optional<RoverSolution>& solution() const { return solution_; }
    RoverStatus status() const;
    const RoverCounters& counters() const { return counters_; }
    // RXM-COR of protocol 30 received in the last 60 s before `nowMs`.
    CorrectionWindow l6InLastMinute(std::uint32_t nowMs) const;
    bool l6Reported() const { return l6Counts().received > 0; }
    // When the last position message (NAV-PVT or GGA) and the last message the monitor
    // understood (those or RXM-COR) arrived.
    std::optional<std::uint32_t> lastPositionMs() const { return lastPositionMs_; }
    std::optional<std::uint32_t> lastHeardMs() const { return lastHeardMs_; }

private:
    // The times of recent protocol 30 reports are kept up to this many; a rover reporting more
    // within a minute has its oldest reports leave the count early.
    static constexpr std::size_t kCorrectionWindowCap = 4096;

    struct RecentCorrection {
        std::uint32_t atMs;
        bool used;
    };

    void frameFound(ByteView frame) override;
    void frameDropped(ByteView, DropReason) override { ++counters_.framesDropped; }
    void textLineRemoved(ByteView line) override;

    void navPvtFound(ByteView frame);
    void rxmCorFound(ByteView frame);
    void positionHeard(const RoverSolution& solution);
    CorrectionCounts l6Counts() const;

    UbxFrameScanner scanner_;
    std::uint32_t nowMs_ = 0;  // of the block being fed
    std::optional<RoverSolution> solution_;
    std::optional<std::uint32_t> lastNavPvtMs_;
    std::optional<std::uint32_t> lastPositionMs_;
    std::optional<std::uint32_t> lastHeardMs_;
    RoverCounters counters_;
    std::deque<RecentCorrection> recentL6_;
};

}  // namespace tessaly
