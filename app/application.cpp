#include "app/application.h"

#include <QFont>
#include <QDialog>
#include <QWidget>

#include <exception>

#include "app/message_box.h"

namespace tessaly {
TessalyApplication::TessalyApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("tessaly-monitor"));
    setApplicationDisplayName(QStringLiteral("Tessaly Monitor"));
    setDesktopFileName(QStringLiteral("org.tessaly.Monitor"));
    // The window's fixed layout is drawn for this font and style on every desktop.
    setStyle(QStringLiteral("Fusion"));
    QFont uiFont(QStringLiteral("Liberation Sans"));
    uiFont.setPixelSize(11);
    setFont(uiFont);
    // Narrow combo boxes (the bit rate is 60 px wide) need their text room more than a wide arrow.
    setStyleSheet(QStringLiteral("QComboBox { padding-left: 2px; } QComboBox::drop-down { width: 14px; }"));
}

TessalyApplication::~TessalyApplication() = default;

bool TessalyApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showError(QString::fromUtf8(error.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    return false;
}

void TessalyApplication::showError(const QString& text) {
    QWidget* owner = activeWindow();
    centredMessageBox(owner, text, QMessageBox::Critical, QMessageBox::Ok);
}

void TessalyApplication::closeOnStop(QWidget* window) {
    window_ = window;
    if (stopPending_) stopNow();
}

void TessalyApplication::requestStop() {
    QMetaObject::invokeMethod(this, &TessalyApplication::stopNow, Qt::QueuedConnection);
}

void TessalyApplication::stopNow() {
    if (!window_) {
        stopPending_ = true;
        return;
    }
    stopping_ = true;
    // A message box or dialog runs an event loop of its own, and the code that opened it goes on
    // once it ends: ended first, and the window's closing makes that code open nothing more.
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->close();
        }
    }
    window_->close();
    stopping_ = false;
    // Every event loop ends, the nested ones of the boxes included.
    exit(0);
}

}  // namespace tessaly
