// The bridge's status line, one a second on stdout: what each channel reported last, the
// both-failed count, the bytes relayed each way and the frames dropped; as text or as one JSON
// object a line. The tracker is the monitor's report view, on the bridge loop's thread.
#pragma once

#include "monitor/rover_monitor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/monitor_outputs.h"
#include "monitor/receiver_monitor.h"

namespace tessaly {

struct ChannelStatus {
    std::uint8_t errStatus = 0;
    float cno = 0;          // dBHz, of the last report
    float cnoAverage = 0;   // dBHz
    // No report for kSilentAfter: the values above are old news and are not shown.
    bool silent = false;
};

// The last report of each channel since the last monitor reset, and when the channel last spoke.
class ChannelTracker final : public ReportView {
public:
    using Clock = std::chrono::steady_clock;
    // As long as the window keeps a channel's grid after its last report.
    static constexpr auto kSilentAfter = std::chrono::seconds(5);

    explicit ChannelTracker(std::function<Clock::time_point()> now = Clock::now) : now_(std::move(now)) {}
    void markFresh(Channel c) override { heard_[index(c)] = now_(); }
    void showReport(const L6ChannelReport& report, float cnoAverage) override;
    void clear() { channels_[0].reset(), channels_[1].reset(); }
    // Nothing before the first report since the last reset.
    std::optional<ChannelStatus> channel(Channel c) const;

private:
    static int index(Channel c) { return c == Channel::A ? 0 : 1; }

    std::function<Clock::time_point()> now_;
    std::optional<ChannelStatus> channels_[2];
    Clock::time_point heard_[2];
};

// One output of the bridge: its address as written, whether it is open and the input bytes it
// was given. A listening output also counts its clients and the clients it dropped.
struct OutputStatus {
    std::string address;
    bool open = false;
    std::uint64_t bytes = 0;
    std::optional<std::uint64_t> clients, clientsDropped;
};

struct BridgeStatus {
    std::string utcTime;  // "2026-12-09T23:59:59Z", when the line was made
    bool inputOpen = false;
    bool outputOpen = false;  // the first output
    std::vector<OutputStatus> outputs;
    std::optional<ChannelStatus> channelA, channelB;
    std::int64_t bothFailed = 0;
    std::uint64_t bytesToOutput = 0;  // read from the input link
    std::uint64_t bytesToInput = 0;   // read from the output link
    std::uint64_t bytesNotReturned = 0;  // read from the further outputs and dropped
    std::uint64_t framesDropped = 0;
    DroppedFrames framesDroppedBy;
    std::uint64_t csvRowsLost = 0;   // rows the CSV log could not write
    std::uint64_t rawBytesLost = 0;  // bytes the raw captures could not write
    // Relayed bytes the monitor (and with it the raw captures) skipped because it fell behind.
    std::uint64_t monitorBytesSkipped = 0;
    RoverStatus rover;
};

// "2026-12-09T23:59:59Z": ISO 8601 in UTC, as logs and JSON readers take it everywhere.
std::string utcTimeText(std::chrono::system_clock::time_point t);
// "error-free", "erroneous" or "unknown".
std::string errStatusText(std::uint8_t errStatus);
// One line each, without the line end.
std::string statusLineText(const BridgeStatus& status);
std::string statusLineJson(const BridgeStatus& status);

}  // namespace tessaly
