// Where one side of the headless bridge connects: "tcp:HOST:PORT" (always as TCP client) or
// "serial:COMn[@BAUD]" (a port of the port map). Parsed once from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

inline constexpr std::int32_t kBridgeDefaultBitRate = 115200;

struct EndpointAddress {
    enum class Kind { Tcp, Serial } kind = Kind::Tcp;
    std::string host;              // Tcp
    int tcpPort = 0;               // Tcp: 1 to 65535
    std::int32_t portNo = 0;       // Serial: 1 to 99
    std::int32_t bitRate = kBridgeDefaultBitRate;  // Serial

    bool operator==(const EndpointAddress&) const = default;
};

// On failure returns nothing and sets `error` to one line saying what is wrong.
std::optional<EndpointAddress> parseEndpointAddress(std::string_view text, std::string& error);

// The address as the user writes it, for messages.
std::string endpointAddressText(const EndpointAddress& address);

}  // namespace tessaly
