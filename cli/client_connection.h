// One connected client of a command-line server: its non-blocking socket and the bytes queued
// for it. A client that stops reading is not waited for without end: past a cap, queueing fails
// and the server drops it.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <memory>
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

// What a server waits for: new clients on its listening socket, then every client's bytes, and
// room to send where bytes are queued. A Client has a `connection` and a `closed` flag.
template <typename Client>
std::vector<pollfd> clientPollList(int listener, const std::vector<std::unique_ptr<Client>>& clients) {
    std::vector<pollfd> fds;
    fds.push_back({listener, POLLIN, 0});
    for (const auto& client : clients) {
        const short events = static_cast<short>(POLLIN | (client->connection.hasQueued() ? POLLOUT : 0));
        fds.push_back({client->connection.socket(), events, 0});
    }
    return fds;
}

// Reads what each polled client sent into `received(client, block)` and sends what is queued;
// a client whose connection ended or failed is marked closed. Clients accepted after the poll
// are not in `fds`: the polled ones are the first entries.
template <typename Client, typename Received>
void serveClients(const std::vector<pollfd>& fds, std::vector<std::unique_ptr<Client>>& clients,
                  Received received) {
    std::vector<std::uint8_t> block;
    for (std::size_t i = 1; i < fds.size(); ++i) {
        Client& client = *clients[i - 1];
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (client.connection.read(block)) {
                if (!block.empty()) received(client, block);
            } else {
                client.closed = true;
            }
        }
        if (!client.closed && !client.connection.flush()) client.closed = true;
    }
}

}  // namespace tessaly
