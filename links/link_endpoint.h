// One link of the program, of any kind (a serial port at a bit rate, a TCP client or listener, an
// NTRIP client or source): its open
// and close, its reader, its writer for the routing, and, when the link is lost while the user
// wants it open, its reopening with back-off. The window and the headless bridge each hold one
// per side and put their own texts on top; the state changes reach them through one notice.
//
// The relay runs where the bytes are read: each block goes to `blockRead` on the thread that read
// it (the links' I/O loop, beside the owner; the owner itself for a serial port), which forwards it
// before the next read; the monitor watches a copy on the owner thread, through a bounded
// MonitorFeed that skips for the monitor, never for the relay, when the monitor falls behind.
//
// Owner thread: every call but the writer, the watched blocks and the notices. The writer may be
// used from any thread and on the I/O loop never waits: a serial port's blocks go to the owner
// thread in order through a SerialHandOff. The links' work on the loop reaches the program
// through the OwnerThread seam, which must outlive it (the program shuts it down before it goes
// away, after closing the links).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "links/serial/comm_x.h"
#include "links/link_address.h"
#include "links/link_routing.h"
#include "links/monitor_feed.h"
#include "links/owner_thread.h"
#include "links/reconnect_backoff.h"
#include "links/serial/serial_hand_off.h"
#include "links/net/tcp_link.h"
#include "links/net/tcp_server_link.h"

namespace tessaly {

enum class LinkState {
    Closed,        // the user has not opened it, or closed it
    Opening,       // the user's open waits for the peer
    Open,          // bytes flow
    Reconnecting,  // lost while wanted open; the next attempt is due at nextAttempt()
};

// What changed, for the program to show.
struct LinkNotice {
    enum class What {
        Lost,         // the peer closed or reset, the device went away
        RetryFailed,  // an attempt to open it again failed
        Reopened,
    } what;
    std::string error;                  // one line; empty when the peer closed in order
    std::chrono::milliseconds retryIn{0};  // Lost and RetryFailed while reconnecting
};

struct LinkEndpointHooks {
    // On the thread that read it: every block, in order, never empty, before the next read.
    // Forwards it; must not wait for the owner thread other than through the seam.
    std::function<void(LinkBytes block)> blockRead;
    // Owner thread: the same bytes for the monitor, in order, in blocks of at most
    // MonitorFeed::kBlockCap; `watchSkipped` comes before the first block after bytes the monitor
    // skipped because it was behind. Without `watch` the bytes are only forwarded.
    std::function<void(LinkBytes block)> watch;
    std::function<void(std::uint64_t bytes)> watchSkipped;
    // Owner thread: after each batch of watched blocks, before the owner's other events run.
    std::function<void()> watchBatchDone;
    std::function<void(const LinkNotice& notice)> noticed;
    // A listening link only: a client came (`connected`, the text is its "address:port"), or one
    // line about a client that left, was dropped or was refused. May be left empty.
    std::function<void(bool connected, const std::string& text)> clientNoticed;
    // Lets the program go on with its events while a full serial transmit queue drains.
    std::function<void()> processEvents;
    // On the loop: the other side has too much waiting for its peers; a network link reads no
    // more meanwhile (see TcpLinkHandlers::holdReading). May be left empty.
    std::function<bool()> holdReading;
};

class LinkEndpoint {
public:
    using Clock = ReconnectBackoff::Clock;
    // What a listening output holds for one rover before it is dropped: many minutes of a
    // two-channel L6 stream.
    static constexpr std::size_t kServedQueueCap = 1 << 20;
    // The most one read takes: a relay at full speed pays its per-block costs rarely.
    static constexpr std::size_t kReadCap = 64 * 1024;

    // `isInput` picks the texts of the side.
    // The network links and an open serial port's transmitter and receive watch wait on `loop`.
    LinkEndpoint(bool isInput, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                 LinkEndpointHooks hooks);
    ~LinkEndpoint();
    LinkEndpoint(const LinkEndpoint&) = delete;
    LinkEndpoint& operator=(const LinkEndpoint&) = delete;

