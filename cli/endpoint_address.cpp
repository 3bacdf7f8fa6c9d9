#include "cli/endpoint_address.h"

#include <charconv>

namespace tessaly {
namespace {

// A whole decimal number in [low, high], nothing before or after it.
std::optional<long long> numberIn(std::string_view text, long long low, long long high) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<EndpointAddress> parseTcp(std::string_view rest, std::string& error) {
    // The port follows the last colon; a host never holds one (IPv4 names and addresses only).
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        error = "a TCP endpoint is tcp:HOST:PORT";
        return std::nullopt;
    }
    EndpointAddress address;
    address.host = std::string(rest.substr(0, colon));
    if (address.host.find(':') != std::string::npos) {
        error = "a TCP host holds no ':' (IPv4 only)";
        return std::nullopt;
    }
    const auto port = numberIn(rest.substr(colon + 1), 1, 65535);
    if (!port) {
        error = "a TCP port is a number from 1 to 65535, not '" + std::string(rest.substr(colon + 1)) + "'";
        return std::nullopt;
    }
    address.tcpPort = static_cast<int>(*port);
    return address;
}

std::optional<EndpointAddress> parseSerial(std::string_view rest, std::string& error) {
    EndpointAddress address;
    address.kind = EndpointAddress::Kind::Serial;
    const std::size_t at = rest.find('@');
    std::string_view port = rest.substr(0, at);
    if (at != std::string_view::npos) {
        const auto rate = numberIn(rest.substr(at + 1), 1, 4000000);
        if (!rate) {
            error = "a bit rate is a number from 1 to 4000000, not '" + std::string(rest.substr(at + 1)) + "'";
            return std::nullopt;
        }
        address.bitRate = static_cast<std::int32_t>(*rate);
    }
    const bool named = port.size() > 3 && (port[0] == 'C' || port[0] == 'c') &&
                       (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm');
    const auto number = named ? numberIn(port.substr(3), 1, 99) : std::nullopt;
    if (!number) {
        error = "a serial port is COM1 to COM99, not '" + std::string(port) + "'";
        return std::nullopt;
    }
    address.portNo = static_cast<std::int32_t>(*number);
    return address;
}

}  // namespace

std::optional<EndpointAddress> parseEndpointAddress(std::string_view text, std::string& error) {
    if (text.starts_with("tcp:")) return parseTcp(text.substr(4), error);
    if (text.starts_with("serial:")) return parseSerial(text.substr(7), error);
    error = "an endpoint is tcp:HOST:PORT or serial:COMn[@BAUD], not '" + std::string(text) + "'";
    return std::nullopt;
}

}  // namespace tessaly
