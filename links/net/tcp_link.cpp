#include "links/net/tcp_link.h"

#include "links/loop/send_queue.h"

#include <sys/socket.h>

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace tessaly {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

// One connection's socket and its state, shared by the link and the loop's completions. The
// socket, the timer and the fields marked "loop" are touched on the loop's thread only.
struct TcpLink::Connection : std::enable_shared_from_this<Connection> {
    explicit Connection(asio::io_context& context) : io(context), socket(context), stallTimer(context), holdTimer(context) {}

    asio::io_context& io;
    tcp::socket socket;        // loop
    asio::steady_timer stallTimer;  // loop: watches the peer's progress while bytes wait for it
    asio::steady_timer holdTimer;   // loop: the next read while the links fed are backlogged
    bool stallWatched = false;      // loop
    PeerProgress progress;          // loop
    std::size_t frontSent = 0;      // loop: of the queue's first block
    std::vector<std::uint8_t> readBuffer, decoded;  // loop
    int fd = -1;  // the socket's descriptor, for checking its options

    // Set before the connection is shared.
    TcpLinkConfig config;
    std::shared_ptr<OwnerThread> owner;
    TcpLinkHandlers handlers;
    std::function<std::vector<std::uint8_t>(LinkBytes)> encode;
    std::function<bool(LinkBytes, std::vector<std::uint8_t>&)> decode;

    std::mutex mutex;
    bool connected = false;                     // guarded by mutex
    bool writing = false;                       // guarded by mutex: the loop is sending the queue
    bool aborted = false;                       // guarded by mutex: what waits is dropped, not sent
    bool closeWhenSent = false;                 // guarded by mutex: closed by the program meanwhile
    std::deque<std::vector<std::uint8_t>> queue;  // guarded by mutex; only the loop pops it
    std::size_t queuedBytes = 0;                // guarded by mutex

    bool isConnected() {
        std::lock_guard lock(mutex);
        return connected;
    }
    // Any thread: the program's close. What was written before it still goes out (a receiver
    // command right before a close), then the peer sees an orderly close; nothing is read or
    // handed on after the block under way.
    void disconnect() { end(false); }
    // Any thread: the peer went away or failed; what waits for it is dropped.
    void abort() { end(true); }
    // Any thread, once, for a failure the program hears of.
    void fail(const std::string& text) {
        const bool was = isConnected();
        abort();
        if (!was || !handlers.readerFailed) return;
        owner->post([text = config.errorPrefix + text, failed = handlers.readerFailed] { failed(text); });
    }

    void end(bool dropWaiting) {
        {
            std::lock_guard lock(mutex);
            if (dropWaiting) aborted = true;
            if (!connected && !dropWaiting) return;
            connected = false;
        }
        asio::post(io, [self = shared_from_this()] { self->closeSocket(); });
    }
    void closeSocket();
    void startReading(std::vector<std::uint8_t> early);
    void readNext();
    bool handOver(const std::uint8_t* bytes, std::size_t size);
    void read(const asio::error_code& error, std::size_t got);
    void write(LinkBytes bytes);
    void writeNext();
    void watchStall();
    void tookBytes() { progress.took(socket.native_handle()); }
};

namespace {

std::string socketErrorMessage(const asio::error_code& error) {
    return "Socket Error # " + std::to_string(error.value()) + "\r\n" + error.message();
}

// Why a connect failed, in the words a user can act on.
std::string connectFailureText(const asio::error_code& error, bool resolving) {
    if (resolving) {
        if (error == asio::error::host_not_found || error == asio::error::host_not_found_try_again || !error) {
            return "unknown host (check the name, or use its IPv4 address)";
        }
        return "the host name could not be looked up (" + error.message() + ")";
    }
    if (error == asio::error::connection_refused) return "connection refused (nothing listens on that port)";
    if (error == asio::error::timed_out) return "timed out (the host does not answer)";
    if (error == asio::error::network_unreachable || error == asio::error::host_unreachable) {
        return "unreachable (" + error.message() + ")";
    }
    return error.message();
}

// The peer closed or reset the connection: that is a lost link, not a failure to report.
bool peerWentAway(const asio::error_code& error) {
    return error == asio::error::eof || error == asio::error::connection_reset || error == asio::error::broken_pipe ||
           error == asio::error::connection_aborted || error == asio::error::shut_down ||
           error == asio::error::not_connected;
}

}  // namespace

void TcpLink::Connection::closeSocket() {
    {
        std::lock_guard lock(mutex);
        // The writes under way finish first; the last one closes.
        if (writing && !aborted && !queue.empty()) {
            closeWhenSent = true;
            return;
        }
        closeWhenSent = false;
    }
    stallTimer.cancel();
    holdTimer.cancel();
    if (!socket.is_open()) return;
    // What arrived and was not read is discarded first: closing over it would reset the
    // connection instead of closing it in order.
    std::uint8_t scratch[4096];
    while (::recv(socket.native_handle(), scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
    asio::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    std::lock_guard lock(mutex);
    queue.clear();
    queuedBytes = 0;
}

// Reading --------------------------------------------------------------------------------------

void TcpLink::Connection::startReading(std::vector<std::uint8_t> early) {
    readBuffer.resize(config.blockCap);
    if (!early.empty() && !handOver(early.data(), early.size())) return;
    readNext();
}

void TcpLink::Connection::readNext() {
    if (!isConnected()) return;
    if (handlers.holdReading && handlers.holdReading()) {
        // Looked at again shortly: the links it waits for drain on this same loop.
        holdTimer.expires_after(std::chrono::milliseconds(1));
        holdTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error) self->readNext();
        });
        return;
    }
    socket.async_read_some(asio::buffer(readBuffer),
                           [self = shared_from_this()](const asio::error_code& error, std::size_t got) {
                               self->read(error, got);
                           });
}

