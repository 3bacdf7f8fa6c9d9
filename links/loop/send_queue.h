// How much a socket's peer has not taken yet, for telling a peer that reads slowly from one that
// stopped: the kernel tells a writer that it may write again only once much of a large send
// buffer is free, so a slow reader can take bytes for a long time without a write completing.
#pragma once

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace tessaly {

// Bytes written to the socket that its peer has not acknowledged yet; -1 when unknown.
inline std::int64_t unacknowledgedBytes(int socket) {
    int count = 0;
    return ::ioctl(socket, SIOCOUTQ, &count) == 0 ? count : -1;
}

}  // namespace tessaly
