// What the main window shows, decided without a toolkit: the open and close buttons of both link
// sides with the kind selectors and endpoint fields that follow them, the status line and its
// colour (with the receiver's answer to the last command), the status icon and the rover line.
// The window gathers the facts from its links and the monitor, hands the link and command
// notices and the timer on, and paints what comes back; a face for another platform paints the
// same view.
//
// Window's thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/rover_line.h"
#include "app/ui_texts.h"
#include "app/monitor_view.h"
#include "monitor/rover_monitor.h"
#include "station/command_answers.h"

namespace tessaly {

enum class LinkSide { Input, Output };

// A link as the user sees it: a lost link that is being reopened is still one the user opened.
enum class LinkActivity { Closed, Opening, Open, Reconnecting };

struct LinkFacts {
    LinkActivity activity = LinkActivity::Closed;
    bool serial = true;  // the kind of the link's address, kept after a close
};

// What the model reads from the rest of the window each time it is asked.
struct MainWindowFacts {
    LinkFacts input;
    LinkFacts output;
    std::string monitorStatus;  // the monitor's own status line
    std::uint64_t monitorSkipped = 0;  // relayed bytes the monitor did not see
    StatusIconKind monitorIcon = StatusIconKind::Good;
    UiLanguage language = UiLanguage::English;
};

// The enabled states of one side's link controls.
struct LinkControls {
    bool tcpOpenEnabled = true;
    bool tcpCloseEnabled = false;
    bool serialOpenEnabled = true;
    bool serialCloseEnabled = false;
    bool serialLabelsEnabled = true;  // the "Port" and "Baud" captions of the serial box
    bool kindEnabled = true;  // the kind selectors and every endpoint field of the side
    bool operator==(const LinkControls&) const = default;
};

enum class StatusLineColour { Normal, Red };

struct StatusLineView {
    std::string text;  // UTF-8
    StatusLineColour colour = StatusLineColour::Normal;
    bool operator==(const StatusLineView&) const = default;
};

struct MainWindowView {
    LinkControls input;
    LinkControls output;
    StatusLineView status;
    StatusIconKind icon = StatusIconKind::Good;
    RoverLine rover;
};

class MainWindowModel {
public:
    // A notice of a side's link: lost with a reopen due in `retryIn`, or anything that ends the
    // waiting (a reopen, a loss without reconnecting: `retryIn` zero).
    void linkNoticed(LinkSide side, const std::string& error, std::chrono::milliseconds retryIn);
    // The user's close ends a reconnect too.
    void linkClosedByUser(LinkSide side);

    // The receiver's answer to a command, named as its button is: it stays after the monitor's
    // text, because the command's own monitor reset empties that text and the firmware text
    // replaces it a moment later; the user is still to read what became of the command. Kept
    // until the next command starts or the user closes the input.
    void commandAnswered(const std::string& commandName, CommandAnswer::Kind kind);
    void commandStarted() { commandAnswer_.reset(); }

    // The one-second timer: the rover line follows the rover monitor while the output is open.
    void timerTick(const RoverMonitor& rover, std::uint32_t nowMs, bool outputConnected, UiLanguage language);

    MainWindowView view(const MainWindowFacts& facts) const;

private:
    struct LostLink {
        std::string error;
        std::chrono::milliseconds retryIn;
    };
    static int index(LinkSide side) { return side == LinkSide::Input ? 0 : 1; }
    bool anyLinkLost() const { return lost_[0] || lost_[1]; }
    StatusLineView statusLine(const MainWindowFacts& facts) const;

    struct NamedAnswer {
        std::string commandName;
        CommandAnswer::Kind kind;
    };

    std::optional<LostLink> lost_[2];
    std::optional<NamedAnswer> commandAnswer_;
    RoverLineTicker roverTicker_;
    RoverLine roverLine_;
};

// A side's controls for its link: an active link locks its kind and endpoint, so what the user
// sees in the fields is what the link is using.
LinkControls linkControls(const LinkFacts& link);

}  // namespace tessaly