// False once the program is going away: nothing is read any more.
bool TcpLink::Connection::handOver(const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t at = 0; at < size; at += config.blockCap) {
        const std::size_t n = std::min(config.blockCap, size - at);
        if (!owner->runBeside([&] { handlers.blockReceived(LinkBytes(bytes + at, n)); })) return false;
    }
    return true;
}

void TcpLink::Connection::read(const asio::error_code& error, std::size_t got) {
    // A block read before a close is still handed on: it was the peer's before the close.
    if (got > 0 && decode) {
        decoded.clear();
        const bool intact = decode(LinkBytes(readBuffer.data(), got), decoded);
        if (!handOver(decoded.data(), decoded.size())) return;
        if (!intact) return fail("the stream's transfer coding is broken");
    } else if (got > 0 && !handOver(readBuffer.data(), got)) {
        return;
    }
    if (!error) return readNext();
    if (error == asio::error::operation_aborted) return;
    if (peerWentAway(error)) return abort();
    fail(tcpReaderErrorText("", socketErrorMessage(error)));
}

// Writing --------------------------------------------------------------------------------------

// On the loop with nothing waiting, the block is sent at once: a relay at full speed or a block
// of corrections pays no hand-over to a completion for it.
void TcpLink::Connection::write(LinkBytes bytes) {
    std::unique_lock lock(mutex);
    if (!connected) return;
    if (!writing && io.get_executor().running_in_this_thread()) {
        writing = true;  // no other writer starts meanwhile; what they queue comes after this
        lock.unlock();
        const ssize_t n = ::send(socket.native_handle(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            const asio::error_code error(errno, asio::error::get_system_category());
            return peerWentAway(error) ? abort() : fail(tcpReaderErrorText("", socketErrorMessage(error)));
        }
        const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
        lock.lock();
        if (sent < bytes.size()) {
            queue.emplace_front(bytes.begin() + static_cast<std::ptrdiff_t>(sent), bytes.end());
            queuedBytes += bytes.size() - sent;
        }
        if (queue.empty()) {
            writing = false;
            return;
        }
        lock.unlock();
        tookBytes();
        return writeNext();
    }
    if (!queue.empty() && queuedBytes + bytes.size() > config.writeQueueCap) {
        const std::size_t waiting = queuedBytes;
        lock.unlock();
        return fail("the peer did not keep up: " + std::to_string(waiting) +
                    " bytes were waiting for it; the connection ends before the next block");
    }
    queuedBytes += bytes.size();
    queue.emplace_back(bytes.begin(), bytes.end());
    if (writing) return;
    writing = true;
    lock.unlock();
    asio::post(io, [self = shared_from_this()] {
        self->tookBytes();
        self->writeNext();
    });
}

void TcpLink::Connection::writeNext() {
    std::unique_lock lock(mutex);
    if (aborted || queue.empty()) {
        writing = false;
        const bool closeNow = std::exchange(closeWhenSent, false);
        lock.unlock();
        if (closeNow) closeSocket();
        return;
    }
    // Only this thread pops the queue, so the block stays where it is while it is sent.
    const std::vector<std::uint8_t>& front = queue.front();
    lock.unlock();
    watchStall();
    socket.async_write_some(
        asio::buffer(front.data() + frontSent, front.size() - frontSent),
        [self = shared_from_this()](const asio::error_code& error, std::size_t sent) {
            if (error) {
                if (error == asio::error::operation_aborted || peerWentAway(error)) return self->abort();
                return self->fail(tcpReaderErrorText("", socketErrorMessage(error)));
            }
            self->tookBytes();
            self->frontSent += sent;
            {
                std::lock_guard lock(self->mutex);
                if (self->queue.empty()) return;  // closed meanwhile
                if (self->frontSent == self->queue.front().size()) {
                    self->queuedBytes -= self->queue.front().size();
                    self->queue.pop_front();
                    self->frontSent = 0;
                }
            }
            self->writeNext();
        });
}

// A peer that reads slowly takes bytes without a write completing (see send_queue.h): its progress
// counts from every completion and from every byte it acknowledged, and only a peer that took
// nothing for the whole time-out is given up.
void TcpLink::Connection::watchStall() {
    if (stallWatched) return;
    stallWatched = true;
    const auto timeout = std::chrono::milliseconds(config.sendTimeoutMs);
    stallTimer.expires_at(progress.last(socket.native_handle()) + timeout);
    stallTimer.async_wait([self = shared_from_this(), timeout](const asio::error_code& error) {
        self->stallWatched = false;
        if (error) return;
        std::size_t sent = 0, size = 0;
        {
            std::lock_guard lock(self->mutex);
            if (!self->writing || self->queue.empty()) return;
            sent = self->frontSent;
            size = self->queue.front().size();
        }
        if (Clock::now() - self->progress.last(self->socket.native_handle()) < timeout) return self->watchStall();
        self->fail("the peer took no bytes for " + std::to_string(self->config.sendTimeoutMs) +
                   " ms: the connection ends after " + std::to_string(sent) + " of the block's " + std::to_string(size) +
                   " bytes");
    });
}

// Connecting -----------------------------------------------------------------------------------

// A connect under way on the loop. The moment the peer is there (and agreed, with an opener), the
// loop installs the connection in the link itself, so that the writers reach the peer from its
// first byte on, not only once the owner has had its turn.
struct TcpLink::ConnectAttempt : std::enable_shared_from_this<ConnectAttempt> {
    ConnectAttempt(asio::io_context& io, std::shared_ptr<Connection> c)
        : resolver(io), deadline(io), connection(std::move(c)) {}

    // Loop only.
    tcp::resolver resolver;
    asio::steady_timer deadline;
    std::shared_ptr<Connection> connection;
    TcpOpener opener;
    bool requestSent = false, over = false;
    // Why the connect itself failed; written on the loop before finish(), read by the owner after.
    std::string failure;
    std::vector<std::uint8_t> piece;
    std::atomic<std::shared_ptr<Connection>>* slot = nullptr;  // the link's, while not abandoned
    // Posted to the owner once finished; it checks first that the attempt was not abandoned.
    std::function<void()> finished_;

    std::mutex mutex;
    bool finished = false;  // guarded by mutex
    // Guarded by mutex: the owner gave up (time-out, close, another connect). The loop then
    // touches the link no more, and closes what it connected.
    bool abandoned = false;
    bool agreed = false;   // guarded by mutex
    TcpOpening opening;    // guarded by mutex

    void abandon() {
        std::lock_guard lock(mutex);
        abandoned = true;
    }

    void start(const std::string& host, std::uint16_t port) {
        deadline.expires_after(std::chrono::milliseconds(connection->config.connectTimeoutMs));
        deadline.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error) self->timedOut();
        });
        resolver.async_resolve(tcp::v4(), host, std::to_string(port),
                               [self = shared_from_this()](const asio::error_code& error, tcp::resolver::results_type found) {
                                   if (self->over) return;
                                   if (error || found.empty()) {
                                       self->failure = connectFailureText(error, true);
                                       return self->finish(false, {});
                                   }
                                   self->connect(found);
                               });
    }
    void connect(const tcp::resolver::results_type& found) {
        asio::async_connect(connection->socket, found, [self = shared_from_this()](const asio::error_code& error, const tcp::endpoint&) {
            if (self->over) return;
            if (error) {
                self->failure = connectFailureText(error, false);
                return self->finish(false, {});
            }
            // A relay must not hold back small writes for the peer's acknowledgement.
            asio::error_code ignored;
            self->connection->socket.set_option(tcp::no_delay(true), ignored);
            self->connection->fd = self->connection->socket.native_handle();
            if (!self->opener) return self->finish(true, {});
            self->speak();
        });
    }
    void speak() {
        asio::async_write(connection->socket, asio::buffer(opener.request),
                          [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                              if (self->over) return;
                              if (error) return self->finish(false, self->opener.ended(false, true));
                              self->requestSent = true;
                              self->piece.resize(2048);
                              self->listen();
                          });
    }
    void listen() {
        connection->socket.async_read_some(asio::buffer(piece), [self = shared_from_this()](const asio::error_code& error, std::size_t got) {
            if (self->over) return;
            if (got > 0) {
                if (auto opening = self->opener.reply(LinkBytes(self->piece.data(), got))) {
                    const bool agreed = opening->error.empty();
                    return self->finish(agreed, std::move(*opening));
                }
            }
            if (error) return self->finish(false, self->opener.ended(false, false));
            self->listen();
        });
    }
    void timedOut() {
        if (over) return;
        failure = "no answer within " + std::to_string(connection->config.connectTimeoutMs / 1000) + " s";
        finish(false, opener && connection->fd >= 0 ? opener.ended(true, !requestSent) : TcpOpening{});
    }
    void finish(bool ok, TcpOpening outcome) {
        over = true;
        deadline.cancel();
        resolver.cancel();
        std::lock_guard lock(mutex);
        finished = true;
        if (ok && !abandoned) {
            connection->encode = std::move(outcome.encode);
            connection->decode = std::move(outcome.decode);
            {
                std::lock_guard connected(connection->mutex);
                connection->connected = true;
            }
            // The owner is still waiting for this attempt, so the link is there.
            slot->store(connection);
        } else {
            asio::error_code ignored;
            connection->socket.close(ignored);
        }
        agreed = ok;
        opening = std::move(outcome);
        if (!abandoned) connection->owner->post(std::exchange(finished_, {}));
    }
};

