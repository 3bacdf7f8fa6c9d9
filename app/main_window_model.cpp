#include "app/main_window_model.h"

#include <cstdio>

#include "app/byte_count_text.h"

namespace tessaly {
namespace {

// The seconds to the next attempt let the user see the back-off grow while the link stays away.
std::string lostLinkText(LinkSide side, const std::string& error, std::chrono::milliseconds retryIn,
                         UiLanguage language) {
    char wait[48];
    std::snprintf(wait, sizeof wait, " (%.1f s)", static_cast<double>(retryIn.count()) / 1000.0);
    std::string text = uiText(side == LinkSide::Input ? UiText::InputLinkLost : UiText::OutputLinkLost, language);
    if (!error.empty()) text += ": " + error;
    return text + wait;
}

std::string filledIn(UiText row, const std::string& value, UiLanguage language) {
    std::string text = uiText(row, language);
    text.replace(text.find("%1"), 2, value);
    return text;
}

UiText answerText(CommandAnswer::Kind kind) {
    switch (kind) {
    case CommandAnswer::Kind::Ack:
        return UiText::CommandAcknowledged;
    case CommandAnswer::Kind::Nak:
        return UiText::CommandRefusedByReceiver;
    case CommandAnswer::Kind::None:
        break;
    }
    return UiText::CommandUnanswered;
}

}  // namespace

LinkControls linkControls(const LinkFacts& link) {
    // A link that is lost and being reopened counts as open: its Close button ends the attempts.
    const bool active = link.activity != LinkActivity::Closed;
    const bool tcpActive = active && !link.serial;
    const bool serialActive = active && link.serial;
    LinkControls controls;
    controls.tcpOpenEnabled = !tcpActive;
    controls.tcpCloseEnabled = tcpActive;
    controls.serialOpenEnabled = !serialActive;
    controls.serialCloseEnabled = serialActive;
    controls.serialLabelsEnabled = !serialActive;
    controls.kindEnabled = !active;
    return controls;
}

void MainWindowModel::linkNoticed(LinkSide side, const std::string& error, std::chrono::milliseconds retryIn) {
    if (retryIn.count() > 0) {
        lost_[index(side)] = LostLink{error, retryIn};
    } else {
        lost_[index(side)].reset();
    }
}

void MainWindowModel::linkClosedByUser(LinkSide side) {
    lost_[index(side)].reset();
    if (side == LinkSide::Input) commandAnswer_.reset();
}

void MainWindowModel::commandAnswered(const std::string& commandName, CommandAnswer::Kind kind) {
    commandAnswer_ = NamedAnswer{commandName, kind};
}

void MainWindowModel::timerTick(const RoverMonitor& rover, std::uint32_t nowMs, bool outputConnected,
                                UiLanguage language) {
    roverLine_ = roverTicker_.tick(rover, nowMs, outputConnected, language);
}

StatusLineView MainWindowModel::statusLine(const MainWindowFacts& facts) const {
    // A lost link is what the user must see first, the input's before the output's; the
    // monitor's line comes back once it is open again.
    for (LinkSide side : {LinkSide::Input, LinkSide::Output}) {
        if (const auto& lost = lost_[index(side)]) {
            return {lostLinkText(side, lost->error, lost->retryIn, facts.language), StatusLineColour::Red};
        }
    }
    std::string text = facts.monitorStatus;
    const auto addNote = [&text](const std::string& note) { text += (text.empty() ? "" : " | ") + note; };
    if (commandAnswer_) {
        addNote(filledIn(answerText(commandAnswer_->kind), commandAnswer_->commandName, facts.language));
    }
    if (facts.monitorSkipped != 0) {
        addNote(filledIn(UiText::MonitorSkipped, byteCountText(facts.monitorSkipped), facts.language));
    }
    return {std::move(text), StatusLineColour::Normal};
}

MainWindowView MainWindowModel::view(const MainWindowFacts& facts) const {
    MainWindowView view;
    view.input = linkControls(facts.input);
    view.output = linkControls(facts.output);
    view.status = statusLine(facts);
    // A link being reopened is trouble the user should see at a glance.
    view.icon = anyLinkLost() ? StatusIconKind::Warning : facts.monitorIcon;
    view.rover = roverLine_;
    return view;
}

}  // namespace tessaly
