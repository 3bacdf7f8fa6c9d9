// The rover that tessaly-cli sink plays: a high-precision receiver that uses the QZSS L6
// corrections relayed to it. It answers every L6 message with an RXM-COR of protocol 30, "used"
// for an error-free report in a valid frame and "not used" otherwise, and once a second reports
// its solution as NAV-PVT and GGA. Its solution follows the usable L6 it had: DGNSS from the first
// usable message, an RTK float solution after 10 s of them, fixed after 30 s, and a plain 3D fix
// again 10 s after the last one.
//
// Times are milliseconds of the caller's steady clock, so that tests drive them. The sink's loop
// thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/receiver_messages.h"
#include "monitor/rover_messages.h"

namespace tessaly {

inline constexpr std::int64_t kUsableL6ForFloatMs = 10000;
inline constexpr std::int64_t kUsableL6ForFixedMs = 30000;
inline constexpr std::int64_t kUsableL6LostAfterMs = 10000;

class SimulatedRover {
public:
    // An L6 message from the stream: a frame of class 0x02, ID 0x73, `valid` when it passed the
    // length and checksum check. Returns the RXM-COR frame that reports on it.
    Bytes correctionReceived(ByteView frame, bool valid, std::int64_t nowMs);
    // The solution of this second: a NAV-PVT frame followed by a GGA sentence.
    Bytes epoch(std::int64_t nowMs);
    // The NAV-PVT of the current solution, as sent at the last epoch.
    Bytes navPvt(std::int64_t nowMs) const;
    RoverFix fix(std::int64_t nowMs) const;

private:
    // Since when the usable L6 messages came without a gap of 10 s, and when the last one came.
    std::optional<std::int64_t> usableSinceMs_;
    std::optional<std::int64_t> lastUsableMs_;
    std::uint32_t epochs_ = 0;  // seconds of solution sent: the time of week and the GGA time
};

}  // namespace tessaly
