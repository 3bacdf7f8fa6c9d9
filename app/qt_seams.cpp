#include "app/qt_seams.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace tessaly {

void QtEventWaiter::processEventsFor(std::uint32_t maxMs) {
    QEventLoop loop;
    // QTimer takes an int; a longer wait simply comes back here for the rest.
    const int interval = static_cast<int>(std::min<std::uint32_t>(maxMs, 1u << 30));
    QTimer::singleShot(std::max(interval, 1), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtDelayTimer::runAfter(std::int32_t ms, std::function<void()> task) {
    // Precise: a command's pauses are a receiver's restart times, not a refresh rate.
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, context_, std::move(task));
}

void QtEventPump::processPendingEvents() {
    constexpr auto kFramePeriod = std::chrono::milliseconds(16);
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kFramePeriod) return;
    last_ = now;
    QCoreApplication::processEvents();
}

}  // namespace tessaly
