#include "tests/test_caster.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <list>
#include <memory>

#include "links/ntrip/chunked_transfer.h"
#include "links/ntrip/ntrip_protocol.h"

namespace tessaly::test {

struct TestCaster::Peer {
    int fd = -1;
    std::string head;  // the request until its blank line
    enum class Role { Asking, Source, Client, Gone } role = Role::Asking;
    bool chunked = false;  // source: its stream; client: what it is sent
    ChunkedDecoder decoder;
};

namespace {

void sendAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void sendText(int fd, const std::string& text) { sendAll(fd, text.data(), text.size()); }

}  // namespace

TestCaster::TestCaster(std::string mount, std::string password, std::string user)
    : mount_(std::move(mount)), password_(std::move(password)), user_(std::move(user)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener_, 8);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

TestCaster::~TestCaster() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void TestCaster::serve() {
    std::list<Peer>& peers = peers_;
    while (!stop_) {
        std::vector<pollfd> waits{{listener_, POLLIN, 0}};
        for (const Peer& p : peers) waits.push_back({p.fd, POLLIN, 0});
        if (::poll(waits.data(), waits.size(), 50) <= 0) continue;
        if (waits[0].revents) {
            peers.emplace_back();
            peers.back().fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        }
        std::size_t i = 1;
        for (Peer& p : peers) {
            if (i < waits.size() && waits[i++].revents) handle(p);
        }
        for (auto it = peers.begin(); it != peers.end();) {
            if (it->role != Peer::Role::Gone) {
                ++it;
                continue;
            }
            ::close(it->fd);
            it = peers.erase(it);
        }
        std::lock_guard lock(mutex_);
        clients_ = 0;
        for (const Peer& p : peers) clients_ += p.role == Peer::Role::Client;
    }
    for (const Peer& p : peers) ::close(p.fd);
}

void TestCaster::handle(Peer& peer) {
    char buffer[4096];
    const ssize_t got = ::recv(peer.fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
        if (peer.role == Peer::Role::Source) {
            std::lock_guard lock(mutex_);
            sourceUp_ = false;
        }
        peer.role = Peer::Role::Gone;
        return;
    }
    if (peer.role == Peer::Role::Client) return;  // a client's position reports mean nothing here
    std::vector<std::uint8_t> stream;
    if (peer.role == Peer::Role::Asking) {
        peer.head.append(buffer, static_cast<std::size_t>(got));
        const auto end = peer.head.find("\r\n\r\n");
        if (end == std::string::npos) return;
        stream.assign(peer.head.begin() + static_cast<std::ptrdiff_t>(end + 4), peer.head.end());
        peer.head.resize(end + 2);
        admit(peer);
        if (peer.role != Peer::Role::Source) return;
    } else {
        stream.assign(buffer, buffer + got);
    }
    std::vector<std::uint8_t> decoded;
    if (peer.chunked) {
        peer.decoder.feed(stream, decoded);
    } else {
        decoded = std::move(stream);
    }
    std::lock_guard lock(mutex_);
    received_.insert(received_.end(), decoded.begin(), decoded.end());
    relay(decoded);
}

void TestCaster::relay(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    for (const Peer& p : peers_) {
        if (p.role != Peer::Role::Client) continue;
        if (p.chunked) {
            const auto chunk = chunkOf(bytes);
            sendAll(p.fd, chunk.data(), chunk.size());
        } else {
            sendAll(p.fd, bytes.data(), bytes.size());
        }
    }
}

void TestCaster::admit(Peer& peer) {
    const std::string& head = peer.head;
    const std::string first = head.substr(0, head.find("\r\n"));
    const bool revision2 = head.find("\r\nNtrip-Version: Ntrip/2.0\r\n") != std::string::npos;
    const bool authorized = head.find("\r\nAuthorization: Basic " + base64(user_ + ":" + password_) + "\r\n") != std::string::npos;
    const auto refuse = [&](const std::string& reply) {
        sendText(peer.fd, reply);
        peer.role = Peer::Role::Gone;
    };
    if (first.starts_with("SOURCE ") || first.starts_with("POST ")) {
        // Casters in the field take the mountpoint with or without its '/', and sources send both.
        const bool rev1Ok = first == "SOURCE " + password_ + " /" + mount_ || first == "SOURCE " + password_ + " " + mount_;
        const bool rev2Ok = !user_.empty() && first == "POST /" + mount_ + " HTTP/1.1" && revision2 && authorized;
        if (!rev1Ok && !rev2Ok) {
            return refuse(first.starts_with("SOURCE") ? "ERROR - Bad Password\r\n" : "HTTP/1.1 401 Unauthorized\r\n\r\n");
        }
        sendText(peer.fd, rev2Ok ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\n\r\n" : "ICY 200 OK\r\n");
        peer.role = Peer::Role::Source;
        peer.chunked = rev2Ok && head.find("\r\nTransfer-Encoding: chunked\r\n") != std::string::npos;
        std::lock_guard lock(mutex_);
        sourceUp_ = true;
        sourceLine_ = first;
        return;
    }
    if (!first.starts_with("GET /" + mount_ + " HTTP/1.")) {
        return refuse("SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\nSTR;" + mount_ + ";\r\nENDSOURCETABLE\r\n");
    }
    sendText(peer.fd, revision2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nTransfer-Encoding: chunked\r\n\r\n"
                                : "ICY 200 OK\r\n");
    peer.role = Peer::Role::Client;
    peer.chunked = revision2;
}

bool TestCaster::waitFor(const std::function<bool()>& holds, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (holds()) return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool TestCaster::waitForSource(std::chrono::milliseconds limit) const {
    return waitFor([this] { return sourceUp_; }, limit);
}
bool TestCaster::waitForClients(std::size_t count, std::chrono::milliseconds limit) const {
    return waitFor([this, count] { return clients_ >= count; }, limit);
}
bool TestCaster::waitForBytes(std::size_t count, std::chrono::milliseconds limit) const {
    return waitFor([this, count] { return received_.size() >= count; }, limit);
}

std::vector<std::uint8_t> TestCaster::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string TestCaster::sourceLine() const {
    std::lock_guard lock(mutex_);
    return sourceLine_;
}

}  // namespace tessaly::test
