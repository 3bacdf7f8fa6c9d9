#include "links/tcp_server_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaly {

struct TcpServerLink::Server {
    struct Client {
        int fd = -1;
        std::string peer;
        std::vector<std::uint8_t> queue;  // guarded by Server::mutex
        std::size_t sent = 0;             // of queue; guarded by Server::mutex
        bool overflowed = false;          // guarded by Server::mutex
        bool gone = false;                // guarded by Server::mutex: no longer served
        // When it last took bytes, came, or was given bytes with none waiting; guarded by Server::mutex.
        std::chrono::steady_clock::time_point lastTaken = std::chrono::steady_clock::now();
        std::size_t waiting() const { return queue.size() - sent; }
    };

    int listener = -1;
    int wakeFd = -1;  // eventfd: bytes were queued, or the server is to stop
    int spareFd = -1;  // held for the moment the process has no descriptor left to accept with
    std::mutex mutex;
    std::condition_variable roomMade;  // a client took bytes, or left
    std::vector<std::shared_ptr<Client>> clients;  // guarded by mutex; oldest first
    bool stopping = false;                         // guarded by mutex
    std::atomic<std::uint64_t> count{0}, dropped{0}, ignored{0};

    ~Server() {
        for (const auto& client : clients) ::close(client->fd);
        if (listener >= 0) ::close(listener);
        if (wakeFd >= 0) ::close(wakeFd);
        if (spareFd >= 0) ::close(spareFd);
    }
    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    }
    bool isStopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }
};

