#include "cli/bridge_spec.h"

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

std::optional<LinkSpec> parseTcp(std::string_view rest, std::string& error) {
    // The port follows the last colon; a host never holds one (IPv4 names and addresses only).
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        error = "a TCP endpoint is tcp:HOST:PORT";
        return std::nullopt;
    }
    LinkSpec spec;
    spec.host = std::string(rest.substr(0, colon));
    if (spec.host.find(':') != std::string::npos) {
        error = "a TCP host holds no ':' (IPv4 only)";
        return std::nullopt;
    }
    const auto port = numberIn(rest.substr(colon + 1), 1, 65535);
    if (!port) {
        error = "a TCP port is a number from 1 to 65535, not '" + std::string(rest.substr(colon + 1)) + "'";
        return std::nullopt;
    }
    spec.tcpPort = static_cast<int>(*port);
    return spec;
}

std::optional<LinkSpec> parseSerial(std::string_view rest, std::string& error) {
    LinkSpec spec;
    spec.kind = LinkSpec::Kind::Serial;
    const std::size_t at = rest.find('@');
    std::string_view port = rest.substr(0, at);
    if (at != std::string_view::npos) {
        const auto rate = numberIn(rest.substr(at + 1), 1, 4000000);
        if (!rate) {
            error = "a bit rate is a number from 1 to 4000000, not '" + std::string(rest.substr(at + 1)) + "'";
            return std::nullopt;
        }
        spec.bitRate = static_cast<std::int32_t>(*rate);
    }
    const bool named = port.size() > 3 && (port[0] == 'C' || port[0] == 'c') &&
                       (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm');
    const auto number = named ? numberIn(port.substr(3), 1, 99) : std::nullopt;
    if (!number) {
        error = "a serial port is COM1 to COM99, not '" + std::string(port) + "'";
        return std::nullopt;
    }
    spec.portNo = static_cast<std::int32_t>(*number);
    return spec;
}

}  // namespace

std::optional<LinkSpec> parseLinkSpec(std::string_view text, std::string& error) {
    if (text.starts_with("tcp:")) return parseTcp(text.substr(4), error);
    if (text.starts_with("serial:")) return parseSerial(text.substr(7), error);
    error = "an endpoint is tcp:HOST:PORT or serial:COMn[@BAUD], not '" + std::string(text) + "'";
    return std::nullopt;
}

std::string linkSpecText(const LinkSpec& spec) {
    if (spec.kind == LinkSpec::Kind::Tcp) return "tcp:" + spec.host + ":" + std::to_string(spec.tcpPort);
    return "serial:COM" + std::to_string(spec.portNo) + "@" + std::to_string(spec.bitRate);
}

}  // namespace tessaly
