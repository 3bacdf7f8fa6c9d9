// tessaly-monitor: the window. An argument ending in ".ini" names the settings file.
#include "app/application.h"
#include "app/form_main.h"

int main(int argc, char** argv) {
    tessaly::TessalyApplication app(argc, argv);
    tessaly::FormOptions options;
    // Qt has taken its own options out of the list by now.
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) options.arguments.push_back(arguments[i].toStdString());
    tessaly::TFormMain form(options);
    app.closeOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
