// The L6 channel report: what one UBX-RXM L6 message from the receiver says about one second of
// one receiver channel, plus the header of the L6 message it carries. Decoded by the L6 decoder,
// shown by the channel grids, written by the CSV log.
//
// Payload of the L6 message (offsets from the payload start, little-endian):
//   0 version   1 svid   2..3 cno (1/256 dBHz)   4..7 timeTag (ms)   8 groupDelay   9 bitErrCorr
//   11 channel information: bits 0-1 chn, bit 2 msgName, bits 4-5 errStatus, bits 6-7 chName
//   14..263 the 250-byte L6 message; its first seven bytes are the header:
//     0..3 preamble 1A CF FC 1D   4 PRN   5 vendor ID (7-5), facility ID (4-3), subframe (0)
//     6 alert flag (bit 7)
#pragma once

#include <cstdint>

#include "monitor/ubx_frame.h"

namespace tessaly {

enum class Channel { A, B };

inline constexpr std::uint8_t kErrStatusUnknown = 0;
inline constexpr std::uint8_t kErrStatusErrorFree = 1;
inline constexpr std::uint8_t kErrStatusErroneous = 2;
// The alert flag of a report whose L6 message did not start with the preamble.
inline constexpr std::uint8_t kAlertNoHeader = 255;
// Payload bytes 0 to 20 are read; a shorter L6 message is not decoded.
inline constexpr std::size_t kL6MinPayload = 21;

struct L6ChannelReport {
    std::uint8_t version = 0;
    std::uint8_t svid = 0;
    float cno = 0;  // dBHz
    std::uint32_t timeTag = 0;
    std::uint8_t groupDelay = 0;
    std::uint8_t bitErrCorr = 0;
    std::uint8_t chn = 0;
    std::uint8_t msgName = 0;  // 0 = L6D, 1 = L6E
    std::uint8_t errStatus = 0;
    std::uint8_t chName = 0;  // 0 = A, otherwise B
    // From the L6 message header.
    std::uint8_t prn = 0;
    std::uint8_t vendorId = 0;
    std::uint8_t facilityId = 0;
    std::uint8_t subframeIndicator = 0;
    std::uint8_t alertFlag = 0;

    bool operator==(const L6ChannelReport&) const = default;
    Channel channel() const { return chn == 0 ? Channel::A : Channel::B; }
    bool hasHeader() const { return alertFlag != kAlertNoHeader; }
};

// Writes the fields of an L6 message frame (sync bytes through checksum) into `report`. When the
// preamble does not match, the alert flag becomes 255 and PRN, vendor, facility and subframe keep
// what `report` held. Returns false, leaving `report` untouched, for a payload shorter than 21
// bytes.
bool decodeL6Frame(ByteView frame, L6ChannelReport& report);

}  // namespace tessaly
