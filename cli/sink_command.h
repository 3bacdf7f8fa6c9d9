// tessaly-cli sink: plays the high-precision receiver as a TCP server on 127.0.0.1. It takes the
// forwarded stream, counts the bytes and the valid UBX frames with the program's own scanner and
// prints a line a second. Its simulated rover answers the L6 messages and sends its solution back
// to the clients, as that receiver's output does; an echo rate adds bytes of its own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

struct SinkOptions {
    std::uint16_t port = 2102;  // 0: a free port, named on stderr
    std::uint32_t echoRate = 0;  // bytes a second sent to each client
};

// Reads the arguments after "sink". On failure returns nothing and sets `error`.
std::optional<SinkOptions> parseSinkOptions(const std::vector<std::string>& args, std::string& error);

// Runs until SIGINT or SIGTERM, then prints the totals. Returns the exit status: 0, or 2 with
// one line on `err`.
int runSink(const SinkOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tessaly
