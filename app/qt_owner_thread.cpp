#include "app/qt_owner_thread.h"

#include <QMetaObject>

namespace tessaly {

std::shared_ptr<QtOwnerThread> QtOwnerThread::create(QObject* receiver) {
    return std::shared_ptr<QtOwnerThread>(new QtOwnerThread(receiver));
}

QtOwnerThread::QtOwnerThread(QObject* receiver)
    : receiver_(receiver), queue_([this] { wakeOwner(); }) {}

void QtOwnerThread::wakeOwner() {
    // Only ever before shutdown, which the window enters before it goes away: the receiver still
    // exists here. A queued call left behind is dropped with the receiver. A task that throws
    // goes on to the application's general error handler.
    QMetaObject::invokeMethod(
        receiver_.data(), [self = shared_from_this()] { self->queue_.drain(); }, Qt::QueuedConnection);
}

}  // namespace tessaly
