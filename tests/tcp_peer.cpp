#include "tests/tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>

namespace tessaly::testing {

namespace {
constexpr int kPatienceMs = 20000;
}  // namespace

TcpPeer::TcpPeer() : TcpPeer(0) {}

TcpPeer::TcpPeer(int port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
}

TcpPeer::~TcpPeer() {
    if (connection_ >= 0) ::close(connection_);
    stopListening();
}

void TcpPeer::stopListening() {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void TcpPeer::accept() {
    // A peer that never comes, or never sends, fails the test instead of holding it.
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, kPatienceMs) != 1) return;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    const timeval patience{kPatienceMs / 1000, 0};
    ::setsockopt(connection_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
}

void TcpPeer::send(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("peer cannot send");
        sent += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> TcpPeer::receive(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::recv(connection_, bytes.data() + got, count - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

void TcpPeer::closeOrderly() {
    ::close(connection_);
    connection_ = -1;
}

void TcpPeer::reset() {
    const linger hard{1, 0};
    ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    closeOrderly();
}

}  // namespace tessaly::testing
