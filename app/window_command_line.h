// The window's command line, read before the application object exists: --help, --version and a
// mistyped option are answered on a terminal without a display, where creating the window's
// application object would abort. Qt's own options (-platform, -style, ...) are let through for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaly {

struct WindowCommandLine {
    // Set when the command line has been answered (help or version on stdout, exit 0; a mistake
    // as one line on stderr, exit 2) and no window is to open.
    std::optional<int> exitStatus;
    // Otherwise the arguments that are not options, among them the settings file.
    std::vector<std::string> arguments;
};

WindowCommandLine readWindowCommandLine(int argc, char** argv);

}  // namespace tessaly
