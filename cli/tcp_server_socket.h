// The listening and client sockets of the command-line servers: non-blocking TCP on 127.0.0.1
// only, since they play receivers for programs on the same machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

// Listens on 127.0.0.1:port (0: a free port). On failure returns nothing and sets `error`.
std::optional<int> listenLocal(std::uint16_t port, std::string& error);
// The port a listening socket got.
std::uint16_t localPort(int socket);
// Accepts one waiting client as a non-blocking socket; nothing when none waits. `peer` gets
// "address:port".
std::optional<int> acceptClient(int listener, std::string& peer);

}  // namespace tessaly
