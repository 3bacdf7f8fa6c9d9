// The running bridge: its two endpoints, the routing between them, the monitor with its CSV log,
// the raw capture of the input stream, the counters of the status line and the supervision that
// opens lost links again. Built and run by runBridge.
//
// Everything here lives on the bridge loop's thread; only requestStop may be called from another.
#pragma once

#include <atomic>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "cli/bridge_endpoint.h"
#include "links/owner_loop.h"
#include "cli/bridge_options.h"
#include "cli/bridge_status.h"
#include "links/link_routing.h"
#include "monitor/csv_log.h"
#include "monitor/receiver_monitor.h"

namespace tessaly {

class BridgeSession {
public:
    BridgeSession(const BridgeOptions& options, std::ostream& out, std::ostream& err);
    ~BridgeSession();  // closes the links, then the files

    // Opens the files, then the input link (with its poll), then the output link. False, with a
    // one-line message on `err`, when any of them cannot be opened.
    bool start();
    // Relays until a stop is requested.
    void run();
    // Any thread.
    void requestStop();

private:
    struct Side {
        std::unique_ptr<BridgeEndpoint> endpoint;
        const char* name;
        bool down = false;  // lost, waiting for its next attempt
    };

    bool openFiles();
    bool openSide(Side& side);
    void inputBlock(LinkBytes block);
    void outputBlock(LinkBytes block);
    void resetMonitor();
    void sendFirmwareVersionPoll();
    void supervise(Side& side);
    void waitMs(std::int32_t ms);
    void pumpWhileConnecting(std::uint32_t ms);
    void printStatus();
    void shutDown();

    const BridgeOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::shared_ptr<OwnerLoop> loop_;
    std::atomic<bool> stopRequested_{false};

    SystemWallClock clock_;
    CsvLog csv_{clock_};
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> raw_;
    bool rawFailed_ = false;
    ChannelTracker channels_;
    ReceiverMonitor monitor_;
    std::unique_ptr<LinkRouter> router_;
    Side input_, output_;
    std::uint64_t bytesToOutput_ = 0;
    std::uint64_t bytesToInput_ = 0;
    bool running_ = false;  // blocks are routed from run() on
    bool shutDown_ = false;
};

}  // namespace tessaly
