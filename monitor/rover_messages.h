// What the high-precision receiver (the rover) says on the return stream about its solution and
// about the corrections it was given, decoded from single messages. The rover monitor calls these
// for each valid frame and text line of the return stream; the window, the bridge and the offline
// decode only ever see the results.
//
// UBX-NAV-PVT, class 0x01 ID 0x07, 92-byte payload (offsets from the payload start, little-endian):
//   20 fixType: 0 no fix, 1 dead reckoning only, 2 2D, 3 3D, 4 GNSS + dead reckoning, 5 time only
//   21 flags: bit 0 gnssFixOK, bit 1 diffSoln, bits 6-7 carrSoln (0 none, 1 float, 2 fixed)
//   23 numSV          40..43 hAcc (mm)
//   78..79 flags3: bit 0 invalidLlh, bits 1-4 lastCorrectionAge, a coded range (see below)
//
// UBX-RXM-COR, class 0x02 ID 0x34, 12-byte payload:
//   0 version   1 ebno (0.125 dB)   2..3 reserved
//   4..7 statusInfo: bits 0-4 protocol, bits 5-6 errStatus (0 unknown, 1 error-free,
//        2 erroneous), bits 7-8 msgUsed (0 unknown, 1 not used, 2 used), bits 9-24 correctionId,
//        bit 25 msgTypeValid, bit 26 msgSubTypeValid
//   8..9 msgType   10..11 msgSubType
//
// NMEA GGA, any talker: $ttGGA,time,lat,N/S,lon,E/W,quality,numSV,HDOP,alt,M,sep,M,age,station*hh
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/ubx_frame.h"

namespace tessaly {

inline constexpr std::size_t kNavPvtPayloadSize = 92;
inline constexpr std::size_t kRxmCorPayloadSize = 12;

// The correction protocols an RXM-COR names.
inline constexpr std::uint8_t kCorrectionProtocolRtcm3 = 1;
inline constexpr std::uint8_t kCorrectionProtocolSpartn = 2;
inline constexpr std::uint8_t kCorrectionProtocolPmp = 29;
inline constexpr std::uint8_t kCorrectionProtocolQzssL6 = 30;

inline constexpr std::uint8_t kCorrectionUseUnknown = 0;
inline constexpr std::uint8_t kCorrectionNotUsed = 1;
inline constexpr std::uint8_t kCorrectionUsed = 2;

// The kind of position fix, best last. Unknown: the rover named a kind we do not know.
enum class RoverFix { Unknown, None, Fix2d, Fix3d, Dgnss, Float, Fixed };
inline constexpr std::size_t kRoverFixKinds = 7;

// "none", "2d", "3d", "dgnss", "float", "fixed" or "unknown".
const char* roverFixName(RoverFix fix);

// One position message. A value the message does not carry is absent.
struct RoverSolution {
    RoverFix fix = RoverFix::Unknown;
    std::optional<unsigned> numSv;
    std::optional<double> hAccM;
    std::optional<double> correctionAgeS;
    bool operator==(const RoverSolution&) const = default;
};

struct CorrectionReport {
    std::uint8_t protocol = 0;
    std::uint8_t errStatus = 0;
    std::uint8_t msgUsed = 0;
    std::uint16_t msgType = 0;
    std::uint16_t msgSubType = 0;
    bool operator==(const CorrectionReport&) const = default;
};

// The age of the last correction in seconds for a lastCorrectionAge code: the upper end of the
// coded range, and 120 for the open range "120 s or more". Absent for 0 (not available) and for
// codes the receiver does not define.
std::optional<double> correctionAgeForCode(unsigned code);

// A valid frame of the class and ID; absent when its payload is not of the documented size.
std::optional<RoverSolution> decodeNavPvt(ByteView frame);
std::optional<CorrectionReport> decodeRxmCor(ByteView frame);

// A sentence ("$" up to and possibly including CR LF) whose address is a talker and "GGA".
bool isGgaSentence(std::string_view sentence);
// A GGA sentence with its checksum right, a quality of 0 to 8 and numbers where numbers belong;
// absent otherwise. GGA does not tell a 2D from a 3D fix: a plain fix counts as 3D.
std::optional<RoverSolution> decodeGga(std::string_view sentence);

// Numbers as the rover line and the status lines show them, with '.' whatever the locale:
// metres to the millimetre, seconds whole or to the tenth.
std::string roverMetresText(double metres);
std::string roverSecondsText(double seconds);

}  // namespace tessaly
