// A program of the project run as a user runs it from a terminal, to its end: what it printed on
// stdout and on stderr, and its exit status.
#pragma once

#include <string>
#include <vector>

namespace tessaly::test {

struct ProgramRun {
    int status = -1;  // the exit status; -1 when it did not start or ended by a signal
    std::string out;
    std::string err;
};

// Runs `program` with `args`, with the environment variables named in `unset` removed (a
// terminal without a display: DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM).
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& unset = {});

// The environment of a terminal without any display.
inline const std::vector<std::string> kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

}  // namespace tessaly::test
