// The Qt side of the seams the core waits and pumps through.
#pragma once

#include <chrono>

#include "app/delay_timer.h"
#include "app/pump_wait.h"
#include "monitor/monitor_outputs.h"

class QObject;

namespace tessaly {

// The window's timers: a task runs from its event loop, and is dropped unrun when the context
// object goes away first.
class QtDelayTimer final : public DelayTimer {
public:
    explicit QtDelayTimer(QObject* context) : context_(context) {}
    void runAfter(std::int32_t ms, std::function<void()> task) override;

private:
    QObject* context_;
};

// Runs a nested event loop that wakes at the deadline: waiting costs no processor time.
class QtEventWaiter final : public EventWaiter {
public:
    void processEventsFor(std::uint32_t maxMs) override;
};

// The decoder lets the window repaint after every L6 message. A screen shows no more than about
// sixty pictures a second, so a flood of messages (a replay, a fast test stream) processes events
// at most that often instead of painting for every frame and holding back the bytes behind it.
class QtEventPump final : public EventPump {
public:
    void processPendingEvents() override;

private:
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace tessaly
