#include "cli/bridge_command.h"

#include "cli/bridge_session.h"
#include "links/stop_signals.h"

namespace tessaly {

int runBridge(const BridgeOptions& options, std::ostream& out, std::ostream& err) {
    BridgeSession session(options, out, err);
    // Before any link thread starts, so that the stop signals reach the watcher only.
    const StopSignals signals([&session] { session.requestStop(); });
    if (!session.start()) return 2;
    session.run();
    return 0;
}

}  // namespace tessaly
