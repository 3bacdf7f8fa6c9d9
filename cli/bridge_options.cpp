#include "cli/bridge_options.h"

namespace tessaly {

std::optional<BridgeOptions> parseBridgeOptions(const std::vector<std::string>& args, std::string& error) {
    BridgeOptions options;
    std::optional<EndpointAddress> input, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--in" || arg == "--out" || arg == "--csv" || arg == "--raw" || arg == "--ini" ||
                                arg == "--raw-return";
        if (takesValue && i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (arg == "--in" || arg == "--out") {
            auto address = parseEndpointAddress(args[++i], error);
            if (!address) return std::nullopt;
            (arg == "--in" ? input : output) = std::move(address);
        } else if (arg == "--csv") {
            options.csvPath = args[++i];
        } else if (arg == "--raw") {
            options.rawPath = args[++i];
        } else if (arg == "--raw-return") {
            options.rawReturnPath = args[++i];
        } else if (arg == "--ini") {
            options.iniPath = args[++i];
        } else if (arg == "--utc") {
            options.utc = true;
        } else if (arg == "--json") {
            options.json = true;
        } else {
            error = "unknown argument " + arg;
            return std::nullopt;
        }
    }
    if (!input || !output) {
        error = "bridge needs --in ENDPOINT and --out ENDPOINT";
        return std::nullopt;
    }
    // One endpoint cannot be both sides: a serial port opens only once, and a receiver relaying
    // to itself would echo every byte back.
    const bool sameSerialPort = input->kind == EndpointAddress::Kind::Serial &&
                                output->kind == EndpointAddress::Kind::Serial && input->portNo == output->portNo;
    if (*input == *output || sameSerialPort) {
        error = "--in and --out name the same endpoint";
        return std::nullopt;
    }
    // Both captures in one file would interleave the two directions beyond telling apart.
    if (options.rawPath && options.rawPath == options.rawReturnPath) {
        error = "--raw and --raw-return name the same file";
        return std::nullopt;
    }
    options.input = *input;
    options.output = *output;
    return options;
}

}  // namespace tessaly
