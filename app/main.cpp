// tessaly-monitor: the window. An argument ending in ".ini" names the settings file.
#include <csignal>
#include <mutex>

#include "app/application.h"
#include "app/form_main.h"
#include "app/window_command_line.h"
#include "links/stop_signals.h"

namespace {

// The application the stop signals reach, while there is one.
struct StopTarget {
    std::mutex mutex;
    tessaly::TessalyApplication* app = nullptr;  // guarded by mutex
    bool early = false;                           // guarded by mutex: a stop before the window
};

}  // namespace

int main(int argc, char** argv) {
    StopTarget target;
    // First, before Qt starts threads of its own, so that SIGINT and SIGTERM reach the watcher.
    const tessaly::StopSignals stopSignals([&target] {
        std::lock_guard lock(target.mutex);
        if (target.app) {
            target.app->requestStop();
        } else {
            target.early = true;
        }
    });
    // Before the application object, which needs a display.
    const tessaly::WindowCommandLine commandLine = tessaly::readWindowCommandLine(argc, argv);
    if (commandLine.exitStatus) return *commandLine.exitStatus;
    // A log file that may not grow (a file size limit) is a full disk to the logs, not death.
    std::signal(SIGXFSZ, SIG_IGN);
    tessaly::TessalyApplication app(argc, argv);
    tessaly::FormOptions options;
    options.arguments = commandLine.arguments;
    tessaly::TFormMain form(options);
    app.closeOnStop(&form);
    {
        std::lock_guard lock(target.mutex);
        target.app = &app;
        if (target.early) app.requestStop();
    }
    form.show();
    const int status = app.exec();
    std::lock_guard lock(target.mutex);
    target.app = nullptr;
    return status;
}
