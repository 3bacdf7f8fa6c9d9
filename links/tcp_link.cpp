#include "links/tcp_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaly {

// One connection's socket and its state, shared by the link and the connection's reader.
struct TcpLink::Connection {
    int fd = -1;
    int stopFd = -1;  // eventfd: tells the reader to end
    std::function<std::vector<std::uint8_t>(LinkBytes)> encode;  // set before the connection is shared
    std::mutex mutex;
    bool connected = false;  // guarded by mutex
    std::mutex writeMutex;   // one block out at a time, whole

    ~Connection() {
        if (fd >= 0) ::close(fd);
        if (stopFd >= 0) ::close(stopFd);
    }
    // Ends the connection once: shuts the socket both ways (the peer sees an orderly close) and
    // wakes the reader. The descriptor itself stays open until the last holder lets go, so it
    // cannot be reused while the other thread still uses it.
    void disconnect() {
        std::lock_guard lock(mutex);
        if (!connected) return;
        connected = false;
        ::shutdown(fd, SHUT_RDWR);
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stopFd, &one, sizeof one);
    }
    bool isConnected() {
        std::lock_guard lock(mutex);
        return connected;
    }
};

namespace {

using Clock = std::chrono::steady_clock;

std::string socketErrorMessage(int error) {
    return "Socket Error # " + std::to_string(error) + "\r\n" + std::strerror(error);
}

bool peerWentAway(int error) {
    return error == ECONNRESET || error == EPIPE || error == ECONNABORTED || error == ESHUTDOWN ||
           error == ENOTCONN;
}

}  // namespace

// The outcome of a connect that runs on a thread of its own, so that name resolution and the
// wait for the peer never hold the window's thread. The moment the peer is there, that thread
// installs the connection in the link itself, so that the writers reach the peer from its first
// byte on, not only once the owner has had its turn.
struct TcpLink::ConnectAttempt {
    std::mutex mutex;
    bool finished = false;   // guarded by mutex
    // Guarded by mutex: the owner gave up (time-out, close, another connect). The thread then
    // touches the link no more, and closes what it connected.
    bool abandoned = false;
    std::shared_ptr<Connection> connection;  // guarded by mutex; installed in the link too
    TcpOpening opening;                      // guarded by mutex
    void abandon() {
        std::lock_guard lock(mutex);
        abandoned = true;
    }
};

namespace {

int connectBlocking(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) return -1;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) return fd;
        if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            int error = 0;
            socklen_t size = sizeof error;
            if (left > 0 && ::poll(&p, 1, static_cast<int>(left)) == 1 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
                return fd;
            }
        }
        ::close(fd);
        if (Clock::now() >= deadline) break;
    }
    return -1;
}

}  // namespace

std::string tcpReaderErrorText(const std::string& prefix, const std::string& message) {
    std::string text = message;
    bool first = true;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, first ? " : " : " ");
        first = false;
    }
    return prefix + text;
}

TcpLink::TcpLink(TcpLinkConfig config, std::shared_ptr<OwnerThread> owner, TcpLinkHandlers handlers)
    : config_(std::move(config)), owner_(std::move(owner)), handlers_(std::move(handlers)) {}

TcpLink::~TcpLink() {
    if (pending_) pending_->abandon();
    if (const auto connection = connection_.load()) connection->disconnect();
}

bool TcpLink::connected() const {
    const auto connection = connection_.load();
    return connection && connection->isConnected();
}

int TcpLink::socketHandle() const {
    const auto connection = connection_.load();
    return connection && connection->isConnected() ? connection->fd : -1;
}

