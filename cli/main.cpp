// tessaly-cli: the monitor's core without a window.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "station/program_version.h"
#include "settings/settings_location.h"
#include "cli/bridge_command.h"
#include "cli/decode_command.h"
#include "cli/ports_command.h"
#ifdef TESSALY_HAS_REPORT
#include "cli/report_command.h"
#endif
#include "cli/simulate_command.h"
#include "cli/sink_command.h"

namespace {

struct CommandHelp {
    std::string command;
    std::string text;  // its usage line and what it does, as printed
};

// Each command's part of the help, in the order the full help prints them.
std::vector<CommandHelp> commandHelps(const std::string& simulatorDataFolder) {
    std::vector<CommandHelp> helps;
    helps.push_back({"decode",
           "  tessaly-cli decode FILE [--block N] [--csv OUT] [--utc]\n"
           "      Replay a recorded receiver stream through the frame scanner and L6 decoder,\n"
           "      N bytes at a time (default 1024, at most 16777216), and print what was found:\n"
           "      UBX frames by class and ID, dropped frames by reason, text lines, L6 reports\n"
           "      per channel, pair evaluations, the both-failed count, C/N0 averages and the\n"
           "      firmware text.\n"
           "      --csv OUT  also write the CSV log, one row per evaluated pair; exit status 1\n"
           "                 when rows could not be written\n"
           "      --utc      time stamps of the CSV log in UTC instead of local time\n"
           "      --return   FILE is a capture of the return stream: print the rover's position\n"
           "                 messages by fix kind and its RXM-COR reports by protocol and use\n"});
#ifdef TESSALY_HAS_REPORT
    helps.push_back({"report",
           "  tessaly-cli report INPUT... -o OUT [--json] [--utc]\n"
           "      Draw a logged period: for channel A and B the C/N0 line, the error status\n"
           "      (error-free, erroneous, no report), the changes of satellite or PRN, and the\n"
           "      seconds in which both failed, over local time. INPUT is a CSV log or a raw\n"
           "      capture (.ubx, decoded as decode does, ending at the file's time), in time\n"
           "      order. OUT ends in .png, .svg or .html (one file: the picture and the summary\n"
           "      table). Prints the summary: seconds, both failed, longest both-failed run, and\n"
           "      per channel reports, error-free, erroneous, mean and lowest C/N0 and PRNs.\n"
           "      --json  print the summary as one JSON object\n"
           "      --utc   the CSV logs' time stamps are UTC, and the picture shows UTC\n"});
#endif
    helps.push_back({"ports",
           "  tessaly-cli ports [--map] [--number]\n"
           "      List the serial ports as the window's port selectors offer them: COM1 to COM99\n"
           "      that exist and are free, with the device's name, and the devices found on the\n"
           "      system that have no number yet. Lists only: writes nothing.\n"
           "      --map     also print the port map folder ($TESSALY_PORTS_DIR, else\n"
           "                ~/.config/tessaly-monitor/ports) and the device behind each port\n"
           "      --number  first give each device without one the lowest free number in the\n"
           "                port map, which it keeps when it is plugged in again\n"});
    helps.push_back({"simulate",
           "  tessaly-cli simulate [--port P] [--seed N] [--rate R] [--data DIR]\n"
           "      Play the L6 receiver on 127.0.0.1:P (default 2101) for any number of clients:\n"
           "      each second an L6 message on channel A, then on channel B, now and then an\n"
           "      erroneous or missed one, a text line or a change of satellite. Answers the\n"
           "      version poll and falls silent for 2 s after a reset. Port 0 takes a free port.\n"
           "      --seed N  the same N gives the same stream (default 1)\n"
           "      --rate R  R seconds of messages per real second (default 1)\n"
           "      --data DIR  the recorded L6 messages (default " + simulatorDataFolder + ");\n"
           "                  without them the messages are made up\n"});
    helps.push_back({"sink",
           "  tessaly-cli sink [--port P] [--echo-rate R]\n"
           "      Play the high-precision receiver on 127.0.0.1:P (default 2102): take the\n"
           "      forwarded stream, count bytes and valid UBX frames, print a line a second\n"
           "      and the totals at the end. Its rover answers each L6 message with an RXM-COR\n"
           "      (used when error-free) and sends NAV-PVT and GGA once a second: DGNSS with L6,\n"
           "      RTK float after 10 s of usable L6, fixed after 30 s, 3D 10 s after the last.\n"
           "      --echo-rate R  send R bytes/s more of navigation frames to each client\n"});
    helps.push_back({"bridge",
           "  tessaly-cli bridge --in ENDPOINT --out ENDPOINT [--out ENDPOINT...] [--csv FILE] [--utc]\n"
           "                    [--raw FILE] [--ini FILE] [--json] [--interval SECONDS] [--config FILE]\n"
           "                    [--return-from tcpsvr]\n"
           "      Relay every byte unchanged between the L6 receiver (--in) and the high-precision\n"
           "      receivers (--out), monitoring the input stream as the window does, and print a\n"
           "      status line a second, each starting with its UTC time; a channel that has not\n"
           "      reported for 5 s shows as silent. ENDPOINT is tcp:HOST:PORT (connects as\n"
           "      client), serial:COMn[@BAUD] (a port of tessaly-cli ports --number; default\n"
           "      115200) or serial:/dev/DEVICE[@BAUD], tcpsvr:[HOST]:PORT (listens; as --out\n"
           "      every client gets every byte, as --in one source at a time),\n"
           "      ntrip://[USER[:PASS]@]HOST[:PORT]/MOUNT (--in only: pulls from an NTRIP caster,\n"
           "      port 2101 by default) or ntrips://[[USER]:PASS@]HOST[:PORT]/MOUNT (--out only:\n"
           "      pushes to a caster; revision 1 without USER, revision 2 with). Every --out gets\n"
           "      every input byte; only the first one's bytes go back to the input, and those of\n"
           "      a listening one only with --return-from tcpsvr. The\n"
           "      firmware-version poll goes to the input after every open (not to a caster);\n"
           "      lost links are opened again with back-off (0.5 s doubling to 8 s). SIGINT or\n"
           "      SIGTERM stops in order with exit status 0.\n"
           "      --csv FILE  write the CSV log, one row per evaluated pair\n"
           "      --utc       time stamps of the CSV log in UTC instead of local time\n"
           "      --raw FILE  record the input stream byte for byte, for decode later\n"
           "      --raw-return FILE  record the return stream byte for byte, for decode --return\n"
           "      --ini FILE  take the CSV header and UTC flag from a settings file\n"
           "      --json      print the status as one JSON object a line\n"
           "      --interval SECONDS  between two status lines (default 1, from 0.1)\n"
           "      --config FILE  take options from FILE, one a line (\"--in tcp:h:1\"), # comments\n"
           "      --return-from tcpsvr  pass the bytes of the first client of a listening first\n"
           "                  --out back to the input (by default they are counted, not passed)\n"});
    return helps;
}

void printHelp(std::ostream& out, const std::string& simulatorDataFolder) {
    out << "Tessaly Monitor " << tessaly::programVersionString() << " - command-line tool\n\nUsage:\n";
    for (const CommandHelp& help : commandHelps(simulatorDataFolder)) out << help.text;
    out << "  tessaly-cli --help | --version\n"
           "      COMMAND --help prints the part of one command\n";
}

// `tessaly-cli COMMAND --help`: that command's part; false for a command the program lacks.
bool printCommandHelp(std::ostream& out, const std::string& command, const std::string& simulatorDataFolder) {
    for (const CommandHelp& help : commandHelps(simulatorDataFolder)) {
        if (help.command != command) continue;
        out << "Usage:\n" << help.text;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A log that reaches the file size limit fails its write like one on a full disk, and is
    // reported as such, instead of the signal ending the bridge.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string simulatorDataFolder =
        tessaly::defaultSimulatorDataFolder(tessaly::runningProgramPath());
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(std::cout, simulatorDataFolder);
        return 0;
    }
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        if (printCommandHelp(std::cout, args[0], simulatorDataFolder)) return 0;
    }
    if (args[0] == "--version") {
        std::cout << tessaly::programVersionLine() << "\n";
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
#ifdef TESSALY_HAS_REPORT
    if (args[0] == "report") {
        std::string error;
        const auto options =
            tessaly::parseReportOptions(std::vector<std::string>(args.begin() + 1, args.end()), error);
        if (!options) {
            std::cerr << "tessaly-cli report: " << error << "\n";
            return 2;
        }
        return tessaly::runReport(*options, std::cout, std::cerr);
    }
#endif
    if (args[0] == "ports") {
        return tessaly::runPorts(std::vector<std::string>(args.begin() + 1, args.end()), {}, std::cout,
                                 std::cerr);
    }
    if (args[0] == "simulate") {
        std::string error;
        const auto options = tessaly::parseSimulateOptions(
            std::vector<std::string>(args.begin() + 1, args.end()), simulatorDataFolder, error);
        if (!options) {
            std::cerr << "tessaly-cli simulate: " << error << "\n";
            return 2;
        }
        return tessaly::runSimulate(*options, std::cerr);
    }
    if (args[0] == "sink") {
        std::string error;
        const auto options =
            tessaly::parseSinkOptions(std::vector<std::string>(args.begin() + 1, args.end()), error);
        if (!options) {
            std::cerr << "tessaly-cli sink: " << error << "\n";
            return 2;
        }
        return tessaly::runSink(*options, std::cout, std::cerr);
    }
    std::cerr << "tessaly-cli: unknown command '" << args[0] << "' (see tessaly-cli --help)\n";
    return 2;
}