std::string tcpReaderErrorText(const std::string& prefix, const std::string& message) {
    std::string text = message;
    bool first = true;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, first ? " : " : " ");
        first = false;
    }
    return prefix + text;
}

TcpLink::TcpLink(TcpLinkConfig config, std::shared_ptr<IoLoop> loop, std::shared_ptr<OwnerThread> owner,
                 TcpLinkHandlers handlers)
    : loop_(std::move(loop)), config_(std::move(config)), owner_(std::move(owner)), handlers_(std::move(handlers)) {}

TcpLink::~TcpLink() {
    if (pending_) pending_->abandon();
    if (const auto connection = connection_.load()) connection->disconnect();
}

bool TcpLink::connected() const {
    const auto connection = connection_.load();
    return connection && connection->isConnected();
}

bool TcpLink::backlogged() const {
    const auto connection = connection_.load();
    if (!connection) return false;
    std::lock_guard lock(connection->mutex);
    return connection->connected && connection->queuedBytes > kBacklog;
}

int TcpLink::socketHandle() const {
    const auto connection = connection_.load();
    return connection && connection->isConnected() ? connection->fd : -1;
}

void TcpLink::TcpConnect(const std::string& host, int port, TcpOpener opener, std::function<void(bool)> done) {
    openingError_.clear();
    connectError_.clear();
    if (pending_) pending_->abandon();
    if (const auto old = connection_.load()) old->disconnect();
    connection_.store(nullptr);
    host_ = host;
    port_ = static_cast<std::uint16_t>(port);
    const bool valid = !host.empty() && port >= 1 && port <= 65535;

    auto connection = std::make_shared<Connection>(loop_->context());
    connection->config = config_;
    connection->owner = owner_;
    connection->handlers = handlers_;
    auto attempt = std::make_shared<ConnectAttempt>(loop_->context(), connection);
    attempt->opener = std::move(opener);
    attempt->slot = &connection_;
    // The link and `done` are touched only while the attempt is the link's own: a close, another
    // connect and the link's destructor abandon it on the owner thread, where this runs too.
    attempt->finished_ = [this, weak = std::weak_ptr(attempt), done = std::move(done)] {
        const auto attempt = weak.lock();
        if (!attempt) return;
        {
            std::lock_guard lock(attempt->mutex);
            if (attempt->abandoned) return;
        }
        connectFinished(attempt);
        done(connection_.load() != nullptr);
    };
    pending_ = attempt;
    if (!valid) {
        attempt->failure = host.empty() ? "no host given" : "the port is not 1 to 65535";
        loop_->post([attempt] { attempt->finish(false, {}); });
        return;
    }
    loop_->post([attempt, host, port = port_] { attempt->start(host, port); });
}

