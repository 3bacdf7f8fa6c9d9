// Why a serial port could not be opened, in words a user can act on: the port is not in the port
// map, its device is not there, the user may not use it, it is no serial device, or another
// program has it. Worked out after the failed open, from the file system alone.
#pragma once

#include <string>

namespace tessaly {

// `path` is what the open tried: the port map's COMn link or a device path. `mapped` tells which.
std::string serialOpenFailure(const std::string& path, bool mapped);

}  // namespace tessaly
