// The UBX frame as the receivers exchange it, described once for the whole program: the frame
// scanner cuts frames of this shape out of the input stream, the command text sender checks the
// frames it sends against the same checksum.
//
//   offset  size  field
//   0       1     sync byte 1, 0xB5
//   1       1     sync byte 2, 0x62
//   2       1     message class
//   3       1     message ID
//   4       2     payload length L, little-endian
//   6       L     payload
//   6+L     1     CK_A
//   7+L     1     CK_B
//
// CK_A and CK_B are the 8-bit Fletcher checksum over class, ID, both length bytes and payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tessaly {

using ByteView = std::span<const std::uint8_t>;

inline constexpr std::uint8_t kUbxSync1 = 0xB5;
inline constexpr std::uint8_t kUbxSync2 = 0x62;
inline constexpr std::size_t kUbxHeaderSize = 6;     // sync pair, class, ID, length
inline constexpr std::size_t kUbxFrameOverhead = 8;  // header plus CK_A, CK_B
// A declared length beyond this is never waited for: the scanner cuts this many bytes instead,
// and they fail the length check.
inline constexpr std::size_t kUbxFrameLengthCap = 4096;

inline constexpr std::uint8_t kUbxClassNav = 0x01;
inline constexpr std::uint8_t kUbxIdNavPvt = 0x07;  // the rover's position solution
inline constexpr std::uint8_t kUbxClassRxm = 0x02;
inline constexpr std::uint8_t kUbxIdRxmL6 = 0x73;   // the receiver's L6 message
inline constexpr std::uint8_t kUbxIdRxmCor = 0x34;  // the rover's report on a correction it was given
inline constexpr std::uint8_t kUbxClassMon = 0x0A;
inline constexpr std::uint8_t kUbxIdMonVer = 0x04;  // version poll and reply
inline constexpr std::uint8_t kUbxClassCfg = 0x06;
inline constexpr std::uint8_t kUbxIdCfgRst = 0x04;  // reset: which stored data to clear, how to restart
inline constexpr std::uint8_t kUbxIdCfgCfg = 0x09;  // clear, save or load the configuration
inline constexpr std::uint8_t kUbxClassAck = 0x05;  // the answer to a CFG message: its class and ID
inline constexpr std::uint8_t kUbxIdAckNak = 0x00;
inline constexpr std::uint8_t kUbxIdAckAck = 0x01;

struct UbxChecksum {
    std::uint8_t ckA = 0;
    std::uint8_t ckB = 0;
    bool operator==(const UbxChecksum&) const = default;
};

// Checksum over the bytes from the class through the end of the payload.
UbxChecksum ubxChecksum(ByteView classThroughPayload);

// Payload length L from bytes 4 and 5; the frame must hold at least the header.
std::uint16_t ubxPayloadLength(ByteView frame);

// A frame as cut is valid when it holds at least 8 bytes, its declared length plus 8 equals its
// size and its last two bytes are the checksum. The sync bytes are not examined.
bool isValidUbxFrame(ByteView frame);

// The firmware text of a version reply: the 30-byte extension field that starts with "FWVER=",
// up to its first NUL (fewer bytes when the frame ends sooner). Absent when the frame has no
// such text.
std::optional<std::string> ubxFirmwareText(ByteView monVerFrame);

}  // namespace tessaly
