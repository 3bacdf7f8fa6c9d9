// One connected client of a command-line server: its non-blocking socket and the bytes queued
// for it. A client that stops reading is not waited for without end: past a cap, queueing fails
// and the server drops it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/ubx_frame.h"

namespace tessaly {

class ClientConnection {
public:
    ClientConnection(int socket, std::string peer) : socket_(socket), peer_(std::move(peer)) {}
    ~ClientConnection();
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    int socket() const { return socket_; }
    const std::string& peer() const { return peer_; }

    // False when the client already has more queued than it can be trusted to read.
    bool queue(ByteView bytes);
    bool hasQueued() const { return sent_ < outbox_.size(); }
    // Sends what the socket takes now. False when the connection failed.
    bool flush();
    // Reads what arrived into `block`. False at the end of the connection or on an error.
    bool read(std::vector<std::uint8_t>& block);

private:
    static constexpr std::size_t kQueueCap = 8 * 1024 * 1024;

    int socket_;
    std::string peer_;
    std::vector<std::uint8_t> outbox_;
    std::size_t sent_ = 0;
};

}  // namespace tessaly
