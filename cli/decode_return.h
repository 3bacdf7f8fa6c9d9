// tessaly-cli decode --return: replays a recorded return stream (what the high-precision receiver
// sent back) through the rover monitor and prints the position messages by fix kind and the
// RXM-COR reports by protocol and by use.
#pragma once

#include <iosfwd>

#include "cli/decode_command.h"

namespace tessaly {

// Returns the process exit status: 0, or 2 with a one-line message on `err`.
int runDecodeReturn(const DecodeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tessaly
