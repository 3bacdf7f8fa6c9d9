// The four command buttons: each sends its command text to the L6 receiver, then after a second
// resets the monitor and asks for the firmware version again. The run is timed from the event
// loop, so received data, other runs and the user's clicks go on meanwhile; another button's run
// goes on beside it, and the button of a run under way stays disabled until the run's end.
#include <QLabel>
#include <QPushButton>

#include "app/command_buttons.h"
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
    // Disabled while its run is under way: only code can click it then, and that click would
    // only repeat the run. A closing window starts none.
    if (!button->isEnabled() || closing_) return;
    button->setEnabled(false);
    view_.setStatusText(button->toolTip().toStdString());
    // The command's name is on screen before its first frame leaves.
    LabelErr->repaint();
    station_->runReceiverCommand(settings_.commands[static_cast<std::size_t>(index)],
                                 [button] { button->setEnabled(true); });
}

}  // namespace tessaly
