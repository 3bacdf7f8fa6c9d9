// Where one link connects: a TCP server it dials (the program is the client), a serial port of
// the port map at a bit rate, a TCP port it listens on, or an NTRIP caster's mountpoint it pulls
// from (client) or pushes to (server). The window fills it from its controls and knows the first
// two kinds; the bridge fills it from its options.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

inline constexpr std::int32_t kDefaultLinkBitRate = 115200;

struct LinkAddress {
    enum class Kind { Tcp, Serial, TcpServer, NtripClient, NtripServer } kind = Kind::Tcp;
    std::string host;              // all but Serial; TcpServer: the address it listens on
    int tcpPort = 0;               // all but Serial: 1 to 65535
    std::int32_t portNo = 0;       // Serial: 1 to 99, unless `device` is given
    std::int32_t bitRate = kDefaultLinkBitRate;  // Serial
    std::string mount;             // Ntrip*: the mountpoint, without its '/'
    std::string user, password;    // Ntrip*: empty when not given
    std::string device;            // Serial: a device path opened as it is, beside the port map

    bool operator==(const LinkAddress&) const = default;
};

// The address as the user writes it on the command line, for messages and the status line:
// "tcp:HOST:PORT", "serial:COMn@BAUD" (or "serial:/dev/...@BAUD"), "tcpsvr:HOST:PORT", "ntrip://USER@HOST:PORT/MOUNT" or
// "ntrips://HOST:PORT/MOUNT". A password is never shown: the status goes to logs.
std::string linkAddressText(const LinkAddress& address);

}  // namespace tessaly