namespace {

using Server = TcpServerLink::Server;
using Client = Server::Client;
// Moving the unsent rest to the front of a queue costs a copy; done once this much was sent.
constexpr std::size_t kCompactAfter = 64 * 1024;
// A client whose queue is full and that has taken nothing for this long has stopped reading.
// One that still reads is waited for: a burst from a fast input is no reason to drop a rover.
constexpr auto kStalledAfter = std::chrono::milliseconds(500);

int listenOn(const std::string& host, int port, std::string& error) {
    const std::string where = host + ":" + std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (port < 1 || port > 65535 ||
        ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = "cannot listen on " + where + ": no such address";
        return -1;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// Null when no client waits or none can be taken; `error` is then accept's errno.
std::shared_ptr<Client> acceptOne(int listener, int& error) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
    error = fd < 0 ? errno : 0;
    if (fd < 0) return nullptr;
    // Corrections are small blocks that must not wait for the rover's acknowledgement.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    auto client = std::make_shared<Client>();
    client->fd = fd;
    client->peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
    return client;
}

// Sends what the client's queue holds without waiting. False when the client is gone.
bool sendQueued(Client& client) {
    while (client.waiting() > 0) {
        const ssize_t n = ::send(client.fd, client.queue.data() + client.sent, client.waiting(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.sent += static_cast<std::size_t>(n);
            client.lastTaken = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return false;
    }
    if (client.sent == client.queue.size() || client.sent >= kCompactAfter) {
        client.queue.erase(client.queue.begin(), client.queue.begin() + static_cast<std::ptrdiff_t>(client.sent));
        client.sent = 0;
    }
    return true;
}

class ServerThread {
public:
    ServerThread(std::shared_ptr<Server> server, std::shared_ptr<OwnerThread> owner, TcpServerHandlers handlers,
                 TcpServerConfig config)
        : server_(std::move(server)), owner_(std::move(owner)), handlers_(std::move(handlers)), config_(config) {}

    void run() {
        std::vector<std::uint8_t> block(config_.blockCap);
        while (!server_->isStopping()) {
            std::vector<std::shared_ptr<Client>> clients;
            std::vector<pollfd> waits{{server_->wakeFd, POLLIN, 0}, {server_->listener, POLLIN, 0}};
            {
                std::lock_guard lock(server_->mutex);
                clients = server_->clients;
                for (const auto& c : clients) waits.push_back({c->fd, static_cast<short>(POLLIN | (c->waiting() ? POLLOUT : 0)), 0});
            }
            if (::poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) break;
            if (waits[0].revents) {
                std::uint64_t wakes = 0;
                [[maybe_unused]] const auto got = ::read(server_->wakeFd, &wakes, sizeof wakes);
            }
            if (waits[1].revents) acceptWaiting();
            for (std::size_t i = 0; i < clients.size(); ++i) serveClient(clients[i], waits[i + 2].revents, block);
        }
        std::lock_guard lock(server_->mutex);
        for (const auto& client : server_->clients) ::shutdown(client->fd, SHUT_RDWR);
    }

private:
    void note(std::string text) {
        owner_->post([note = handlers_.clientNote, text = std::move(text)] {
            if (note) note(text);
        });
    }

    void acceptWaiting() {
        int error = 0;
        while (auto client = acceptOne(server_->listener, error)) {
            std::unique_lock lock(server_->mutex);
            if (config_.singleSource && !server_->clients.empty()) {
                lock.unlock();
                ::close(client->fd);
                note("refused " + client->peer + ": a source is connected");
                continue;
            }
            if (server_->clients.size() >= clientsAllowed()) {
                lock.unlock();
                ::close(client->fd);
                refused();
                continue;
            }
            server_->clients.push_back(client);
            server_->count = server_->clients.size();
            lock.unlock();
            owner_->post([connected = handlers_.clientConnected, peer = client->peer] {
                if (connected) connected(peer);
            });
        }
        if (error == EMFILE || error == ENFILE) refuseForLackOfDescriptors();
    }

    // The clients leave room under the descriptor limit for what the program opens besides
    // them: a reconnect of its input, a log file.
    static std::size_t clientsAllowed() {
        constexpr rlim_t kReserve = 32;
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
        return static_cast<std::size_t>(files.rlim_cur > 2 * kReserve ? files.rlim_cur - kReserve : files.rlim_cur / 2);
    }

    // With no descriptor left the waiting client could not be taken, and the listener would be
    // ready again at once, for ever: the spare descriptor makes room to take it and close it.
    void refuseForLackOfDescriptors() {
        if (server_->spareFd >= 0) ::close(server_->spareFd);
        const int fd = ::accept4(server_->listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) ::close(fd);
        server_->spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        refused();
        // Another thread took the room first: wait a little rather than spin on the listener.
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    // Told for the first and then every hundredth, as rovers that retry would flood the log.
    void refused() {
        if (refused_++ % 100 == 0) {
            note("refused a client (" + std::to_string(refused_) +
                 " so far): the bridge is at its file descriptor limit; raise it (LimitNOFILE=)");
        }
    }

    void serveClient(const std::shared_ptr<Client>& client, short revents, std::vector<std::uint8_t>& block) {
        std::string gone;
        {
            std::lock_guard lock(server_->mutex);
            if (client->overflowed) {
                gone = "dropped " + client->peer + ": it stopped reading and " + std::to_string(config_.clientQueueCap) +
                       " bytes waited for it";
                server_->dropped++;
            } else if ((revents & POLLOUT) && !sendQueued(*client)) {
                gone = client->peer + " left";
            }
        }
        server_->roomMade.notify_all();
        if (gone.empty() && (revents & (POLLIN | POLLHUP | POLLERR))) gone = receive(client, block);
        if (gone.empty()) return;
        std::lock_guard lock(server_->mutex);
        auto& all = server_->clients;
        client->gone = true;
        std::erase(all, client);
        server_->count = all.size();
        ::close(client->fd);
        note(gone);
    }

    // Reads what the client sent; returns why it is gone, or nothing.
    std::string receive(const std::shared_ptr<Client>& client, std::vector<std::uint8_t>& block) {
        const ssize_t got = ::recv(client->fd, block.data(), block.size(), MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
        if (got <= 0) return client->peer + " left";
        bool counts = false;
        {
            std::lock_guard lock(server_->mutex);
            counts = !server_->clients.empty() && server_->clients.front() == client;
        }
        if (!counts) {
            server_->ignored += static_cast<std::uint64_t>(got);
            return {};
        }
        const auto size = static_cast<std::size_t>(got);
        // Forwarded on this thread; after the program's shutdown the block goes nowhere.
        owner_->runBeside([&] { handlers_.blockReceived(LinkBytes(block.data(), size)); });
        return {};
    }

    std::shared_ptr<Server> server_;
    std::shared_ptr<OwnerThread> owner_;
    TcpServerHandlers handlers_;
    TcpServerConfig config_;
    std::uint64_t refused_ = 0;  // clients refused for lack of descriptors
};

}  // namespace

TcpServerLink::TcpServerLink(TcpServerConfig config, std::shared_ptr<OwnerThread> owner, TcpServerHandlers handlers)
    : config_(config), owner_(std::move(owner)), handlers_(std::move(handlers)) {}

TcpServerLink::~TcpServerLink() { close(); }

bool TcpServerLink::listen(const std::string& host, int port, std::string& error) {
    close();
    const int fd = listenOn(host, port, error);
    if (fd < 0) return false;
    auto server = std::make_shared<Server>();
    server->listener = fd;
    server->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    server->spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    server_ = server;
    // The thread keeps the server alive after a close and lets go of it when it ends, which
    // closes the sockets; the owner's shutdown waits for a block it is forwarding.
    std::thread([thread = ServerThread(server, owner_, handlers_, config_)]() mutable { thread.run(); }).detach();
    return true;
}

void TcpServerLink::close() {
    const std::shared_ptr<Server> server = server_.exchange(nullptr);
    if (!server) return;
    {
        std::lock_guard lock(server->mutex);
        server->stopping = true;
    }
    server->wake();
    droppedBefore_ += server->dropped;
    ignoredBefore_ += server->ignored;
}

bool TcpServerLink::listening() const { return server_.load() != nullptr; }

void TcpServerLink::write(LinkBytes block) {
    const auto server = server_.load();
    if (!server || block.empty()) return;
    {
        std::unique_lock lock(server->mutex);
        // A copy: the server thread may let a client go while this write waits for another.
        const auto clients = server->clients;
        for (const auto& client : clients) {
            while (!client->overflowed && !client->gone && client->waiting() + block.size() > config_.clientQueueCap) {
                if (std::chrono::steady_clock::now() - client->lastTaken >= kStalledAfter) {
                    client->overflowed = true;
                    client->queue.clear();
                    client->sent = 0;
                    break;
                }
                server->wake();
                server->roomMade.wait_for(lock, std::chrono::milliseconds(10));
            }
            if (client->overflowed || client->gone) continue;
            // A rover with nothing to take took nothing: its silence counts from now.
            if (client->waiting() == 0) client->lastTaken = std::chrono::steady_clock::now();
            client->queue.insert(client->queue.end(), block.begin(), block.end());
        }
    }
    server->wake();
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
