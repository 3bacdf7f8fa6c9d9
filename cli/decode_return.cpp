#include "cli/decode_return.h"

#include <fstream>
#include <ostream>

#include "cli/block_replay.h"
#include "cli/rover_status.h"
#include "monitor/rover_monitor.h"

namespace tessaly {
namespace {

const char* protocolName(std::uint8_t protocol) {
    switch (protocol) {
        case kCorrectionProtocolRtcm3: return " (RTCM 3)";
        case kCorrectionProtocolSpartn: return " (SPARTN)";
        case kCorrectionProtocolPmp: return " (PMP)";
        case kCorrectionProtocolQzssL6: return " (QZSS L6)";
        default: return "";
    }
}

void printFixKinds(std::ostream& out, const char* source, const std::array<std::uint64_t, kRoverFixKinds>& counts) {
    out << "Fix kinds from " << source << ":";
    // Worst to best, and what the rover named but we do not know last.
    for (const RoverFix fix : {RoverFix::None, RoverFix::Fix2d, RoverFix::Fix3d, RoverFix::Dgnss, RoverFix::Float,
                               RoverFix::Fixed, RoverFix::Unknown}) {
        out << (fix == RoverFix::None ? " " : ", ") << roverFixName(fix) << " " << counts[static_cast<std::size_t>(fix)];
    }
    out << "\n";
}

void printCounts(std::ostream& out, const CorrectionCounts& counts) {
    out << "received " << counts.received << ", used " << counts.used << ", not used " << counts.notUsed
        << ", unknown " << counts.unknown << "\n";
}

void printSummary(std::ostream& out, const DecodeOptions& options, std::uint64_t bytes, const RoverMonitor& rover) {
    const RoverCounters& counts = rover.counters();
    out << "File: " << options.inputPath << " (" << bytes << " bytes, blocks of " << options.blockSize
        << "), return stream\n";
    out << "Position messages: NAV-PVT " << counts.navPvt << ", GGA " << counts.gga << "\n";
    printFixKinds(out, "NAV-PVT", counts.navPvtFixes);
    printFixKinds(out, "GGA", counts.ggaFixes);
    out << "RXM-COR: " << counts.rxmCor << "\n";
    CorrectionCounts all;
    for (const auto& [protocol, byProtocol] : counts.correctionsByProtocol) {
        out << "  protocol " << unsigned{protocol} << protocolName(protocol) << ": ";
        printCounts(out, byProtocol);
        all.received += byProtocol.received;
        all.used += byProtocol.used;
        all.notUsed += byProtocol.notUsed;
        all.unknown += byProtocol.unknown;
    }
    out << "  all protocols: ";
    printCounts(out, all);
    out << "Malformed messages: " << counts.malformed << "\n";
    out << "Frames dropped: " << counts.framesDropped << "\n";
    out << "Last solution: " << roverStatusText(rover.status()) << "\n";
}

}  // namespace

int runDecodeReturn(const DecodeOptions& options, std::ostream& out, std::ostream& err) {
    if (options.csvPath || options.utc) {
        err << "tessaly-cli decode: --csv and --utc do not apply to --return\n";
        return 2;
    }
    std::ifstream input(options.inputPath, std::ios::binary);
    if (!input) {
        err << "tessaly-cli decode: cannot read " << options.inputPath << "\n";
        return 2;
    }
    RoverMonitor rover;
    // A capture has no time of arrival: every message counts, and NAV-PVT keeps precedence over
    // GGA for the last solution.
    const auto total = replayInBlocks(input, options.blockSize, [&](ByteView block) { rover.feed(block, 0); });
    if (!total) {
        err << "tessaly-cli decode: error while reading " << options.inputPath << "\n";
        return 2;
    }
    printSummary(out, options, *total, rover);
    return 0;
}

}  // namespace tessaly