bool TcpLink::TcpConnect(const std::string& host, int port, TcpOpener opener) {
    openingError_.clear();
    if (pending_) pending_->abandon();
    if (const auto old = connection_.load()) old->disconnect();
    connection_.store(nullptr);
    host_ = host;
    port_ = static_cast<std::uint16_t>(port);
    if (host.empty() || port < 1 || port > 65535) return false;

    auto attempt = std::make_shared<ConnectAttempt>();
    pending_ = attempt;
    std::thread([attempt, slot = &connection_, host, port = port_, timeout = config_.connectTimeoutMs,
                 opener = std::move(opener)] {
        const auto began = Clock::now();
        int fd = connectBlocking(host, port, timeout);
        TcpOpening opening;
        if (fd >= 0 && opener) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
            opening = opener(fd, static_cast<std::uint32_t>(std::max<long long>(timeout - spent, 1)));
            if (!opening.error.empty()) {
                ::close(fd);
                fd = -1;
            }
        }
        std::shared_ptr<Connection> connection;
        if (fd >= 0) {
            // A relay must not hold back small writes for the peer's acknowledgement.
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            connection = std::make_shared<Connection>();
            connection->fd = fd;  // closed with the connection
            connection->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            connection->encode = std::move(opening.encode);
            connection->connected = true;
        }
        std::lock_guard lock(attempt->mutex);
        attempt->finished = true;
        if (attempt->abandoned) return;
        // The owner is still waiting for this attempt, so the link is there.
        if (connection) slot->store(connection);
        attempt->connection = std::move(connection);
        attempt->opening = std::move(opening);
    }).detach();

    // The attempt keeps the time-out itself, connect and opening exchange together; the wait here
    // gives it a moment more, so that a peer that connected but did not answer in time is said
    // as such (the opener's error) and not as a connect that failed.
    constexpr auto kGrace = std::chrono::seconds(1);
    const auto deadline = Clock::now() + std::chrono::milliseconds(config_.connectTimeoutMs) + kGrace;
    std::shared_ptr<Connection> connection;
    TcpOpening opening;
    for (;;) {
        {
            std::lock_guard lock(attempt->mutex);
            // A close or another connect while events ran here: this attempt no longer counts,
            // and whatever it installed was disconnected by them.
            if (attempt->abandoned) return false;
            if (attempt->finished || Clock::now() >= deadline) {
                attempt->abandoned = !attempt->finished;
                connection = attempt->connection;
                opening = std::move(attempt->opening);
                break;
            }
        }
        // Short slices: the attempt has no way to wake the window's event loop by itself.
        if (handlers_.pumpEventsFor) {
            handlers_.pumpEventsFor(10);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    pending_.reset();
    openingError_ = opening.error;
    if (!connection) return false;

    std::thread([connection, owner = owner_, handlers = handlers_, cap = config_.blockCap,
                 prefix = config_.errorPrefix, early = std::move(opening.early), decode = std::move(opening.decode)] {
        std::vector<std::uint8_t> block(cap), decoded;
        // False once the program is going away: the reader ends.
        const auto handOverAll = [&](const std::uint8_t* bytes, std::size_t size) {
            for (std::size_t at = 0; at < size; at += cap) {
                const std::size_t n = std::min(cap, size - at);
                if (!owner->runBeside([&] { handlers.blockReceived(LinkBytes(bytes + at, n)); })) return false;
            }
            return true;
        };
        if (!early.empty() && !handOverAll(early.data(), early.size())) return;
        pollfd waits[2] = {{connection->fd, POLLIN, 0}, {connection->stopFd, POLLIN, 0}};
        for (;;) {
            if (::poll(waits, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (waits[1].revents) break;  // closed by the window
            const ssize_t got = ::recv(connection->fd, block.data(), cap, 0);
            if (got > 0 && decode) {
                decoded.clear();
                const bool intact = decode(LinkBytes(block.data(), static_cast<std::size_t>(got)), decoded);
                if (!handOverAll(decoded.data(), decoded.size())) break;
                if (intact) continue;
                connection->disconnect();
                owner->post([text = prefix + "the stream's transfer coding is broken", failed = handlers.readerFailed] {
                    if (failed) failed(text);
                });
                break;
            }
            if (got > 0) {
                if (!handOverAll(block.data(), static_cast<std::size_t>(got))) break;
                continue;
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            const int error = got < 0 ? errno : 0;
            // The peer closed (everything it sent has been handed over) or reset the connection.
            const bool quiet = got == 0 || peerWentAway(error);
            const bool wasConnected = connection->isConnected();
            connection->disconnect();
            if (!quiet && wasConnected && handlers.readerFailed) {
                owner->post([text = tcpReaderErrorText(prefix, socketErrorMessage(error)),
                             failed = handlers.readerFailed] { failed(text); });
            }
            break;
        }
    }).detach();
    return true;
}

void TcpLink::TcpClose() {
    // A connect waiting on this thread's stack (its events run while it waits) gives up.
    if (pending_) pending_->abandon();
    const auto connection = connection_.load();
    if (!connection || !connection->isConnected()) return;
    // What arrived and was not read yet is discarded, not routed. A block the reader already
    // read is still forwarded and watched.
    std::uint8_t scratch[4096];
    while (::recv(connection->fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
    connection->disconnect();
}

void TcpLink::TcpWrite(LinkBytes block) {
    const auto connection = connection_.load();
    if (block.empty() || !connection || !connection->isConnected()) return;
    std::lock_guard writing(connection->writeMutex);
    std::vector<std::uint8_t> encoded;
    if (connection->encode) {
        encoded = connection->encode(block);
        block = encoded;
    }
    const int fd = connection->fd;
    // A peer that reads slowly is waited for as long as it takes bytes; only one that took none
    // for the whole time-out is given up. The kernel wakes a writer only once much of a large
    // send buffer is free, so the send is tried again at short intervals to see a slow peer's
    // progress.
    constexpr std::chrono::milliseconds::rep kRetryMs = 50;
    auto deadline = Clock::now() + std::chrono::milliseconds(config_.sendTimeoutMs);
    std::size_t sent = 0;
    while (sent < block.size()) {
        const ssize_t n = ::send(fd, block.data() + sent, block.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            deadline = Clock::now() + std::chrono::milliseconds(config_.sendTimeoutMs);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(std::min(left, kRetryMs))) < 0 && errno != EINTR) break;
    }
    if (sent == block.size()) return;
    // The rest of the block cannot follow on this connection without a hole in the middle of the
    // peer's stream: the connection ends after what it took, and the link is lost, said and tried
    // again as a whole.
    const bool wasConnected = connection->isConnected();
    connection->disconnect();
    if (wasConnected && handlers_.readerFailed) {
        owner_->post([text = config_.errorPrefix + "the peer took no bytes for " + std::to_string(config_.sendTimeoutMs) +
                             " ms: the connection ends after " + std::to_string(sent) + " of the block's " +
                             std::to_string(block.size()) + " bytes",
                      failed = handlers_.readerFailed] { failed(text); });
    }
}

}  // namespace tessaly
