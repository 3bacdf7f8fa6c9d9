// The command line of tessaly-cli bridge: the input, one or more outputs and what the bridge
// records.
#pragma once

#include <chrono>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/endpoint_address.h"

namespace tessaly {

struct BridgeOptions {
    EndpointAddress input;
    // Every output gets every input byte; only the first one's bytes go back to the input.
    std::vector<EndpointAddress> outputs;
    // A listening first output passes back what its first client sends only when asked: anyone
    // who reaches the port could otherwise reset or reconfigure the L6 receiver.
    bool returnFromServedClient = false;
    std::optional<std::string> csvPath;
    std::optional<std::string> rawPath;
    std::optional<std::string> rawReturnPath;  // the return stream, output to input, byte for byte
    std::optional<std::string> iniPath;  // CSV header and UTC flag from a settings file
    bool utc = false;
    bool json = false;
    std::chrono::milliseconds interval{1000};  // between two status lines
    std::vector<std::string> configFiles;  // the files of --config, in order
};

// Reads the arguments after "bridge"; "--config FILE" stands for the options in FILE. On failure
// returns nothing and sets `error` (one line).
std::optional<BridgeOptions> parseBridgeOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace tessaly

namespace tessaly {

// A station's options file: one option a line, its value after the first blank ("--out
// tcpsvr::2102", "--csv /var/log/l6 station.csv"); blank lines and lines starting with '#' are
// skipped. Returns the arguments as on a command line, or nothing with `error` naming the line.
std::optional<std::vector<std::string>> readBridgeConfig(std::istream& in, std::string& error);

}  // namespace tessaly
