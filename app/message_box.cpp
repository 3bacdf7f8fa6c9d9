#include "app/message_box.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cstdio>

#include "app/application.h"
#include "app/dialog_placement.h"

namespace tessaly {
namespace {

ScreenRect toScreenRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

}  // namespace

QRect workAreaOf(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QMessageBox::StandardButton centredMessageBox(QWidget* owner, const QString& text,
                                              QMessageBox::Icon kind,
                                              QMessageBox::StandardButtons buttons) {
    // A box opened while the program stops (a settings file that cannot be saved at close) would
    // wait for an answer that never comes and hold the stop for ever.
    if (const auto* app = qobject_cast<const TessalyApplication*>(QCoreApplication::instance()); app && app->stopping()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(QString(text)
                                   .replace(QStringLiteral("\r\n\r\n"), QStringLiteral(": "))
                                   .replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
        return QMessageBox::NoButton;
    }
    QMessageBox box(kind, QApplication::applicationDisplayName(), text, buttons, owner);
    if (owner) {
        box.adjustSize();
        const QRect frame = owner->frameGeometry();
        const QSize size = box.sizeHint();
        const ScreenPoint at = centredDialogPosition(toScreenRect(frame), size.width(), size.height(),
                                                     toScreenRect(workAreaOf(owner)));
        box.move(at.left, at.top);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tessaly
