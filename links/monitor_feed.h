// The bytes of one link on their way to the monitor, which watches beside the relay instead of in
// front of it: the thread that read a block has already forwarded it and only queues a copy here,
// without waiting for the owner thread. The owner thread takes the bytes in order, in blocks of at
// most kBlockCap (the scanner's text-line rule would depend on the block size above that).
//
// The queue is bounded: a block that does not fit while the monitor is behind is skipped for the
// monitor (never for the relay), counted, and said to the owner before the next block it sees, so
// that no frame is stitched together across the gap.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "links/owner_thread.h"
#include "links/net/tcp_link.h"

namespace tessaly {

struct MonitorFeedHooks {
    // Owner thread: the next bytes in order, never empty, at most kBlockCap.
    std::function<void(LinkBytes block)> watch;
    // Owner thread: this many bytes were skipped right before the next block watched.
    std::function<void(std::uint64_t bytes)> skipped;
    // Owner thread: the blocks of one take are watched; the owner's other events come next.
    std::function<void()> batchDone;
};

class MonitorFeed {
public:
    static constexpr std::size_t kBlockCap = 4096;
    // Seconds of a receiver's stream many times over, and tens of milliseconds of a relay at
    // full speed: only a monitor that cannot keep up at all skips.
    static constexpr std::size_t kDefaultCapBytes = 4 << 20;

    MonitorFeed(std::shared_ptr<OwnerThread> owner, MonitorFeedHooks hooks, std::size_t capBytes = kDefaultCapBytes);
    ~MonitorFeed();
    MonitorFeed(const MonitorFeed&) = delete;
    MonitorFeed& operator=(const MonitorFeed&) = delete;

    // Any thread: queues a copy and, when the owner is not already at it, asks it to take the
    // bytes. Never waits for the owner thread.
    void push(LinkBytes block);
    // Owner thread: hands on everything queued now, as the posted takes would.
    void drain();
    // Every byte skipped since the feed was made.
    std::uint64_t skippedBytes() const;

    struct State;

private:
    std::shared_ptr<OwnerThread> owner_;
    std::shared_ptr<State> state_;
};

}  // namespace tessaly
