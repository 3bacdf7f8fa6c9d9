#include "monitor/receiver_monitor.h"

namespace tessaly {

ReceiverMonitor::ReceiverMonitor(MonitorOutputs outputs)
    : outputs_(outputs), scanner_(*this), decoder_(outputs) {}

void ReceiverMonitor::frameFound(ByteView frame) {
    const std::uint8_t messageClass = frame[2];
    const std::uint8_t messageId = frame[3];
    ++counters_.validFrames[static_cast<std::uint16_t>(messageClass << 8 | messageId)];
    if (messageClass == kUbxClassRxm && messageId == kUbxIdRxmL6) {
        if (decoder_.decodeFrame(frame)) {
            ++counters_.l6Reports[decoder_.current().channel() == Channel::A ? 0 : 1];
        } else {
            ++counters_.shortL6Frames;
        }
    } else if (messageClass == kUbxClassMon && messageId == kUbxIdMonVer) {
        // The version poll has the same class and ID but no text; only the reply changes anything.
        if (auto text = ubxFirmwareText(frame)) {
            if (outputs_.statusLine) outputs_.statusLine->setStatusText(*text);
            firmwareText_ = std::move(text);
        }
    }
    if (frameWatcher_) frameWatcher_(frame);
}

void ReceiverMonitor::frameDropped(ByteView, DropReason reason) {
    ++counters_.framesDropped;
    ++(reason == DropReason::Length ? counters_.framesDroppedBy.length : counters_.framesDroppedBy.checksum);
}

}  // namespace tessaly
