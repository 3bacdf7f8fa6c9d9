// Where the settings file lives: beside the program (or where a ".ini" argument says) when that
// folder is writable and is no system folder (/usr, /opt) a package installed the program in,
// otherwise in the per-user folder <config home>/tessaly-monitor/, which receives a copy of the
// file beside the program whenever that one is newer. Called once at start
// on the window's thread; reads and writes only the file system.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly {

struct SettingsLocationInputs {
    std::filesystem::path programPath;   // the program's own file (see runningProgramPath)
    std::vector<std::string> arguments;  // the command line without the program name
    std::filesystem::path currentFolder; // relative ".ini" arguments are resolved against it
    std::filesystem::path configHome;    // see defaultConfigHome
};

// Throws std::runtime_error with the text for the user, "Cannot create : <folder>/" or
// "Cannot Copy : <per-user path>", when the per-user folder or the copy into it fails.
std::filesystem::path locateSettingsFile(const SettingsLocationInputs& inputs);

// $XDG_CONFIG_HOME when it is an absolute path, otherwise the home folder's ".config"; empty when
// there is no home folder either.
std::filesystem::path defaultConfigHome();

// The target of /proc/self/exe; empty if it cannot be read.
std::filesystem::path runningProgramPath();

}  // namespace tessaly
