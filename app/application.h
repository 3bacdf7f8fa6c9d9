// The application object: one general error handler for errors that escape an event handler
// (shown in a message box; the program goes on), and the stop request of SIGINT/SIGTERM turned
// into closing the main window, the same path as the user closing it.
#pragma once

#include <QApplication>
#include <QPointer>


namespace tessaly {

class TessalyApplication : public QApplication {
    Q_OBJECT
public:
    TessalyApplication(int& argc, char** argv);
    ~TessalyApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // A stop request closes this window.
    void closeOnStop(QWidget* window);
    // Any thread (the stop signals' watcher). Ends every open message box or dialog, closes the
    // window in order and leaves the event loop with status 0.
    void requestStop();
    // While a stop closes the window: nobody may be there to answer a box, so messages go to
    // stderr instead.
    bool stopping() const { return stopping_; }

private:
    void stopNow();
    void showError(const QString& text);
    QPointer<QWidget> window_;
    bool stopPending_ = false;  // a request came before the window
    bool stopping_ = false;
};

}  // namespace tessaly
