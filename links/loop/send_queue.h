// How far a socket's peer has taken what was written to it, for telling a peer that reads slowly
// from one that stopped: the kernel tells a writer that it may write again only once much of a
// large send buffer is free, so a slow reader can take bytes for a long time without a write
// completing.
#pragma once

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdint>

namespace tessaly {

// Bytes written to the socket that its peer has not acknowledged yet; -1 when unknown.
inline std::int64_t unacknowledgedBytes(int socket) {
    int count = 0;
    return ::ioctl(socket, SIOCOUTQ, &count) == 0 ? count : -1;
}

// When a peer last took bytes: at each write that completed, and whenever it acknowledged bytes
// since the last look. One thread only (the links' loop).
class PeerProgress {
public:
    using Clock = std::chrono::steady_clock;

    // A write completed, or bytes began to wait for a peer that had nothing to take: its silence
    // counts from now.
    void took(int socket) {
        last_ = Clock::now();
        unacknowledged_ = unacknowledgedBytes(socket);
    }
    // When it last took bytes, counting what it acknowledged since the last look.
    Clock::time_point last(int socket) {
        const std::int64_t now = unacknowledgedBytes(socket);
        if (now >= 0 && now < unacknowledged_) took(socket);
        return last_;
    }

private:
    Clock::time_point last_ = Clock::now();
    std::int64_t unacknowledged_ = -1;
};

}  // namespace tessaly
