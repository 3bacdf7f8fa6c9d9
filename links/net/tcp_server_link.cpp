#include "links/net/tcp_server_link.h"

#include "links/loop/send_queue.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

namespace tessaly {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

// A client with bytes waiting that has taken nothing for this long has stopped reading.
constexpr auto kStalledAfter = std::chrono::milliseconds(500);

// One block as every client's queue holds it: written by the relay once, however many rovers.
using SharedBlock = std::shared_ptr<const std::vector<std::uint8_t>>;

}  // namespace

struct TcpServerLink::Server : std::enable_shared_from_this<Server> {
    struct Client : std::enable_shared_from_this<Client> {
        Client(asio::io_context& io, TcpClientId i) : socket(io), stallTimer(io), id(i) {}
        tcp::socket socket;             // loop
        asio::steady_timer stallTimer;  // loop
        bool stallWatched = false;      // loop
        const TcpClientId id;
        std::string peer;
        std::deque<SharedBlock> queue;  // guarded by Server::mutex; only the loop pops it
        std::size_t queued = 0;         // guarded by Server::mutex
        std::size_t frontSent = 0;      // loop
        bool writing = false;           // guarded by Server::mutex
        bool gone = false;              // guarded by Server::mutex: no longer served
        // When it last took bytes, came, or was given bytes with none waiting; loop.
        PeerProgress progress;
    };

    Server(asio::io_context& i, TcpServerConfig c, std::shared_ptr<OwnerThread> o, TcpServerHandlers h)
        : io(i), acceptor(i), config(c), owner(std::move(o)), handlers(std::move(h)) {}
    ~Server() {
        if (spareFd >= 0) ::close(spareFd);
    }

    asio::io_context& io;
    tcp::acceptor acceptor;  // loop, once listening
    const TcpServerConfig config;
    const std::shared_ptr<OwnerThread> owner;
    const TcpServerHandlers handlers;
    int spareFd = -1;            // held for the moment the process has no descriptor left to accept with
    std::uint64_t refusedCount = 0;  // loop: clients refused for lack of descriptors
    TcpClientId lastId = 0;          // loop
    int port = 0;                    // set before the loop sees the server
    std::vector<std::uint8_t> readBuffer = std::vector<std::uint8_t>(config.blockCap);  // loop
    std::mutex mutex;
    std::vector<std::shared_ptr<Client>> clients;  // guarded by mutex; oldest first
    std::atomic<std::uint64_t> count{0}, dropped{0}, ignored{0};

    void note(std::string text) {
        owner->post([note = handlers.clientNote, text = std::move(text)] {
            if (note) note(text);
        });
    }
    void acceptNext();
    void accepted(const std::shared_ptr<Client>& client);
    void refuseForLackOfDescriptors();
    void refused();
    void readNext(const std::shared_ptr<Client>& client);
    // Loop: to every client, or to the one whose id is `only`.
    void write(const SharedBlock& block, TcpClientId only = 0);
    void writeNext(const std::shared_ptr<Client>& client);
    void watchStall(const std::shared_ptr<Client>& client);
    // Loop: ends the client's connection; `why` is said unless empty.
    void let(const std::shared_ptr<Client>& client, std::string why, bool drop = false);
    void stop();
};

using Server = TcpServerLink::Server;
using Client = Server::Client;

namespace {

// The clients leave room under the descriptor limit for what the program opens besides them: a
// reconnect of its input, a log file.
std::size_t clientsAllowed() {
    constexpr rlim_t kReserve = 32;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
    return static_cast<std::size_t>(files.rlim_cur > 2 * kReserve ? files.rlim_cur - kReserve : files.rlim_cur / 2);
}

}  // namespace

void Server::acceptNext() {
    auto client = std::make_shared<Client>(io, ++lastId);
    acceptor.async_accept(client->socket, [self = shared_from_this(), client](const asio::error_code& error) {
        if (error == asio::error::operation_aborted || !self->acceptor.is_open()) return;
        if (error == asio::error::no_descriptors) return self->refuseForLackOfDescriptors();
        if (!error) self->accepted(client);
        self->acceptNext();
    });
}

void Server::accepted(const std::shared_ptr<Client>& client) {
    asio::error_code failed;
    const tcp::endpoint from = client->socket.remote_endpoint(failed);
    if (failed) return;  // gone before it was looked at
    client->peer = from.address().to_string() + ":" + std::to_string(from.port());
    std::unique_lock lock(mutex);
    if (config.singleSource && !clients.empty()) {
        lock.unlock();
        client->socket.close(failed);
        return note("refused " + client->peer + ": a source is connected");
    }
    if (clients.size() >= clientsAllowed()) {
        lock.unlock();
        client->socket.close(failed);
        return refused();
    }
    // Corrections are small blocks that must not wait for the rover's acknowledgement.
    client->socket.set_option(tcp::no_delay(true), failed);
    clients.push_back(client);
    count = clients.size();
    lock.unlock();
    owner->post([connected = handlers.clientConnected, came = handlers.clientCame, id = client->id, peer = client->peer] {
        if (connected) connected(peer);
        if (came) came(id, peer);
    });
    client->socket.non_blocking(true, failed);
    readNext(client);
}