void TcpLink::connectFinished(const std::shared_ptr<ConnectAttempt>& attempt) {
    pending_.reset();
    TcpOpening opening;
    bool agreed = false;
    {
        std::lock_guard lock(attempt->mutex);
        agreed = attempt->agreed;
        opening = std::move(attempt->opening);
        connectError_ = agreed ? std::string() : attempt->failure;
    }
    openingError_ = opening.error;
    if (!agreed) {
        connection_.store(nullptr);
        return;
    }
    loop_->post([connection = attempt->connection, early = std::move(opening.early)]() mutable {
        connection->startReading(std::move(early));
    });
}

void TcpLink::TcpClose() {
    // A connect waiting on this thread's stack (its events run while it waits) gives up.
    if (pending_) pending_->abandon();
    // What arrived and was not read yet is discarded, not routed. A block already read is still
    // forwarded and watched.
    if (const auto connection = connection_.load()) connection->disconnect();
}

void TcpLink::TcpWrite(LinkBytes block) {
    const auto connection = connection_.load();
    if (block.empty() || !connection || !connection->isConnected()) return;
    // The encoder keeps no state between blocks, so encoding needs no lock.
    std::vector<std::uint8_t> encoded;
    if (connection->encode) {
        encoded = connection->encode(block);
        block = encoded;
    }
    connection->write(block);
}

}  // namespace tessaly
