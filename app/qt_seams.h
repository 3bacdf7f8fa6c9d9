// The Qt side of the seams the core waits and times through.
#pragma once

#include "station/delay_timer.h"

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

}  // namespace tessaly
