// A TCP client link to one receiver: the input link to the L6 receiver or the output link to the
// high-precision receiver. Its socket lives on the links' I/O loop: the connect (name lookup,
// connection, the opening exchange of a protocol such as NTRIP) runs there without holding any
// other thread, and every block read is handed to the program on the loop's thread (beside the
// owner, through the OwnerThread seam) before the next read, so the program forwards it without a
// trip to the window's thread. Writes may come from any thread: they queue behind each other
// whole and the loop sends them, so a writer never waits for the peer.
//
// Every connect makes a fresh connection: its socket, its queue and its state live in one shared
// object that the loop's completions hold too, so a completion that outlives a close or the link
// itself touches nothing else. The OwnerThread must outlive the link's connections (the window
// shuts it down before it goes away, which waits for a block being handed over).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "links/loop/io_loop.h"
#include "links/owner_thread.h"

namespace tessaly {

// A block as the links deliver and take it: bytes 0 to 255, never text.
using LinkBytes = std::span<const std::uint8_t>;

struct TcpLinkConfig {
    std::size_t blockCap = 1024;        // largest block read and handed over at once
    std::string errorPrefix = "TCP ";   // starts the reader's error text
    std::uint32_t connectTimeoutMs = 10000;
    // A peer that took no bytes of what waits for it for this long is given up: the connection
    // ends (a lost link, told through readerFailed), since the rest of its stream would follow a
    // hole. A peer that reads slowly is fed every byte.
    std::uint32_t sendTimeoutMs = 3000;
    // What may wait for the peer before a further block ends the connection whole (said the same
    // way): a block is never cut, and a writer never waits. A block larger than this is taken when
    // nothing waits.
    std::size_t writeQueueCap = 16 << 20;
};

// What a protocol spoken over the connection (an NTRIP caster's) agreed in its opening exchange,
// which runs on the loop before the first block is read.
struct TcpOpening {
    std::string error;                   // one line; empty when the peer agreed
    std::vector<std::uint8_t> early;     // stream bytes that came with the reply, already decoded
    // Each block read, before it is handed over; false: the stream is broken and the link closes.
    // Empty: blocks go as read.
    std::function<bool(LinkBytes block, std::vector<std::uint8_t>& out)> decode;
    // Each block written; empty: blocks go as given.
    std::function<std::vector<std::uint8_t>(LinkBytes block)> encode;
};

// The opening exchange, without the socket: the link sends `request`, then feeds what the peer
// answers until the opening is complete. Empty (no `reply`): the connection counts at once.
struct TcpOpener {
    std::string request;
    // Each piece of the answer as it comes; the opening once the answer is complete.
    std::function<std::optional<TcpOpening>(LinkBytes piece)> reply;
    // The peer closed before the answer was complete, or (timedOut) did not complete it in time,
    // or (requestUnsent) closed before it took the request.
    std::function<TcpOpening(bool timedOut, bool requestUnsent)> ended;

    explicit operator bool() const { return static_cast<bool>(reply); }
};

struct TcpLinkHandlers {
    // On the loop, beside the owner: every block read, in order, never empty.
    std::function<void(LinkBytes block)> blockReceived;
    // On the owner thread: a socket failure other than the peer closing. The link is closed.
    std::function<void(const std::string& text)> readerFailed;
    // On the loop, after each block handed on: true while the links it went to have too much
    // waiting for their peers. The next read waits meanwhile, so the peer that sends is slowed
    // down by TCP itself instead of a peer that reads slowly losing bytes.
    std::function<bool()> holdReading;
};

class TcpLink {
public:
    TcpLink(TcpLinkConfig config, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
            TcpLinkHandlers handlers);
    ~TcpLink();
    TcpLink(const TcpLink&) = delete;
    TcpLink& operator=(const TcpLink&) = delete;

    // Resolves the host (IPv4) and connects on the loop, and returns at once: `done` says on the
    // owner thread, from its events and never from within this call, whether the peer is there,
    // within the connect time-out. An empty host or a port outside 1 to 65535 fails. With an
    // opener, the connection counts only once the opener agreed; otherwise its error is kept for
    // openingError(). A close, another connect or the link going away first drops the attempt,
    // and `done` is not called.
    void TcpConnect(const std::string& host, int port, TcpOpener opener, std::function<void(bool connected)> done);
    // Why the opener of the last connect refused; empty when it agreed or there was none.
    const std::string& openingError() const { return openingError_; }
    // Why the last connect found no peer: "connection refused (...)", "unknown host (...)", ...;
    // empty when it connected.
    const std::string& connectError() const { return connectError_; }
    // Discards what was received and not yet handed over, and closes in order. Never fails.
    void TcpClose();
    // Any thread: queues the whole block behind the ones waiting and returns; the loop sends it.
    // A peer that takes nothing within the send time-out, or a queue that cannot take the block,
    // ends the connection.
    void TcpWrite(LinkBytes block);

    bool connected() const;  // any thread
    // Any thread: more waits for the peer than a relay should pile up; the readers that feed this
    // link hold back meanwhile.
    bool backlogged() const;
    static constexpr std::size_t kBacklog = 1 << 20;
    // The connected socket, -1 while closed; for checking its options.
    int socketHandle() const;
    // As given to the last connect.
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }

    struct Connection;
    struct ConnectAttempt;

private:
    void connectFinished(const std::shared_ptr<ConnectAttempt>& attempt);

    std::shared_ptr<IoLoop> loop_;  // first: what is bound to it goes before it
    TcpLinkConfig config_;
    std::shared_ptr<OwnerThread> owner_;
    TcpLinkHandlers handlers_;
    // Replaced by the owner's connects; writers on other threads read it.
    std::atomic<std::shared_ptr<Connection>> connection_;
    // The connect under way; owner thread.
    std::shared_ptr<ConnectAttempt> pending_;
    std::string host_;
    std::uint16_t port_ = 0;
    std::string openingError_;
    std::string connectError_;
};

// "TCP " and a socket error message: its first line break becomes " : ", every further one a
// blank, so the message box shows one line.
std::string tcpReaderErrorText(const std::string& prefix, const std::string& message);

}  // namespace tessaly
