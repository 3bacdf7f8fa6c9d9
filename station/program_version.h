// The program version string shown in the window caption and by the command-line tool:
// "Ver", the major file-version number, "." and the minor number padded to two digits.
#pragma once

#include <string>

namespace tessaly {

std::string programVersionString(int major, int minor);
// The version this build carries.
std::string programVersionString();
// The line both programs answer --version with: the version string and the release number
// that packages and the software centre show ("1.8.0").
std::string programVersionLine();

}  // namespace tessaly
