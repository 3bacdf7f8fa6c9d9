#include "cli/receiver_messages.h"

#include <algorithm>
#include <cstdio>

namespace tessaly {
namespace {

void appendField(Bytes& payload, const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        // The last byte stays NUL so that a reader always finds the end of the string.
        payload.push_back(i + 1 < size && i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

}  // namespace

Bytes makeUbxFrame(std::uint8_t messageClass, std::uint8_t messageId, const Bytes& payload) {
    Bytes frame(kUbxHeaderSize + payload.size());
    frame[0] = kUbxSync1;
    frame[1] = kUbxSync2;
    frame[2] = messageClass;
    frame[3] = messageId;
    frame[4] = static_cast<std::uint8_t>(payload.size() & 0xFF);
    frame[5] = static_cast<std::uint8_t>(payload.size() >> 8);
    std::copy(payload.begin(), payload.end(), frame.begin() + kUbxHeaderSize);
    const UbxChecksum checksum = ubxChecksum(ByteView(frame).subspan(2));
    frame.push_back(checksum.ckA);
    frame.push_back(checksum.ckB);
    return frame;
}

Bytes makeMonVerReply(const std::string& firmware) {
    Bytes payload;
    appendField(payload, "ROM CORE 1.00 (sim0001)", 30);
    appendField(payload, "000A0000", 10);
    for (const std::string& extension : {std::string("ROM BASE 0x00000000"), "FWVER=" + firmware,
                                         std::string("PROTVER=34.00"), std::string("QZSS")}) {
        appendField(payload, extension, 30);
    }
    return makeUbxFrame(kUbxClassMon, kUbxIdMonVer, payload);
}

std::string makeNmeaLine(const std::string& body) {
    std::uint8_t checksum = 0;
    for (const char c : body) checksum ^= static_cast<std::uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", checksum);
    return "$" + body + tail;
}

}  // namespace tessaly
