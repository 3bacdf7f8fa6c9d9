// The 32-bit millisecond clock of the idle check and the rover's message times: it wraps at 2^32
// like the system tick count, and every difference of its readings is taken unsigned.
#pragma once

#include <chrono>
#include <cstdint>

namespace tessaly {

class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    virtual std::uint32_t nowMs() const = 0;
};

class SystemMillisecondClock final : public MillisecondClock {
public:
    std::uint32_t nowMs() const override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
};

}  // namespace tessaly
