// What receiver stream monitoring calls out to while it decodes: the channel grids, the status
// line, the CSV log and the wall clock. The window, the log and the headless tools implement
// them; tests implement them to see what happened. All calls come on the thread that scans the
// input blocks.
#pragma once

#include <chrono>
#include <string>

#include "monitor/l6_report.h"

namespace tessaly {

class ReportView {
public:
    virtual ~ReportView() = default;
    // The report's channel has spoken: its silence count starts again.
    virtual void markFresh(Channel channel) = 0;
    virtual void showReport(const L6ChannelReport& report, float cnoAverage) = 0;
};

// The status line above the grids: the firmware text or the both-failed count.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void setStatusText(const std::string& text) = 0;
};

// Receives every evaluated pair of reports while logging is on.
class PairLog {
public:
    virtual ~PairLog() = default;
    virtual bool loggingOn() const = 0;
    virtual void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) = 0;
};

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    std::chrono::system_clock::time_point now() const override {
        return std::chrono::system_clock::now();
    }
};

// Any of these may be absent; the decoder then skips that call.
struct MonitorOutputs {
    ReportView* view = nullptr;
    StatusLine* statusLine = nullptr;
    PairLog* log = nullptr;
    const WallClock* clock = nullptr;  // absent: the system clock
};

}  // namespace tessaly