// With no descriptor left the waiting client could not be taken, and the listener would be ready
// again at once, for ever: the spare descriptor makes room to take it and close it.
void Server::refuseForLackOfDescriptors() {
    if (spareFd >= 0) ::close(spareFd);
    const int fd = ::accept4(acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
    spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    refused();
    // Another part of the program took the room first: wait a little rather than spin.
    auto timer = std::make_shared<asio::steady_timer>(acceptor.get_executor(), std::chrono::milliseconds(fd < 0 ? 100 : 0));
    timer->async_wait([self = shared_from_this(), timer](const asio::error_code& error) {
        if (!error && self->acceptor.is_open()) self->acceptNext();
    });
}

// Told for the first and then every hundredth, as rovers that retry would flood the log.
void Server::refused() {
    if (refusedCount++ % 100 == 0) {
        note("refused a client (" + std::to_string(refusedCount) +
             " so far): the bridge is at its file descriptor limit; raise it (LimitNOFILE=)");
    }
}

// A client's bytes are read when they are there, into the one buffer of the server: a thousand
// rovers that hardly ever speak hold no read buffer each.
void Server::readNext(const std::shared_ptr<Client>& client) {
    if (handlers.holdReading && handlers.holdReading()) {
        auto timer = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(1));
        timer->async_wait([self = shared_from_this(), client, timer](const asio::error_code& error) {
            if (!error && !client->gone) self->readNext(client);
        });
        return;
    }
    client->socket.async_wait(tcp::socket::wait_read, [self = shared_from_this(), client](const asio::error_code& waited) {
        if (waited == asio::error::operation_aborted) return;
        asio::error_code error = waited;
        std::size_t got = 0;
        if (!error) got = client->socket.read_some(asio::buffer(self->readBuffer), error);
        if (error == asio::error::would_block || error == asio::error::try_again) error = {};
        if (got > 0) {
            const bool apart = static_cast<bool>(self->handlers.clientBlock);
            bool counts = false;
            {
                std::lock_guard lock(self->mutex);
                counts = !client->gone && (apart || (!self->clients.empty() && self->clients.front() == client));
            }
            const LinkBytes block(self->readBuffer.data(), got);
            if (!counts) {
                self->ignored += got;
            } else if (!self->owner->runBeside([&] {
                           if (apart) return self->handlers.clientBlock(client->id, block);
                           self->handlers.blockReceived(block);
                       })) {
                return;  // the program is going away
            }
        }
        if (error == asio::error::operation_aborted) return;
        if (error) return self->let(client, client->peer + " left");
        self->readNext(client);
    });
}

// Loop only. A rover with nothing waiting for it is sent the block at once, without a queue or
// a completion: with a thousand rovers that is most of what the relay does.
void Server::write(const SharedBlock& block, TcpClientId only) {
    std::vector<std::shared_ptr<Client>> all;
    {
        std::lock_guard lock(mutex);
        all = clients;
    }
    for (const auto& client : all) {
        if (only != 0 && client->id != only) continue;
        std::unique_lock lock(mutex);
        if (client->gone) continue;
        if (client->writing) {
            if (client->queued + block->size() > config.clientQueueCap) {
                const std::size_t waiting = client->queued;
                lock.unlock();
                let(client, "dropped " + client->peer + ": it stopped reading or fell behind: " + std::to_string(waiting) +
                                " bytes waited for it", true);
                continue;
            }
            client->queue.push_back(block);
            client->queued += block->size();
            continue;
        }
        lock.unlock();
        const ssize_t sent = ::send(client->socket.native_handle(), block->data(), block->size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(block->size())) continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            let(client, client->peer + " left");
            continue;
        }
        lock.lock();
        client->queue.push_back(block);
        client->queued = block->size();
        client->writing = true;
        lock.unlock();
        client->frontSent = sent > 0 ? static_cast<std::size_t>(sent) : 0;
        // A rover with nothing to take took nothing: its silence counts from now.
        client->progress.took(client->socket.native_handle());
        writeNext(client);
    }
}

void Server::writeNext(const std::shared_ptr<Client>& client) {
    SharedBlock front;
    {
        std::lock_guard lock(mutex);
        if (client->gone || client->queue.empty()) {
            client->writing = false;
            return;
        }
        front = client->queue.front();
    }
    watchStall(client);
    client->socket.async_write_some(
        asio::buffer(front->data() + client->frontSent, front->size() - client->frontSent),
        [self = shared_from_this(), client, front](const asio::error_code& error, std::size_t sent) {
            if (error == asio::error::operation_aborted) return;
            if (error) return self->let(client, client->peer + " left");
            client->frontSent += sent;
            client->progress.took(client->socket.native_handle());
            {
                std::lock_guard lock(self->mutex);
                if (client->frontSent == front->size() && !client->queue.empty()) {
                    client->queued -= front->size();
                    client->queue.pop_front();
                    client->frontSent = 0;
                }
            }
            self->writeNext(client);
        });
}

