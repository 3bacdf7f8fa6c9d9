#include "app/qt_seams.h"

#include <QTimer>

#include <algorithm>

namespace tessaly {

void QtDelayTimer::runAfter(std::int32_t ms, std::function<void()> task) {
    // Precise: a command's pauses are a receiver's restart times, not a refresh rate.
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, context_, std::move(task));
}

}  // namespace tessaly
