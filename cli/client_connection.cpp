#include "cli/client_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tessaly {

ClientConnection::~ClientConnection() { ::close(socket_); }

bool ClientConnection::queue(ByteView bytes) {
    if (outbox_.size() - sent_ + bytes.size() > kQueueCap) return false;
    outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
    return true;
}

bool ClientConnection::flush() {
    while (hasQueued()) {
        const ssize_t put = ::send(socket_, outbox_.data() + sent_, outbox_.size() - sent_,
                                   MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return false;
        }
        sent_ += static_cast<std::size_t>(put);
    }
    if (sent_ == outbox_.size() || sent_ > kQueueCap / 2) {
        outbox_.erase(outbox_.begin(), outbox_.begin() + static_cast<std::ptrdiff_t>(sent_));
        sent_ = 0;
    }
    return true;
}

bool ClientConnection::read(std::vector<std::uint8_t>& block) {
    block.resize(64 * 1024);
    for (;;) {
        const ssize_t got = ::recv(socket_, block.data(), block.size(), 0);
        if (got > 0) {
            block.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        block.clear();
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

}  // namespace tessaly
