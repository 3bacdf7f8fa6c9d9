// A link on which the program listens and the peers dial in: an output that serves the input
// stream to any number of rovers, or an input that takes one source at a time (a receiver behind
// a serial-to-network box that dials in).
//
// The owner thread listens and closes; writes may come from any thread and never wait: on the
// links' I/O loop a block goes to each client at once, or joins the client's queue behind what
// still waits for it (one copy of the block for all of them). A client
// that took nothing for half a second while bytes waited for it, or that fell further behind than
// its queue holds, is dropped and reported, so a rover that stops reading never slows the relay
// or the other rovers. Bytes from clients count only from the client connected first (bytes of
// several interleaved would break each other's frames); the others' are read and counted, unless
// the program serves each client apart (the command-line simulators), when every client's blocks
// are handed on with the client's id, and a write may go to one client alone. Blocks
// go to the program on the loop's thread, beside the owner; notices reach the owner through the
// OwnerThread seam, which must outlive the server's connections (the program shuts it down
// before it goes away).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "links/loop/io_loop.h"
#include "links/owner_thread.h"
#include "links/net/tcp_link.h"

namespace tessaly {

// Names one client of a server for as long as the server lives; never 0.
using TcpClientId = std::uint64_t;

struct TcpServerConfig {
    bool singleSource = false;        // an input: a second client is refused while one is connected
    std::size_t blockCap = 1024;      // largest block handed over
    std::size_t clientQueueCap = 1 << 20;  // bytes that may wait for one client before it is dropped
};

struct TcpServerHandlers {
    // On the loop's thread, beside the owner: every block of the client whose bytes count, never
    // empty.
    std::function<void(LinkBytes block)> blockReceived;
    // On the owner thread: a client came; `peer` is "address:port".
    std::function<void(const std::string& peer)> clientConnected;
    // On the owner thread: one line about a client that left, was dropped or refused.
    std::function<void(const std::string& text)> clientNote;
    // On the loop: the clients' next reads wait while this is true (see TcpLinkHandlers).
    std::function<bool()> holdReading;

    // For a server that serves each client apart; when clientBlock is set, every client's blocks
    // come there (on the loop's thread, beside the owner) instead of the first client's through
    // blockReceived. The coming and leaving are told on the owner thread; when that is the loop
    // itself (IoLoopOwner), before the client's first block and after its last.
    std::function<void(TcpClientId client, LinkBytes block)> clientBlock;
    std::function<void(TcpClientId client, const std::string& peer)> clientCame;
    std::function<void(TcpClientId client, bool dropped)> clientLeft;  // dropped: for not reading
};

class TcpServerLink {
public:
    TcpServerLink(TcpServerConfig config, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                  TcpServerHandlers handlers);
    ~TcpServerLink();
    TcpServerLink(const TcpServerLink&) = delete;
    TcpServerLink& operator=(const TcpServerLink&) = delete;

    // Listens on host (IPv4; "0.0.0.0" for every interface) and port (0: a free one, see port()).
    // On failure returns false with one line in `error`.
    bool listen(const std::string& host, int port, std::string& error);
    // Ends every client in order and stops listening. Never fails.
    void close();
    bool listening() const;
    // Any thread: queues the block for every connected client and returns.
    void write(LinkBytes block);
    // Any thread: as write, for that client alone; nothing when it is gone.
    void writeTo(TcpClientId client, LinkBytes block);
    // The port listened on (the one the system chose for port 0); 0 when not listening.
    int port() const;

    std::uint64_t clients() const;
    std::uint64_t clientsDropped() const;   // since the link was made
    std::uint64_t bytesNotForwarded() const;  // read from clients whose bytes do not count

    struct Server;

private:
    std::shared_ptr<IoLoop> loop_;  // first: what is bound to it goes before it
    TcpServerConfig config_;
    std::shared_ptr<OwnerThread> owner_;
    TcpServerHandlers handlers_;
    // Replaced by the owner's listen and close; writers on other threads read it.
    std::atomic<std::shared_ptr<Server>> server_;
    std::uint64_t droppedBefore_ = 0, ignoredBefore_ = 0;  // of servers closed earlier
};

}  // namespace tessaly
