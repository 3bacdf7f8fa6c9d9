#include "cli/endpoint_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

namespace tessaly {
namespace {

// What the user wrote, for an error line: quoted, and cut where it is too long to read (a host
// name pasted with a whole file behind it).
std::string quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    return "'" + std::string(text.substr(0, kShown)) + (text.size() > kShown ? "...'" : "'");
}

// A whole decimal number in [low, high], nothing before or after it.
std::optional<long long> numberIn(std::string_view text, long long low, long long high) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

// A host as the resolver takes it: an IPv4 address in dotted decimal, or a name of labels of
// letters, digits, '-' and '_' between dots. Anything else (a blank, 999.1.1.1) would only be
// tried again and again at every back-off.
bool hostNameOk(std::string_view host) {
    constexpr std::size_t kMaxName = 253, kMaxLabel = 63;
    if (host.empty() || host.size() > kMaxName) return false;
    if (host.find_first_not_of("0123456789.") == std::string_view::npos) {
        in_addr address{};
        return ::inet_pton(AF_INET, std::string(host).c_str(), &address) == 1;
    }
    for (std::size_t from = 0; from <= host.size();) {
        const std::size_t dot = std::min(host.find('.', from), host.size());
        const std::string_view label = host.substr(from, dot - from);
        if (label.empty() || label.size() > kMaxLabel || label.front() == '-' || label.back() == '-' ||
            label.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") !=
                std::string_view::npos) {
            return false;
        }
        from = dot + 1;
    }
    return true;
}

std::optional<EndpointAddress> parseTcp(std::string_view rest, std::string& error, bool listening = false) {
    // The port follows the last colon; a host never holds one (IPv4 names and addresses only).
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || (colon == 0 && !listening)) {
        error = listening ? "a listening endpoint is tcpsvr:[HOST]:PORT" : "a TCP endpoint is tcp:HOST:PORT";
        return std::nullopt;
    }
    EndpointAddress address;
    address.host = std::string(rest.substr(0, colon));
    if (listening) {
        address.kind = EndpointAddress::Kind::TcpServer;
        if (address.host.empty()) address.host = "0.0.0.0";
    }
    if (address.host.find(':') != std::string::npos) {
        error = "a TCP host holds no ':' (IPv4 only)";
        return std::nullopt;
    }
    if (!hostNameOk(address.host)) {
        error = "not a host name or IPv4 address: " + quoted(address.host);
        return std::nullopt;
    }
    const auto port = numberIn(rest.substr(colon + 1), 1, 65535);
    if (!port) {
        error = "a TCP port is a number from 1 to 65535, not " + quoted(rest.substr(colon + 1));
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
            error = "a bit rate is a number from 1 to 4000000, not " + quoted(rest.substr(at + 1));
            return std::nullopt;
        }
        address.bitRate = static_cast<std::int32_t>(*rate);
    }
    // A device path is opened as it is, for a station whose device has a stable name
    // (/dev/serial/by-id/...) and needs no port map.
    if (port.starts_with("/")) {
        // The path goes into status lines and their JSON as it is.
        if (port.size() == 1 || port.find_first_of("\"\\\t\r\n") != std::string_view::npos) {
            error = "not a device path: " + quoted(port);
            return std::nullopt;
        }
        address.device = std::string(port);
        return address;
    }
    const bool named = port.size() > 3 && (port[0] == 'C' || port[0] == 'c') &&
                       (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm');
    const auto number = named ? numberIn(port.substr(3), 1, 99) : std::nullopt;
    if (!number) {
        error = "a serial port is COM1 to COM99 (see tessaly-cli ports --map) or a device path such as "
                "/dev/ttyUSB0, not " + quoted(port);
        return std::nullopt;
    }
    address.portNo = static_cast<std::int32_t>(*number);
    return address;
}

// [USER[:PASS]@]HOST[:PORT]/MOUNT. The credentials end at the last '@', so a password may hold
// one; the mountpoint is what follows the first '/' after them.
std::optional<EndpointAddress> parseNtrip(std::string_view rest, EndpointAddress::Kind kind, std::string& error) {
    const char* form = kind == EndpointAddress::Kind::NtripClient ? "ntrip://[USER[:PASS]@]HOST[:PORT]/MOUNT"
                                                                  : "ntrips://[[USER]:PASS@]HOST[:PORT]/MOUNT";
    EndpointAddress address;
    address.kind = kind;
    address.tcpPort = kNtripDefaultPort;
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const std::size_t colon = credentials.find(':');
        address.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos) address.password = std::string(credentials.substr(colon + 1));
        rest = rest.substr(at + 1);
    }
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == rest.size()) {
        error = std::string("an NTRIP endpoint is ") + form;
        return std::nullopt;
    }
    address.mount = std::string(rest.substr(slash + 1));
    if (address.mount.find_first_of(" /\t\r\n") != std::string::npos) {
        error = "a mountpoint is one word, not " + quoted(address.mount);
        return std::nullopt;
    }
    std::string_view hostPort = rest.substr(0, slash);
    const std::size_t colon = hostPort.rfind(':');
    if (colon != std::string_view::npos) {
        const auto port = numberIn(hostPort.substr(colon + 1), 1, 65535);
        if (!port) {
            error = "a TCP port is a number from 1 to 65535, not " + quoted(hostPort.substr(colon + 1));
            return std::nullopt;
        }
        address.tcpPort = static_cast<int>(*port);
        hostPort = hostPort.substr(0, colon);
    }
    address.host = std::string(hostPort);
    if (address.host.empty() || address.host.find(':') != std::string::npos) {
        error = std::string("an NTRIP endpoint is ") + form;
        return std::nullopt;
    }
    if (!hostNameOk(address.host)) {
        error = "not a host name or IPv4 address: " + quoted(address.host);
        return std::nullopt;
    }
    return address;
}

}  // namespace

std::optional<EndpointAddress> parseEndpointAddress(std::string_view text, std::string& error) {
    if (text.starts_with("tcp:")) return parseTcp(text.substr(4), error);
    if (text.starts_with("serial:")) return parseSerial(text.substr(7), error);
    if (text.starts_with("tcpsvr:")) return parseTcp(text.substr(7), error, true);
    if (text.starts_with("ntrip://")) return parseNtrip(text.substr(8), EndpointAddress::Kind::NtripClient, error);
    if (text.starts_with("ntrips://")) return parseNtrip(text.substr(9), EndpointAddress::Kind::NtripServer, error);
    error = "an endpoint is tcp:HOST:PORT, serial:COMn|DEVICE[@BAUD], tcpsvr:[HOST]:PORT, ntrip://... or ntrips://..., not " +
            quoted(text);
    return std::nullopt;
}

}  // namespace tessaly
