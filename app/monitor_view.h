// What the monitor shows: the grids of channel A and B, the status line above them and the state
// of the status icon. The decoder writes reports into it; the window paints it and forwards the
// timer and idle notifications. Window's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/channel_grid.h"
#include "monitor/monitor_outputs.h"
#include "app/name_lists.h"

namespace tessaly {

class ReceiverMonitor;

enum class StatusIconKind { Good, Warning };

class MonitorView final : public ReportView, public StatusLine {
public:
    // The window repaints on these: a grid's cells changed, or the status line did.
    std::function<void(Channel)> onGridChanged;
    std::function<void()> onStatusChanged;

    const ChannelGrid& grid(Channel channel) const { return grids_[index(channel)]; }
    const std::string& statusText() const { return statusText_; }

    // Built once the settings are loaded; the titles after them.
    void setNameLists(NameLists lists) { names_ = std::move(lists); }
    const NameLists& nameLists() const { return names_; }
    void setTitles();
    // The user's decimal separator for the C/N0 row.
    void setDecimalSeparator(std::string separator) { decimalSeparator_ = std::move(separator); }

    void markFresh(Channel channel) override { grids_[index(channel)].silentTicks = 0; }
    void showReport(const L6ChannelReport& report, float cnoAverage) override;
    void setStatusText(const std::string& text) override;

    // The one-second timer: a channel silent for five ticks is emptied, once per silence.
    void timerTick();
    void clearValues();

    // Status icon. At start the icon is the good one.
    StatusIconKind iconState() const { return iconGood_ ? StatusIconKind::Good : StatusIconKind::Warning; }
    void markInputClosed() { inputClosed_ = true; }
    void resetIconState() { iconGood_ = true; }
    // The monitor was reset (an input opened, a receiver command ran): the status line, both
    // grids' values and the icon state start afresh.
    void reset() {
        setStatusText("");
        clearValues();
        resetIconState();
    }
    // Runs on the idle notifications on which the link controls are refreshed; does its work at
    // most every 100 ms of the 32-bit millisecond clock. Returns the icon to show, if it changes.
    std::optional<StatusIconKind> idleCheck(std::uint32_t nowMs, bool inputOpen,
                                            ReceiverMonitor& monitor);
    void setLastIdleCheck(std::uint32_t nowMs) { lastIdleCheck_ = nowMs; }

private:
    static int index(Channel channel) { return channel == Channel::A ? 0 : 1; }
    void writeHeaderRows(ChannelGrid& grid, const L6ChannelReport& report) const;
    void changed(Channel channel) {
        if (onGridChanged) onGridChanged(channel);
    }

    ChannelGrid grids_[2];
    NameLists names_;
    std::string decimalSeparator_ = ".";
    std::string statusText_;
    bool iconGood_ = true;
    bool inputClosed_ = false;
    std::uint32_t lastIdleCheck_ = 0;
};

// printf's "%W.Pf" with the given decimal separator, independent of the C locale.
std::string fixedText(double value, int width, int precision, const std::string& separator);

}  // namespace tessaly
