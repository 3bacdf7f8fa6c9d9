// The Qt side of the seams the core waits and pumps through.
#pragma once

#include "app/pump_wait.h"
#include "monitor/monitor_outputs.h"

namespace tessaly {

// Runs a nested event loop that wakes at the deadline: waiting costs no processor time.
class QtEventWaiter final : public EventWaiter {
public:
    void processEventsFor(std::uint32_t maxMs) override;
};

class QtEventPump final : public EventPump {
public:
    void processPendingEvents() override;
};

}  // namespace tessaly
