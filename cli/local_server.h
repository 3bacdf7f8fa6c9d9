// What the command-line servers (the simulator, the sink) share: the program's own TCP server
// and I/O loop, listening on 127.0.0.1 only since they play receivers for programs on the same
// machine, the lines about clients coming and going, and the wait for SIGINT or SIGTERM. Their
// whole logic runs on the loop (blocks, clients, timers), one thing after another, so it needs no
// lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include <asio/steady_timer.hpp>

#include "links/loop/io_loop.h"
#include "links/loop/io_loop_owner.h"
#include "links/stop_signals.h"
#include "links/net/tcp_server_link.h"

namespace tessaly {

class LocalServer {
public:
    using Clock = std::chrono::steady_clock;

    // On the loop. A client's blocks come between its coming and its leaving.
    struct Handlers {
        std::function<void(TcpClientId client)> came;
        std::function<void(TcpClientId client, LinkBytes block)> received;
        std::function<void(TcpClientId client)> left;
    };

    // Construct it first in the command, before any thread starts: it takes the stop signals.
    // `name` begins the lines about the clients on `err`.
    LocalServer(std::string name, std::ostream& err);
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free one, see port()); `started` runs on the loop before
    // any client is taken, to say where it listens and start the timers. On failure returns false
    // with one line in `error`.
    bool listen(std::uint16_t port, Handlers handlers, const std::function<void()>& started, std::string& error);
    std::uint16_t port() const { return static_cast<std::uint16_t>(server_->port()); }

    // On the loop, from now until the stop: runs `tick` at `first`, then at each time it returns.
    void repeat(Clock::time_point first, std::function<Clock::time_point()> tick);
    void write(LinkBytes block) { server_->write(block); }
    void writeTo(TcpClientId client, LinkBytes block) { server_->writeTo(client, block); }

    // Waits for SIGINT or SIGTERM and ends the clients. Once it returns no handler and no tick
    // runs any more, so the caller may read its state on its own thread.
    void runUntilStopped();

private:
    void came(TcpClientId client, const std::string& peer);
    void left(TcpClientId client, bool dropped);
    void tickAt(const std::shared_ptr<asio::steady_timer>& timer, std::function<Clock::time_point()> tick);

    const std::string name_;
    std::ostream& err_;
    Handlers handlers_;
    std::map<TcpClientId, std::string> peers_;  // loop
    std::promise<void> stopRequested_;
    StopSignals signals_;  // before the loop's thread starts
    bool stopped_ = false;  // loop
    std::shared_ptr<IoLoop> loop_ = std::make_shared<IoLoop>();
    std::shared_ptr<IoLoopOwner> owner_ = std::make_shared<IoLoopOwner>(*loop_);
    std::unique_ptr<TcpServerLink> server_;
};

}  // namespace tessaly