void Server::watchStall(const std::shared_ptr<Client>& client) {
    if (client->stallWatched) return;
    client->stallWatched = true;
    client->stallTimer.expires_at(client->progress.last(client->socket.native_handle()) + kStalledAfter);
    client->stallTimer.async_wait([self = shared_from_this(), client](const asio::error_code& error) {
        client->stallWatched = false;
        if (error) return;
        std::size_t waiting = 0;
        {
            std::lock_guard lock(self->mutex);
            if (client->gone || client->queue.empty()) return;
            waiting = client->queued;
        }
        // A rover that acknowledged bytes since reads, however slowly.
        if (Clock::now() - client->progress.last(client->socket.native_handle()) < kStalledAfter) {
            return self->watchStall(client);
        }
        self->let(client, "dropped " + client->peer + ": it stopped reading and " + std::to_string(waiting) +
                              " bytes waited for it", true);
    });
}

void Server::let(const std::shared_ptr<Client>& client, std::string why, bool drop) {
    {
        std::lock_guard lock(mutex);
        if (client->gone) return;
        client->gone = true;
        client->queue.clear();
        client->queued = 0;
        std::erase(clients, client);
        count = clients.size();
        if (drop) dropped++;
    }
    asio::error_code ignored;
    client->stallTimer.cancel();
    client->socket.shutdown(tcp::socket::shutdown_both, ignored);
    client->socket.close(ignored);
    if (!why.empty()) note(std::move(why));
    if (handlers.clientLeft) {
        owner->post([left = handlers.clientLeft, id = client->id, drop] { left(id, drop); });
    }
}

void Server::stop() {
    asio::error_code ignored;
    acceptor.close(ignored);
    std::vector<std::shared_ptr<Client>> all;
    {
        std::lock_guard lock(mutex);
        all = clients;
    }
    for (const auto& client : all) let(client, {});
}

TcpServerLink::TcpServerLink(TcpServerConfig config, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                             TcpServerHandlers handlers)
    : loop_(std::move(loop)), config_(config), owner_(std::move(owner)), handlers_(std::move(handlers)) {}

TcpServerLink::~TcpServerLink() { close(); }

bool TcpServerLink::listen(const std::string& host, int port, std::string& error) {
    close();
    const std::string where = host + ":" + std::to_string(port);
    asio::error_code failed;
    tcp::resolver::results_type found;
    if (port >= 0 && port <= 65535) {
        found = tcp::resolver(loop_->context())
                    .resolve(tcp::v4(), host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, failed);
    }
    if (port < 0 || port > 65535 || failed || found.empty()) {
        error = "cannot listen on " + where + ": no such address";
        return false;
    }
    auto server = std::make_shared<Server>(loop_->context(), config_, owner_, handlers_);
    // Not yet shared with the loop: set up here, where the error can be told at once.
    const tcp::endpoint at = found.begin()->endpoint();
    server->acceptor.open(at.protocol(), failed);
    if (!failed) server->acceptor.set_option(tcp::acceptor::reuse_address(true), failed);
    if (!failed) server->acceptor.bind(at, failed);
    if (!failed) server->acceptor.listen(tcp::acceptor::max_listen_connections, failed);
    if (!failed) server->port = server->acceptor.local_endpoint(failed).port();
    if (failed) {
        error = "cannot listen on " + where + ": " + failed.message();
        return false;
    }
    server->spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    server_ = server;
    loop_->post([server] { server->acceptNext(); });
    return true;
}

void TcpServerLink::close() {
    const std::shared_ptr<Server> server = server_.exchange(nullptr);
    if (!server) return;
    loop_->post([server] { server->stop(); });
    droppedBefore_ += server->dropped;
    ignoredBefore_ += server->ignored;
}

bool TcpServerLink::listening() const { return server_.load() != nullptr; }

void TcpServerLink::write(LinkBytes block) { writeTo(0, block); }

void TcpServerLink::writeTo(TcpClientId client, LinkBytes block) {
    const auto server = server_.load();
    if (!server || block.empty()) return;
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(block.begin(), block.end());
    // A TCP input's blocks are read on the loop already; a serial input's come from the owner.
    if (server->io.get_executor().running_in_this_thread()) return server->write(shared, client);
    asio::post(server->io, [server, client, shared = std::move(shared)] { server->write(shared, client); });
}

int TcpServerLink::port() const {
    const auto server = server_.load();
    return server ? server->port : 0;
}

std::uint64_t TcpServerLink::clients() const {
    const auto server = server_.load();
    return server ? server->count.load() : 0;
}
std::uint64_t TcpServerLink::clientsDropped() const {
    const auto server = server_.load();
    return droppedBefore_ + (server ? server->dropped.load() : 0);
}
std::uint64_t TcpServerLink::bytesNotForwarded() const {
    const auto server = server_.load();
    return ignoredBefore_ + (server ? server->ignored.load() : 0);
}

}  // namespace tessaly
