// tessaly-cli simulate: plays the L6 receiver as a TCP server on 127.0.0.1, so that the window,
// the bridge and the tests have an input without hardware. Every client gets the stream from
// the next whole second on; answers go only to the client that asked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

struct SimulateOptions {
    std::uint16_t port = 2101;  // 0: a free port, named on stderr
    std::uint64_t seed = 1;
    double rate = 1.0;  // seconds of messages per real second
    std::string dataFolder;
    bool dataFolderGiven = false;
};

// Where the recorded L6 messages are looked for without --data: share/tessaly-monitor beside the
// folder of `program`, the running tessaly-cli. An installed program finds them there
// (/usr/bin -> /usr/share), and the build copies them the same way beside its own programs.
// Empty when the program's path is unknown.
std::string defaultSimulatorDataFolder(const std::filesystem::path& program);

// Reads the arguments after "simulate"; `defaultDataFolder` is where the recorded L6 messages
// are looked for without --data. On failure returns nothing and sets `error`.
std::optional<SimulateOptions> parseSimulateOptions(const std::vector<std::string>& args,
                                                    const std::string& defaultDataFolder,
                                                    std::string& error);

// Runs until SIGINT or SIGTERM. Returns the exit status: 0, or 2 with one line on `err`.
int runSimulate(const SimulateOptions& options, std::ostream& err);

}  // namespace tessaly
