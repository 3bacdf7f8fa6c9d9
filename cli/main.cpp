// tessaly-cli: the monitor's core without a window.
#include <iostream>
#include <string>
#include <vector>

#include "app/program_version.h"
#include "cli/bridge_command.h"
#include "cli/decode_command.h"
#include "cli/ports_command.h"

namespace {

void printHelp(std::ostream& out) {
    out << "Tessaly Monitor " << tessaly::programVersionString()
        << " - command-line tool\n"
           "\n"
           "Usage:\n"
           "  tessaly-cli decode FILE [--block N] [--csv OUT] [--utc]\n"
           "      Replay a recorded receiver stream through the frame scanner and L6 decoder,\n"
           "      N bytes at a time (default 1024), and print what was found: UBX frames by\n"
           "      class and ID, dropped frames, text lines, L6 reports per channel, pair\n"
           "      evaluations, the both-failed count, C/N0 averages and the firmware text.\n"
           "      --csv OUT  also write the CSV log, one row per evaluated pair\n"
           "      --utc      time stamps of the CSV log in UTC instead of local time\n"
           "  tessaly-cli ports [--map]\n"
           "      List the serial ports as the window's port selectors offer them: COM1 to COM99\n"
           "      that exist and are free, with the device's name. Devices found on the system\n"
           "      get a number in the port map folder ($TESSALY_PORTS_DIR, else\n"
           "      ~/.config/tessaly-monitor/ports), which keeps it when they are plugged in again.\n"
           "      --map  also print the folder and the device behind each port\n"
           "  tessaly-cli bridge --in SPEC --out SPEC [--csv FILE] [--utc] [--raw FILE] [--ini FILE]\n"
           "                    [--json]\n"
           "      Relay every byte unchanged between the L6 receiver (--in) and the high-precision\n"
           "      receiver (--out), monitoring the input stream as the window does, and print a\n"
           "      status line a second. SPEC is tcp:HOST:PORT (connects as client) or\n"
           "      serial:COMn[@BAUD] (default 115200). The firmware-version poll goes to the\n"
           "      input after every open; lost links are opened again with back-off (0.5 s\n"
           "      doubling to 8 s). SIGINT or SIGTERM stops in order with exit status 0.\n"
           "      --csv FILE  write the CSV log, one row per evaluated pair\n"
           "      --utc       time stamps of the CSV log in UTC instead of local time\n"
           "      --raw FILE  record the input stream byte for byte, for decode later\n"
           "      --ini FILE  take the CSV header and UTC flag from a settings file\n"
           "      --json      print the status as one JSON object a line\n"
           "  tessaly-cli --help | --version\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(std::cout);
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "Tessaly Monitor " << tessaly::programVersionString() << "\n";
        return 0;
    }
    if (args[0] == "decode") {
        std::string error;
        const auto options =
            tessaly::parseDecodeOptions(std::vector<std::string>(args.begin() + 1, args.end()), error);
        if (!options) {
            std::cerr << "tessaly-cli decode: " << error << "\n";
            return 2;
        }
        return tessaly::runDecode(*options, std::cout, std::cerr);
    }
    if (args[0] == "bridge") {
        std::string error;
        const auto options =
            tessaly::parseBridgeOptions(std::vector<std::string>(args.begin() + 1, args.end()), error);
        if (!options) {
            std::cerr << "tessaly-cli bridge: " << error << "\n";
            return 2;
        }
        return tessaly::runBridge(*options, std::cout, std::cerr);
    }
    if (args[0] == "ports") {
        return tessaly::runPorts(std::vector<std::string>(args.begin() + 1, args.end()), {}, std::cout,
                                 std::cerr);
    }
    std::cerr << "tessaly-cli: unknown command '" << args[0] << "' (see tessaly-cli --help)\n";
    return 2;
}
