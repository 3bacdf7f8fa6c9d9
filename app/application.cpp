#include "app/application.h"

#include <QFont>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

#include "app/message_box.h"

namespace tessaly {
namespace {

// The write end of the pipe from the signal handler to the event loop. A signal handler can reach
// nothing else; it is set once before the handlers are installed.
int signalPipeWrite = -1;

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipeWrite, &byte, 1);
}

}  // namespace

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

void TessalyApplication::closeOnTerminationSignals(QWidget* window) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
    signalPipeWrite = fds[0];
    signalNotifier_ = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, window, [window, fd = fds[1]] {
        char byte;
        [[maybe_unused]] const auto got = ::read(fd, &byte, 1);
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace tessaly
