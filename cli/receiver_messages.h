// The messages the receiver simulator and the sink build: a UBX frame around a payload, the
// receiver's version reply and an NMEA text line with its checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/ubx_frame.h"

namespace tessaly {

using Bytes = std::vector<std::uint8_t>;

// Sync bytes, class, ID, length, payload and checksum.
Bytes makeUbxFrame(std::uint8_t messageClass, std::uint8_t messageId, const Bytes& payload);

// The UBX-MON-VER reply: 30-byte software version, 10-byte hardware version and 30-byte
// extension strings, NUL-padded, one of which is "FWVER=" followed by `firmware`.
Bytes makeMonVerReply(const std::string& firmware);

// "$" + body + "*hh" CR LF, hh being the XOR of the body's bytes in upper-case hex.
std::string makeNmeaLine(const std::string& body);

}  // namespace tessaly
