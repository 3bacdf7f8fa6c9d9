// What the L6 receiver answered to the CFG messages a command run sent: a UBX-ACK-ACK or
// ACK-NAK whose payload names the message's class and ID, or nothing within a second. A reset
// is often not answered at all, as the receiver restarts before it speaks; "no answer" is then
// simply what happened, and the user reads it so.
//
// Owner thread: what was sent and what was received both arrive there.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "monitor/ubx_frame.h"

namespace tessaly {

struct CommandAnswer {
    enum class Kind { Ack, Nak, None };
    std::uint8_t messageClass = 0;
    std::uint8_t messageId = 0;
    Kind kind = Kind::None;
    bool operator==(const CommandAnswer&) const = default;
};

// How long a sent CFG message waits for its answer.
inline constexpr std::int32_t kCommandAnswerWaitMs = 1000;

class CommandAnswerWatch {
public:
    using Answered = std::function<void(const CommandAnswer& answer)>;
    explicit CommandAnswerWatch(Answered answered) : answered_(std::move(answered)) {}

    // Bytes that left for the receiver: a UBX frame of class CFG at their start (whatever
    // follows, such as CR LF) is awaited. The wait's number, for expire; absent when nothing
    // is awaited.
    std::optional<std::uint64_t> sent(ByteView bytes);
    // A valid frame from the receiver: an ACK-ACK or ACK-NAK answers the oldest waiting message
    // it names; any other frame changes nothing.
    void received(ByteView frame);
    // The wait has run out: a message still unanswered is reported as such.
    void expire(std::uint64_t number);
    // Waits end without a word: the answers that may still come belong to nothing the user sees.
    void clear() { waiting_.clear(); }

private:
    struct Waiting {
        std::uint64_t number;
        std::uint8_t messageClass;
        std::uint8_t messageId;
    };

    Answered answered_;
    std::deque<Waiting> waiting_;  // oldest first
    std::uint64_t nextNumber_ = 0;
};

}  // namespace tessaly