    // While lost, the user's wish that it be open is kept and it is opened again with back-off;
    // without, a lost link is closed and reported once.
    void setReconnect(bool on) { reconnect_ = on; }

    // What an open's attempt came to, on the owner thread: empty when the link is open, else one
    // line, and the link is closed (or, for openOrRetry, being reopened).
    using Opened = std::function<void(const std::string& error)>;
    // Closes what is open, then one attempt at `address`, and returns at once: a serial port or a
    // listening link says how it went before this returns, a TCP or NTRIP connect from the
    // owner's events once the peer answered or the time-out passed. Meanwhile the link is Opening.
    // A close or another open first: `opened` is never called.
    void open(const LinkAddress& address, Opened opened);
    // For a station that starts before its peers: as open, but when the attempt fails the link is
    // kept wanted and tried again with back-off (a RetryFailed notice says so, after `opened`).
    void openOrRetry(const LinkAddress& address, Opened opened);
    // The user's close: no more attempts; what was read is still watched. Never fails.
    void close();
    // From the program's timer: notices a lost link and opens it again when its attempt is due.
    void supervise(Clock::time_point now);

    LinkState state() const { return state_; }
    bool isOpen() const;
    // Opening, open, or lost and being reopened: what the user asked for and the settings record.
    bool wanted() const { return state_ != LinkState::Closed; }
    // The address of the last open, also after a close.
    const LinkAddress& address() const { return address_; }
    // Any thread: the kind of the last open, for a relay that runs beside the owner.
    LinkAddress::Kind kind() const { return writeKind_.load(); }
    std::optional<Clock::time_point> nextAttempt() const;

    // Any thread: writes to the link while it is open.
    LinkWriter writer();
    // Watches now what was read and not yet watched (also done by open, close and a loss): for a
    // program going away, once the owner's shutdown has waited for the readers' last blocks.
    void watchTheRest() {
        if (feed_) feed_->drain();
    }
    // Bytes the monitor skipped because it was behind, since the endpoint was made.
    std::uint64_t watchSkipped() const { return feed_ ? feed_->skippedBytes() : 0; }
    // The components underneath, for the window's tests and tools.
    TCommX& serial() { return *serial_; }
    TcpLink& tcp() { return *tcp_; }
    const TcpServerLink& server() const { return *server_; }

private:
    // One attempt at address_; `finished` comes as open() says, unless a close or another attempt
    // came first.
    void attempt(Opened finished);
    void shut();
    void read(LinkBytes block);
    bool writable() const;
    void serialReceive(std::int32_t receiveSize);
    void lost(Clock::time_point now);
    void retryLater(const std::string& error, Clock::time_point now);

    std::shared_ptr<OwnerThread> owner_;
    LinkEndpointHooks hooks_;
    std::unique_ptr<TcpLink> tcp_;
    std::unique_ptr<TcpServerLink> server_;
    std::unique_ptr<TCommX> serial_;
    std::unique_ptr<SerialHandOff> serialHandOff_;  // the writer's way to serial_
    std::unique_ptr<MonitorFeed> feed_;
    std::vector<std::uint8_t> scratch_;  // a serial read's buffer
    LinkAddress address_;
    // What the writer needs on other threads: the kind of the last open, and a serial port's state.
    std::atomic<LinkAddress::Kind> writeKind_{LinkAddress::Kind::Tcp};
    std::atomic<bool> serialWritable_{false};
    LinkState state_ = LinkState::Closed;
    bool reconnect_ = true;
    bool deviceLost_ = false;   // the serial component said so
    bool attempting_ = false;   // a connect under way
    std::uint64_t attempts_ = 0;  // the attempts made; a finish of an earlier one is no news
    std::string readerError_;   // the TCP reader's last failure, for the notice
    ReconnectBackoff backoff_;
};

}  // namespace tessaly
