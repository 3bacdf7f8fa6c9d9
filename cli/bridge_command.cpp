#include "cli/bridge_command.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include "cli/bridge_session.h"
#include "links/stop_signals.h"

namespace tessaly {

namespace {

// An options file may hold a caster's password; one that every user of the machine can read is
// said at start, once.
void warnOfReadableConfigs(const BridgeOptions& options, std::ostream& err) {
    for (const std::string& file : options.configFiles) {
        struct stat status {};
        if (::stat(file.c_str(), &status) == 0 && (status.st_mode & S_IROTH)) {
            err << "tessaly-cli bridge: warning: every user can read " << file
                << ", which may hold NTRIP passwords: chmod 600 " << file << "\n";
        }
    }
}

// A listening output takes a descriptor for every rover, and a service starts with a soft limit
// of 1024. The bridge waits with poll, never select, so it may use all that the hard limit allows.
void takeEveryDescriptorAllowed() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max) return;
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

}  // namespace

int runBridge(const BridgeOptions& options, std::ostream& out, std::ostream& err) {
    warnOfReadableConfigs(options, err);
    takeEveryDescriptorAllowed();
    BridgeSession session(options, out, err);
    // Before any link thread starts, so that the stop signals reach the watcher only.
    const StopSignals signals([&session] { session.requestStop(); });
    if (!session.start()) return 2;
    session.run();
    return 0;
}

}  // namespace tessaly
