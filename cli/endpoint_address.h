// Where one side of the headless bridge connects: "tcp:HOST:PORT" (always as TCP client) or
// "serial:COMn[@BAUD]" (a port of the port map). Parsed once from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "links/link_address.h"

namespace tessaly {

inline constexpr std::int32_t kBridgeDefaultBitRate = kDefaultLinkBitRate;

using EndpointAddress = LinkAddress;

// On failure returns nothing and sets `error` to one line saying what is wrong.
std::optional<EndpointAddress> parseEndpointAddress(std::string_view text, std::string& error);

inline std::string endpointAddressText(const EndpointAddress& address) { return linkAddressText(address); }

}  // namespace tessaly
