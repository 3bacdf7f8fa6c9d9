// The window as a relay, for the black-box relay benchmark: opens the TCP output and the TCP
// input through the window's own Open handlers and runs until SIGTERM.
//   window_relay HOST INPUT_PORT OUTPUT_PORT
#include <QLineEdit>
#include <QRadioButton>

#include <iostream>

#include "app/application.h"
#include "app/form_main.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: window_relay HOST INPUT_PORT OUTPUT_PORT\n";
        return 2;
    }
    tessaly::TessalyApplication app(argc, argv);
    tessaly::TFormMain form;
    app.closeOnTerminationSignals(&form);
    form.show();
    form.FormActivate();
    const auto set = [&](const char* name, const char* text) {
        form.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QString::fromLocal8Bit(text));
    };
    form.findChild<QRadioButton*>(QStringLiteral("RadioButtonTCP"))->setChecked(true);
    form.findChild<QRadioButton*>(QStringLiteral("RadioButtonTCP2"))->setChecked(true);
    set("LabeledEditTcpHost2", argv[1]);
    set("LabeledEditTCPport2", argv[3]);
    set("LabeledEditTcpHost", argv[1]);
    set("LabeledEditTcpPort", argv[2]);
    form.ButtonTCPopen2Click();
    form.ButtonTCPopenClick();
    return app.exec();
}
