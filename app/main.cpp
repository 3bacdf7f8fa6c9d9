// tessaly-monitor: the window. An argument ending in ".ini" names the settings file.
#include "app/application.h"
#include "app/form_main.h"
#include "app/window_command_line.h"

int main(int argc, char** argv) {
    // Before the application object, which needs a display.
    const tessaly::WindowCommandLine commandLine = tessaly::readWindowCommandLine(argc, argv);
    if (commandLine.exitStatus) return *commandLine.exitStatus;

    tessaly::TessalyApplication app(argc, argv);
    tessaly::FormOptions options;
    options.arguments = commandLine.arguments;
    tessaly::TFormMain form(options);
    app.closeOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
