#include "monitor/ubx_frame.h"

#include <algorithm>
#include <string_view>

namespace tessaly {

UbxChecksum ubxChecksum(ByteView classThroughPayload) {
    UbxChecksum ck;
    for (std::uint8_t b : classThroughPayload) {
        ck.ckA = static_cast<std::uint8_t>(ck.ckA + b);
        ck.ckB = static_cast<std::uint8_t>(ck.ckB + ck.ckA);
    }
    return ck;
}

std::uint16_t ubxPayloadLength(ByteView frame) {
    return static_cast<std::uint16_t>(frame[4] | (frame[5] << 8));
}

bool isValidUbxFrame(ByteView frame) {
    if (frame.size() < kUbxFrameOverhead) return false;
    const std::size_t length = ubxPayloadLength(frame);
    if (length + kUbxFrameOverhead != frame.size()) return false;
    const UbxChecksum ck = ubxChecksum(frame.subspan(2, length + 4));
    return ck.ckA == frame[length + 6] && ck.ckB == frame[length + 7];
}

std::optional<std::string> ubxFirmwareText(ByteView monVerFrame) {
    // The reply carries its extension strings as 30-byte, NUL-padded fields.
    constexpr std::string_view kMarker = "FWVER=";
    constexpr std::size_t kFieldSize = 30;
    const auto found = std::search(monVerFrame.begin(), monVerFrame.end(), kMarker.begin(),
                                   kMarker.end(), [](std::uint8_t b, char c) {
                                       return b == static_cast<std::uint8_t>(c);
                                   });
    if (found == monVerFrame.end()) return std::nullopt;
    const auto fieldEnd = found + std::min<std::ptrdiff_t>(kFieldSize, monVerFrame.end() - found);
    const auto textEnd = std::find(found, fieldEnd, std::uint8_t{0});
    return std::string(found, textEnd);
}

}  // namespace tessaly
