// The application object: one general error handler for errors that escape an event handler
// (shown in a message box; the program goes on), and SIGINT/SIGTERM turned into closing the main
// window, the same path as the user closing it.
#pragma once

#include <QApplication>

class QSocketNotifier;

namespace tessaly {

class TessalyApplication : public QApplication {
    Q_OBJECT
public:
    TessalyApplication(int& argc, char** argv);
    ~TessalyApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // From then on SIGINT and SIGTERM close this window.
    void closeOnTerminationSignals(QWidget* window);

private:
    void showError(const QString& text);
    QSocketNotifier* signalNotifier_ = nullptr;
};

}  // namespace tessaly
