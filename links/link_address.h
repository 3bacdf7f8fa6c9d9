// Where one link connects: a TCP server it dials (the program is the client) or a serial port of
// the port map at a bit rate. The window fills it from its controls, the bridge from its options.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

inline constexpr std::int32_t kDefaultLinkBitRate = 115200;

struct LinkAddress {
    enum class Kind { Tcp, Serial } kind = Kind::Tcp;
    std::string host;              // Tcp
    int tcpPort = 0;               // Tcp: 1 to 65535
    std::int32_t portNo = 0;       // Serial: 1 to 99
    std::int32_t bitRate = kDefaultLinkBitRate;  // Serial

    bool operator==(const LinkAddress&) const = default;
};

// The address as the user writes it on the command line, for messages: "tcp:HOST:PORT" or
// "serial:COMn@BAUD".
std::string linkAddressText(const LinkAddress& address);

}  // namespace tessaly
