// The links of a station and the one rule that moves bytes between them, for the window and the
// bridge alike: every block of the input (the L6 receiver) goes unchanged to every open output,
// and the first output's blocks (the high-precision receiver) go unchanged back to the input.
// The other outputs' bytes, and those of a listening first output's clients unless the station
// allows them, are read and counted but go nowhere: several receivers interleaved would break
// each other's frames, and whoever reaches a listening port first could command the receiver.
//
// The relay runs where the bytes are read (the links' loop, or the owner thread for a serial
// port); the monitors watch a copy on the owner thread. Owner thread: every call but the
// counters and sendToInput.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "links/link_endpoint.h"
#include "links/link_routing.h"
#include "links/loop/io_loop.h"
#include "links/owner_thread.h"

namespace tessaly {

struct StationLinksHooks {
    // Owner thread: the input's bytes and the first output's, in order, for the monitors; and
    // that the monitor skipped some of them (no frame may be pieced together across the gap).
    std::function<void(LinkBytes block)> watchInput;
    std::function<void(LinkBytes block)> watchReturn;
    std::function<void()> inputSkipped;
    std::function<void()> returnSkipped;
    // Owner thread: each batch of the input the monitor took, so that a face repaints once per batch.
    std::function<void()> inputBatchDone;
    // Owner thread. `side` is 0 for the input, 1 for the first output, and so on.
    std::function<void(std::size_t side, const LinkNotice& notice)> noticed;
    std::function<void(std::size_t side, bool connected, const std::string& text)> clientNoticed;
    std::function<void()> processEvents;
};

class StationLinks {
public:
    using Clock = LinkEndpoint::Clock;

    StationLinks(std::size_t outputs, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                 StationLinksHooks hooks);
    StationLinks(const StationLinks&) = delete;
    StationLinks& operator=(const StationLinks&) = delete;

    LinkEndpoint& input() { return *input_; }
    LinkEndpoint& output(std::size_t index = 0) { return *outputs_.at(index)->endpoint; }
    std::size_t outputCount() const { return outputs_.size(); }
    // Every link, the input first.
    std::vector<LinkEndpoint*> all();

    // Whether the clients of a listening first output may speak to the input.
    void setReturnFromServedClients(bool allowed) { returnFromServed_ = allowed; }
    // Any thread: the program's own bytes (a receiver command) to the open input link.
    void sendToInput(LinkBytes block) const { router_->ForwardToInput(block); }
    // A block of the input as its link hands it on: counted and sent to every open output.
    void relayFromInput(LinkBytes block);

    // From the program's timer: notices lost links and reopens them when their attempt is due.
    void supervise(Clock::time_point now);
    // When the next attempt of any link is due.
    std::optional<Clock::time_point> nextAttempt() const;
    void closeAll();
    // Watches what was read and not yet watched, for a program going away.
    void watchTheRest();

    // Any thread.
    std::uint64_t bytesToOutputs() const { return bytesToOutputs_; }
    std::uint64_t bytesToInput() const { return bytesToInput_; }
    // Read from outputs whose bytes go nowhere, a listening output's other clients included.
    std::uint64_t bytesNotReturned() const;
    std::uint64_t bytesWrittenTo(std::size_t output) const { return outputs_.at(output)->bytesWritten; }
    // Bytes the monitors skipped because they were behind.
    std::uint64_t watchSkipped() const;

private:
    struct Output {
        std::unique_ptr<LinkEndpoint> endpoint;
        std::atomic<std::uint64_t> bytesWritten{0};  // input bytes handed to the link
    };

    LinkEndpointHooks hooksOf(std::size_t side);
    void relayFromOutput(std::size_t index, LinkBytes block);

    StationLinksHooks hooks_;
    std::unique_ptr<LinkEndpoint> input_;
    std::vector<std::unique_ptr<Output>> outputs_;  // held by pointer: the writers count into them
    std::unique_ptr<LinkRouter> router_;
    std::atomic<bool> returnFromServed_{false};
    std::atomic<std::uint64_t> bytesToOutputs_{0}, bytesToInput_{0}, bytesNotReturned_{0};
};

}  // namespace tessaly
