// Where one side of the headless bridge connects: "tcp:HOST:PORT" (as TCP client),
// "serial:COMn[@BAUD]" (a port of the port map) or "serial:/dev/...[@BAUD]" (a device by its
// path), "tcpsvr:[HOST]:PORT" (listening, on every interface when no host is given), "ntrip://[USER[:PASS]@]HOST[:PORT]/MOUNT" (pulling from an
// NTRIP caster) or "ntrips://[[USER]:PASS@]HOST[:PORT]/MOUNT" (pushing to one). Parsed once from
// the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "links/link_address.h"

namespace tessaly {

inline constexpr std::int32_t kBridgeDefaultBitRate = kDefaultLinkBitRate;
inline constexpr int kNtripDefaultPort = 2101;

using EndpointAddress = LinkAddress;

// On failure returns nothing and sets `error` to one line saying what is wrong.
std::optional<EndpointAddress> parseEndpointAddress(std::string_view text, std::string& error);

inline std::string endpointAddressText(const EndpointAddress& address) { return linkAddressText(address); }

}  // namespace tessaly
