// Outputs of receiver stream monitoring that record what they were told, in order.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "monitor/monitor_outputs.h"

namespace tessaly::test {

class RecordingOutputs : public ReportView, public StatusLine, public PairLog, public WallClock {
public:
    void markFresh(Channel channel) override { events.push_back(channel == Channel::A ? "fresh A" : "fresh B"); }
    void showReport(const L6ChannelReport& report, float cnoAverage) override {
        events.push_back("show");
        shown.emplace_back(report, cnoAverage);
    }
    void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
    bool loggingOn() const override { return logging; }
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override {
        events.push_back("pair");
        pairs.emplace_back(previous, current);
    }
    std::chrono::system_clock::time_point now() const override { return clockTime; }

    MonitorOutputs outputs() {
        MonitorOutputs o;
        o.view = this;
        o.statusLine = this;
        o.log = this;
        o.clock = this;
        return o;
    }

    bool logging = true;
    std::chrono::system_clock::time_point clockTime{};
    std::vector<std::string> events;
    std::vector<std::pair<L6ChannelReport, float>> shown;
    std::vector<std::string> statusTexts;
    std::vector<std::pair<L6ChannelReport, L6ChannelReport>> pairs;
};

}  // namespace tessaly::test
