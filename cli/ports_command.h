// tessaly-cli ports: prints the port list exactly as the window's port combo boxes show it when
// dropped down, one entry a line, so the user can see which number a receiver has. With --map
// it also names the port map folder and each entry's device.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "links/serial/port_list.h"

namespace tessaly {

// `args` are the arguments after "ports". Returns the exit status: 0, or 2 with a one-line
// message on `err`.
int runPorts(const std::vector<std::string>& args, const PortListSource& source, std::ostream& out,
             std::ostream& err);

}  // namespace tessaly
