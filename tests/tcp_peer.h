// The far end of a TCP link in tests: a listening socket on 127.0.0.1 that plays a receiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

class TcpPeer {
public:
    TcpPeer();   // listens on a free port
    // Listens on the given port, as a receiver that comes back after a restart.
    explicit TcpPeer(int port);
    ~TcpPeer();
    int port() const { return port_; }
    // Waits for the link to connect.
    void accept();
    void send(const std::vector<std::uint8_t>& bytes);
    // Reads until `count` bytes came or the connection ended.
    std::vector<std::uint8_t> receive(std::size_t count);
    void closeOrderly();
    // Closes with a reset instead of an orderly close.
    void reset();
    void stopListening();

private:
    int listener_ = -1;
    int connection_ = -1;
    int port_ = 0;
};

}  // namespace tessaly::testing
