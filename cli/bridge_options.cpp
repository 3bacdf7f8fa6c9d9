#include "cli/bridge_options.h"

#include <filesystem>
#include <sstream>

#include "cli/number_option.h"
#include "settings/whole_file.h"

namespace tessaly {
namespace {

constexpr std::uintmax_t kMaxConfigBytes = 64 * 1024;

}  // namespace

std::optional<std::vector<std::string>> readBridgeConfig(std::istream& in, std::string& error) {
    std::vector<std::string> args;
    int lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        const auto last = line.find_last_not_of(" \t\r");
        line = line.substr(first, last - first + 1);
        // The value is the rest of the line, so that a path may hold blanks.
        const auto blank = line.find_first_of(" \t");
        args.push_back(line.substr(0, blank));
        if (!args.back().starts_with("--") || args.back() == "--config") {
            error = "line " + std::to_string(lineNo) + ": not an option of bridge: " + args.back();
            return std::nullopt;
        }
        if (blank != std::string::npos) args.push_back(line.substr(line.find_first_not_of(" \t", blank)));
    }
    return args;
}

std::optional<BridgeOptions> parseBridgeOptions(const std::vector<std::string>& given, std::string& error) {
    // A station's options come from a file, one a line; they count as if given in its place.
    std::vector<std::string> args, configFiles;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] != "--config") {
            args.push_back(given[i]);
            continue;
        }
        if (i + 1 >= given.size()) {
            error = "--config needs a value";
            return std::nullopt;
        }
        const std::string& path = given[++i];
        std::error_code failed;
        const auto status = std::filesystem::status(path, failed);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            error = path + " is not a regular file";
            return std::nullopt;
        }
        // A few lines are an options file; a capture named by mistake is not read in whole.
        if (std::filesystem::exists(status) && std::filesystem::file_size(path, failed) > kMaxConfigBytes) {
            error = path + " is larger than 64 KiB: not an options file";
            return std::nullopt;
        }
        // Opened without waiting: a FIFO put there meanwhile is refused, not waited on.
        const std::optional<std::string> bytes = regularFileBytes(path);
        if (!bytes) {
            error = "cannot read " + path;
            return std::nullopt;
        }
        std::istringstream file(*bytes);
        const auto read = readBridgeConfig(file, error);
        if (!read) {
            error = path + ": " + error;
            return std::nullopt;
        }
        args.insert(args.end(), read->begin(), read->end());
        configFiles.push_back(path);
    }
    BridgeOptions options;
    options.configFiles = std::move(configFiles);
    std::optional<EndpointAddress> input;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--in" || arg == "--out" || arg == "--csv" || arg == "--raw" || arg == "--ini" ||
                                arg == "--raw-return" || arg == "--return-from" || arg == "--interval";
        if (takesValue && i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (arg == "--in" || arg == "--out") {
            auto address = parseEndpointAddress(args[++i], error);
            if (!address) return std::nullopt;
            if (arg == "--in") {
                input = std::move(address);
            } else {
                options.outputs.push_back(std::move(*address));
            }
        } else if (arg == "--csv") {
            options.csvPath = args[++i];
        } else if (arg == "--raw") {
            options.rawPath = args[++i];
        } else if (arg == "--raw-return") {
            options.rawReturnPath = args[++i];
        } else if (arg == "--ini") {
            options.iniPath = args[++i];
        } else if (arg == "--return-from") {
            if (args[++i] != "tcpsvr") {
                error = "--return-from takes tcpsvr, not '" + args[i] + "'";
                return std::nullopt;
            }
            options.returnFromServedClient = true;
        } else if (arg == "--interval") {
            const auto seconds = parseNumberOption<double>(arg, args[++i], 0.1, 86400.0, error);
            if (!seconds) return std::nullopt;
            options.interval = std::chrono::milliseconds(static_cast<std::int64_t>(*seconds * 1000.0 + 0.5));
        } else if (arg == "--utc") {
            options.utc = true;
        } else if (arg == "--json") {
            options.json = true;
        } else {
            error = "unknown argument " + arg;
            return std::nullopt;
        }
    }
    if (!input || options.outputs.empty()) {
        error = "bridge needs --in ENDPOINT and --out ENDPOINT";
        return std::nullopt;
    }
    // A caster's mountpoint is pulled from or pushed to, never both on one connection.
    if (input->kind == EndpointAddress::Kind::NtripServer) {
        error = "ntrips:// pushes to a caster: it is an --out, not an --in";
        return std::nullopt;
    }
    for (const auto& output : options.outputs) {
        if (output.kind == EndpointAddress::Kind::NtripClient) {
            error = "ntrip:// pulls from a caster: it is an --in, not an --out";
            return std::nullopt;
        }
    }
    if (options.returnFromServedClient && options.outputs.front().kind != EndpointAddress::Kind::TcpServer) {
        error = "--return-from tcpsvr needs a tcpsvr endpoint as the first --out";
        return std::nullopt;
    }
    // One endpoint cannot be both sides: a serial port opens only once, and a receiver relaying
    // to itself would echo every byte back.
    std::vector<const EndpointAddress*> all{&*input};
    for (const auto& output : options.outputs) {
        for (const EndpointAddress* other : all) {
            const bool sameSerialPort = other->kind == EndpointAddress::Kind::Serial &&
                                        output.kind == EndpointAddress::Kind::Serial && other->portNo == output.portNo &&
                                        other->device == output.device;
            if (*other == output || sameSerialPort) {
                error = other == all.front() ? "--in and --out name the same endpoint" : "two --out name the same endpoint";
                return std::nullopt;
            }
        }
        all.push_back(&output);
    }
    // Both captures in one file would interleave the two directions beyond telling apart.
    if (options.rawPath && options.rawPath == options.rawReturnPath) {
        error = "--raw and --raw-return name the same file";
        return std::nullopt;
    }
    options.input = *input;
    return options;
}

}  // namespace tessaly
