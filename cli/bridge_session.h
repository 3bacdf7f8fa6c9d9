// The running bridge: the station's face on the command line. It turns the options into the
// station's links, files and commands, says on stderr what happens to the links, prints the
// status line every second and opens lost links again. Built and run by runBridge.
//
// Everything here lives on the bridge loop's thread, but for requestStop and the relay itself,
// which runs where the links read (see StationLinks).
#pragma once

#include <atomic>
#include <iosfwd>
#include <memory>
#include <string>

#include "cli/bridge_options.h"
#include "cli/bridge_status.h"
#include "cli/loop_timer.h"
#include "links/owner_loop.h"
#include "station/station.h"

namespace tessaly {

class BridgeSession {
public:
    BridgeSession(const BridgeOptions& options, std::ostream& out, std::ostream& err);
    ~BridgeSession();  // closes the links, then the files

    // Opens the files, then the output links, then the input link (with its poll), so the outputs
    // have been tried before the first input byte is read. False, with a one-line message on
    // `err`, when a file cannot be opened. A link that cannot be opened yet is
    // tried again with back-off, so a station that boots before its receiver waits for it.
    bool start();
    // Relays until a stop is requested.
    void run();
    // Any thread.
    void requestStop();

private:
    // What the bridge says of a link: the input is side 0, the outputs follow in order.
    struct Side {
        EndpointAddress address;
        std::string name;  // "input", "output", "output 2", ...
    };

    StationFace face();
    bool openFiles();
    void noticed(std::size_t side, const LinkNotice& notice);
    void clientNoticed(std::size_t side, bool connected, const std::string& text);
    void printStatus();

    const BridgeOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::shared_ptr<OwnerLoop> loop_;
    std::atomic<bool> stopRequested_{false};
    // The timed command runs (the firmware-version poll), on the loop's thread.
    LoopTimer timer_;
    ChannelTracker channels_;
    std::vector<Side> sides_;
    std::unique_ptr<Station> station_;
};

}  // namespace tessaly
