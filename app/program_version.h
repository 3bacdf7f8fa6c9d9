// The program version string shown in the window caption and by the command-line tool:
// "Ver", the major file-version number, "." and the minor number padded to two digits.
#pragma once

#include <string>

namespace tessaly {

std::string programVersionString(int major, int minor);
// The version this build carries.
std::string programVersionString();

}  // namespace tessaly
