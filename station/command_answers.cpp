#include "station/command_answers.h"

#include <algorithm>

namespace tessaly {

std::optional<std::uint64_t> CommandAnswerWatch::sent(ByteView bytes) {
    if (bytes.size() < kUbxFrameOverhead || bytes[0] != kUbxSync1 || bytes[1] != kUbxSync2 ||
        bytes[2] != kUbxClassCfg) {
        return std::nullopt;
    }
    waiting_.push_back({nextNumber_, bytes[2], bytes[3]});
    return nextNumber_++;
}

void CommandAnswerWatch::received(ByteView frame) {
    // An answer's payload is the class and ID it answers, nothing more.
    if (frame.size() != kUbxFrameOverhead + 2 || frame[2] != kUbxClassAck ||
        (frame[3] != kUbxIdAckAck && frame[3] != kUbxIdAckNak)) {
        return;
    }
    const std::uint8_t messageClass = frame[kUbxHeaderSize];
    const std::uint8_t messageId = frame[kUbxHeaderSize + 1];
    const auto answered = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& waiting) {
        return waiting.messageClass == messageClass && waiting.messageId == messageId;
    });
    if (answered == waiting_.end()) return;
    waiting_.erase(answered);
    answered_({messageClass, messageId, frame[3] == kUbxIdAckAck ? CommandAnswer::Kind::Ack : CommandAnswer::Kind::Nak});
}

void CommandAnswerWatch::expire(std::uint64_t number) {
    const auto unanswered = std::find_if(waiting_.begin(), waiting_.end(),
                                         [&](const Waiting& waiting) { return waiting.number == number; });
    if (unanswered == waiting_.end()) return;
    const CommandAnswer answer{unanswered->messageClass, unanswered->messageId, CommandAnswer::Kind::None};
    waiting_.erase(unanswered);
    answered_(answer);
}

}  // namespace tessaly
