#include "station/command_risk.h"

#include <algorithm>
#include <cstdint>

#include "station/command_text.h"

namespace tessaly {
namespace {

// The first `size` payload bytes as a little-endian number; 0 when the payload is shorter, as a
// receiver would refuse such a frame rather than act on it.
std::uint32_t payloadField(ByteView payload, std::size_t size) {
    if (payload.size() < size) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | payload[i];
    return value;
}

constexpr std::uint32_t kWarmStartMask = 0x0001;  // navBbrMask: the ephemeris only

}  // namespace

CommandRisk frameRisk(ByteView frame) {
    if (!isValidUbxFrame(frame) || frame[0] != kUbxSync1 || frame[1] != kUbxSync2 || frame[2] != kUbxClassCfg) {
        return CommandRisk::None;
    }
    const ByteView payload = frame.subspan(kUbxHeaderSize, ubxPayloadLength(frame));
    if (frame[3] == kUbxIdCfgRst && (payloadField(payload, 2) & ~kWarmStartMask) != 0) {
        return CommandRisk::ClearsNavigationData;
    }
    if (frame[3] == kUbxIdCfgCfg && payloadField(payload, 4) != 0) return CommandRisk::ClearsConfiguration;
    return CommandRisk::None;
}

CommandRisk commandRisk(std::string_view commandText) {
    CommandRisk risk = CommandRisk::None;
    for (const CommandStep& step : parseCommandText(commandText)) {
        if (step.kind != CommandStep::Kind::SendFrame) continue;
        const CheckedFrame checked = checkCommandFrame(step.frame);
        if (!checked.bytes) continue;
        // The CR LF that follows every frame is no part of it.
        const ByteView frame = ByteView(*checked.bytes).first(checked.bytes->size() - 2);
        risk = std::max(risk, frameRisk(frame));
    }
    return risk;
}

}  // namespace tessaly
