// tessaly-cli bridge: the window's relay without a window. Opens the input and the output link
// its options name, relays every block both ways through the same routing (input blocks scanned,
// then forwarded; output blocks forwarded, never scanned), sends the firmware-version poll after
// every input open, writes the CSV log and the raw input stream, prints a status line a second,
// opens lost links again with back-off, and stops in order on SIGINT or SIGTERM.
//
// Runs on the calling thread, which becomes the links' owner thread; call it before any other
// thread starts (the stop signals are blocked for every thread started later).
#pragma once

#include <iosfwd>

#include "cli/bridge_options.h"

namespace tessaly {

// Returns the process exit status: 0 after a stop signal, or 2 with a one-line message on `err`
// when a file or an endpoint cannot be opened at start.
int runBridge(const BridgeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tessaly
