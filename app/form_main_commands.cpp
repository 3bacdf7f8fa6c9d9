// The four command buttons: each sends its command text to the L6 receiver, then after a second
// resets the monitor and asks for the firmware version again. The run is timed from the event
// loop, so received data, other runs and the user's clicks go on meanwhile; another button's run
// goes on beside it, and the button of a run under way stays disabled until the run's end. A
// command that clears what the receiver keeps is sent only once the user has said yes.
#include <QLabel>
#include <QPushButton>

#include "app/command_buttons.h"
#include "app/form_main.h"
#include "station/command_risk.h"

namespace tessaly {
namespace {

std::uint16_t messageKey(std::uint8_t messageClass, std::uint8_t messageId) {
    return static_cast<std::uint16_t>(messageClass << 8 | messageId);
}

}  // namespace

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

bool TFormMain::commandConfirmed(const std::string& text, const std::string& name) {
    const CommandRisk risk = commandRisk(text);
    if (risk == CommandRisk::None) return true;
    std::string question = uiText(risk == CommandRisk::ClearsConfiguration ? UiText::ConfirmClearConfiguration
                                                                           : UiText::ConfirmClearNavigationData,
                                  language_);
    question.replace(question.find("%1"), 2, name);
    return askYesNo(QString::fromStdString(question));
}

void TFormMain::commandRun(int index) {
    QPushButton* button = ButtonCmd[index];
    // Disabled while its run is under way: only code can click it then, and that click would
    // only repeat the run. A closing window starts none.
    if (!button->isEnabled() || closing_) return;
    const std::string& text = settings_.commands[static_cast<std::size_t>(index)];
    // The hint names the command as the user knows it; a button without one has its caption.
    const std::string name = (button->toolTip().isEmpty() ? button->text() : button->toolTip()).toStdString();
    if (!commandConfirmed(text, name)) return;
    // The receiver's answers are told by the name of the command that sent the message.
    for (const CommandStep& step : parseCommandText(text)) {
        const CommandBytes& frame = step.frame;
        if (frame.size() >= 4 && frame[0] == kUbxSync1 && frame[1] == kUbxSync2) {
            commandNames_[messageKey(frame[2], frame[3])] = name;
        }
    }
    model_.commandStarted();
    button->setEnabled(false);
    view_.setStatusText(button->toolTip().toStdString());
    // The command's name is on screen before its first frame leaves.
    LabelErr->repaint();
    station_->runReceiverCommand(text, [button] { button->setEnabled(true); });
}

void TFormMain::commandAnswered(const CommandAnswer& answer) {
    const auto named = commandNames_.find(messageKey(answer.messageClass, answer.messageId));
    if (named == commandNames_.end()) return;
    model_.commandAnswered(named->second, answer.kind);
    updateLabelErr();
}

}  // namespace tessaly
