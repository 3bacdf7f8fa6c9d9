// The message-pump wait: lets a given time pass on the window's thread while window events keep
// being processed, so received data is decoded and forwarded and the user can still click.
// The deadline follows the 32-bit millisecond clock and ends on time across both of its
// wrap-arounds (at 2^31 and at 2^32). Between events the thread sleeps instead of spinning.
#pragma once

#include <cstdint>

namespace tessaly {

// A millisecond clock that wraps at 2^32 like the system's.
class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    virtual std::uint32_t nowMs() const = 0;
};

class SystemMillisecondClock final : public MillisecondClock {
public:
    std::uint32_t nowMs() const override;
};

// Processes window events, sleeping at most the given time when there are none.
class EventWaiter {
public:
    virtual ~EventWaiter() = default;
    virtual void processEventsFor(std::uint32_t maxMs) = 0;
};

// The deadline arithmetic of the wait: started at `startMs`, it lasts `durationMs`.
class PumpWaitDeadline {
public:
    PumpWaitDeadline(std::uint32_t startMs, std::int32_t durationMs);
    // True once the clock has reached the deadline. Call with every new clock reading.
    bool reached(std::uint32_t nowMs);
    // What is left at most; the wait sleeps no longer than this between clock readings.
    std::uint32_t remainingMs(std::uint32_t nowMs) const;

private:
    std::int32_t deadline_;
    // A deadline beyond 2^31 reads as negative: first the clock must pass 2^31 itself.
    bool waitingForSignWrap_;
};

void messagePumpWait(std::int32_t durationMs, const MillisecondClock& clock, EventWaiter& events);

}  // namespace tessaly
