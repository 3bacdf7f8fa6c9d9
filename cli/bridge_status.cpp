#include "cli/bridge_status.h"

#include "cli/rover_status.h"
#include "monitor/civil_time.h"

#include <cstdio>

namespace tessaly {
namespace {

std::string decimal(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

std::string channelText(const char* name, const std::optional<ChannelStatus>& channel) {
    if (!channel) return std::string(name) + " -";
    if (channel->silent) return std::string(name) + " silent";
    return std::string(name) + " " + errStatusText(channel->errStatus) + " C/N0 " + decimal(channel->cno) +
           " avg " + decimal(channel->cnoAverage);
}

std::string channelJson(const std::optional<ChannelStatus>& channel) {
    if (!channel) return "null";
    if (channel->silent) return "{\"silent\":true}";
    return "{\"silent\":false,\"errStatus\":\"" + errStatusText(channel->errStatus) + "\",\"cno\":" + decimal(channel->cno) +
           ",\"cnoAverage\":" + decimal(channel->cnoAverage) + "}";
}

const char* upDown(bool open) { return open ? "up" : "down"; }

// With one output the line stays as it was; with several, each one's state and bytes.
std::string outputsText(const std::vector<OutputStatus>& outputs) {
    if (outputs.size() < 2) return "";
    std::string text = " | outputs";
    for (const OutputStatus& o : outputs) {
        text += std::string(&o == &outputs.front() ? " " : ", ") + upDown(o.open) + " " + std::to_string(o.bytes) + " B";
        if (o.clients) text += " " + std::to_string(*o.clients) + " clients";
    }
    return text;
}

std::string outputsJson(const std::vector<OutputStatus>& outputs) {
    std::string text = "[";
    for (const OutputStatus& o : outputs) {
        if (&o != &outputs.front()) text += ",";
        // Addresses are host names, ports and mountpoints: no quote or backslash survives parsing.
        text += "{\"address\":\"" + o.address + "\",\"state\":\"" + upDown(o.open) + "\",\"bytes\":" +
                std::to_string(o.bytes);
        if (o.clients) text += ",\"clients\":" + std::to_string(*o.clients);
        if (o.clientsDropped) text += ",\"clientsDropped\":" + std::to_string(*o.clientsDropped);
        text += "}";
    }
    return text + "]";
}

}  // namespace

void ChannelTracker::showReport(const L6ChannelReport& report, float cnoAverage) {
    channels_[index(report.channel())] = ChannelStatus{report.errStatus, report.cno, cnoAverage, false};
}

std::optional<ChannelStatus> ChannelTracker::channel(Channel c) const {
    std::optional<ChannelStatus> status = channels_[index(c)];
    if (status && now_() - heard_[index(c)] >= kSilentAfter) status->silent = true;
    return status;
}

std::string utcTimeText(std::chrono::system_clock::time_point t) {
    const CivilTime c = civilTime(t, true);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.hour, c.minute, c.second);
    return text;
}

std::string errStatusText(std::uint8_t errStatus) {
    if (errStatus == kErrStatusErrorFree) return "error-free";
    if (errStatus == kErrStatusErroneous) return "erroneous";
    return "unknown";
}

std::string statusLineText(const BridgeStatus& s) {
    return s.utcTime + " in " + upDown(s.inputOpen) + ", out " + upDown(s.outputOpen) + " | " +
           channelText("A", s.channelA) + " | " + channelText("B", s.channelB) + " | both-failed " +
           std::to_string(s.bothFailed) + " | in>out " + std::to_string(s.bytesToOutput) + " B, out>in " +
           std::to_string(s.bytesToInput) + " B" + outputsText(s.outputs) + " | dropped " +
           std::to_string(s.framesDropped) +
           (s.monitorBytesSkipped ? " | monitor skipped " + std::to_string(s.monitorBytesSkipped) + " B" : "") + " | " +
           roverStatusText(s.rover);
}

std::string statusLineJson(const BridgeStatus& s) {
    return std::string("{\"input\":\"") + upDown(s.inputOpen) + "\",\"output\":\"" + upDown(s.outputOpen) +
           "\",\"channelA\":" + channelJson(s.channelA) + ",\"channelB\":" + channelJson(s.channelB) +
           ",\"bothFailed\":" + std::to_string(s.bothFailed) + ",\"bytesToOutput\":" +
           std::to_string(s.bytesToOutput) + ",\"bytesToInput\":" + std::to_string(s.bytesToInput) +
           ",\"bytesNotReturned\":" + std::to_string(s.bytesNotReturned) +
           ",\"framesDropped\":" + std::to_string(s.framesDropped) + ",\"framesDroppedBy\":{\"checksum\":" +
           std::to_string(s.framesDroppedBy.checksum) + ",\"length\":" + std::to_string(s.framesDroppedBy.length) +
           "},\"csvRowsLost\":" + std::to_string(s.csvRowsLost) + ",\"rawBytesLost\":" + std::to_string(s.rawBytesLost) +
           ",\"monitorBytesSkipped\":" + std::to_string(s.monitorBytesSkipped) + ",\"rover\":" + roverStatusJson(s.rover) + ",\"outputs\":" + outputsJson(s.outputs) + ",\"time\":\"" + s.utcTime + "\"}";
}

}  // namespace tessaly
