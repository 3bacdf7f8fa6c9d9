// Receiver stream monitoring as one piece: every block from the input link goes through the frame
// scanner; an L6 message goes to the L6 decoder, the firmware text of a version reply to the
// status line, and every other valid frame is only counted. The window and the headless tools
// hold one of these; the caller forwards the block unchanged after scanBlock returns.
//
// Window's thread only. The outputs must outlive the monitor.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "monitor/frame_scanner.h"
#include "monitor/l6_decoder.h"

namespace tessaly {

struct DroppedFrames {
    std::uint64_t checksum = 0;
    std::uint64_t length = 0;  // over the frame length cap
};

struct ScanCounters {
    std::map<std::uint16_t, std::uint64_t> validFrames;  // by class << 8 | ID
    std::uint64_t framesDropped = 0;     // for any reason
    DroppedFrames framesDroppedBy;
    std::uint64_t shortL6Frames = 0;     // valid, but too short to decode
    std::uint64_t textLinesRemoved = 0;
    std::uint64_t blocksAbandoned = 0;   // an output threw during the scan
    std::uint64_t l6Reports[2] = {0, 0};  // per channel, A and B
};

class ReceiverMonitor final : private ScanObserver {
public:
    explicit ReceiverMonitor(MonitorOutputs outputs);

    void scanBlock(ByteView block) { scanner_.scanBlock(block); }

    UbxFrameScanner& scanner() { return scanner_; }
    L6Decoder& decoder() { return decoder_; }
    const L6Decoder& decoder() const { return decoder_; }
    const ScanCounters& counters() const { return counters_; }
    // The last firmware text a version reply carried.
    const std::optional<std::string>& firmwareText() const { return firmwareText_; }
    // Shown every valid frame after the monitor's own handling: the station looks for the
    // receiver's answers to its commands there.
    void setFrameWatcher(std::function<void(ByteView frame)> watcher) { frameWatcher_ = std::move(watcher); }

private:
    void frameFound(ByteView frame) override;
    void frameDropped(ByteView, DropReason reason) override;
    void textLineRemoved(ByteView) override { ++counters_.textLinesRemoved; }
    void scanAbandoned() override { ++counters_.blocksAbandoned; }

    MonitorOutputs outputs_;
    UbxFrameScanner scanner_;
    L6Decoder decoder_;
    ScanCounters counters_;
    std::optional<std::string> firmwareText_;
    std::function<void(ByteView frame)> frameWatcher_;
};

}  // namespace tessaly
