// The four command buttons: each sends its command text to the L6 receiver, then after a second
// resets the monitor and asks for the firmware version again.
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "app/command_buttons.h"
#include "app/command_text.h"
#include "app/form_main.h"

namespace tessaly {

void TFormMain::layOutCommandButtons() {
    const CommandButtonLayout layout = layoutCommandButtons(settings_.commands);
    for (std::size_t i = 0; i < layout.buttons.size(); ++i) {
        const CommandButtonLook& look = layout.buttons[i];
        QPushButton* button = ButtonCmd[i];
        button->setVisible(look.visible);
        if (!look.visible) continue;
        button->setText(QString::fromStdString(look.caption));
        if (!look.hint.empty()) button->setToolTip(QString::fromStdString(look.hint));
        button->move(look.left, button->y());
    }
    LabelErr->move(layout.statusLineLeft, LabelErr->y());
}

void TFormMain::commandRun(int index) {
    QPushButton* button = ButtonCmd[index];
    button->setEnabled(false);
    view_.setStatusText(button->toolTip().toStdString());
    QCoreApplication::processEvents();
    sendCommandText(settings_.commands[static_cast<std::size_t>(index)]);
    // The receiver restarts meanwhile; other runs and received data go on during the wait.
    pumpWait(1000);
    monitorReset();
    sendCommandText(kFirmwareVersionPoll);
    button->setEnabled(true);
    QCoreApplication::processEvents();
}

}  // namespace tessaly
