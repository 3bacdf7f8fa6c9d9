#include "app/qt_seams.h"

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

}  // namespace tessaly
