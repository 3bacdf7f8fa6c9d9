// tessaly-monitor: the window.
#include "app/application.h"
#include "app/form_main.h"

int main(int argc, char** argv) {
    tessaly::TessalyApplication app(argc, argv);
    tessaly::TFormMain form;
    app.closeOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
