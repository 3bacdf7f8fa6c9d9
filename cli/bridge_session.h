// The running bridge: its input and its outputs, the routing between them, the monitor with its CSV log,
// the raw capture of the input stream, the counters of the status line and the supervision that
// opens lost links again. Built and run by runBridge.
//
// Everything here lives on the bridge loop's thread, but for requestStop and the relay itself: the
// thread that reads a link forwards each block on its own (the counters it keeps are atomic), and
// the loop watches a copy.
#pragma once

#include <atomic>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "app/command_sequence.h"
#include "links/owner_loop.h"
#include "cli/bridge_options.h"
#include "cli/bridge_status.h"
#include "cli/loop_timer.h"
#include "station/station_links.h"
#include "monitor/csv_log.h"
#include "monitor/raw_capture.h"
#include "monitor/receiver_monitor.h"
#include "monitor/rover_monitor.h"

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

    StationLinksHooks hooks();
    bool openFiles();
    void noticed(std::size_t side, const LinkNotice& notice);
    void watchInput(LinkBytes block);
    void watchReturn(LinkBytes block);
    void resetMonitor();
    void pollOpenedInput();
    void sendFirmwareVersionPoll();
    void printStatus();
    void shutDown();

    const BridgeOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::shared_ptr<OwnerLoop> loop_;
    std::shared_ptr<IoLoop> ioLoop_ = std::make_shared<IoLoop>();  // where the network links wait
    std::atomic<bool> stopRequested_{false};
    // The timed command runs (the firmware-version poll), on the loop's thread.
    LoopTimer timer_;
    CommandSequencer timedRuns_{timer_};

    SystemWallClock clock_;
    CsvLog csv_{clock_};
    RawCapture raw_;
    RawCapture rawReturn_;  // the return stream, output to input
    // Since the bridge started: its counts are what a station's operator reads.
    RoverMonitor rover_;
    ChannelTracker channels_;
    ReceiverMonitor monitor_;
    std::vector<Side> sides_;
    std::unique_ptr<StationLinks> links_;
    bool shutDown_ = false;
};

}  // namespace tessaly
