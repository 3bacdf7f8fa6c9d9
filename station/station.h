// The station: the links and their relay, the monitors of both streams, the CSV log, the raw
// captures, the history of evaluated pairs and the commands to the L6 receiver. The window and the
// bridge are faces on it: they turn controls and options into its calls, and its notices and state
// into what they show. What a link's opening, loss and return do to the monitors is decided here
// once, so both faces behave alike.
//
// Owner thread, as StationLinks: everything but the counters and sendToInput.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "monitor/csv_log.h"
#include "monitor/history_recorder.h"
#include "monitor/raw_capture.h"
#include "monitor/receiver_monitor.h"
#include "monitor/rover_monitor.h"
#include "station/command_answers.h"
#include "station/command_sequence.h"
#include "station/command_text.h"
#include "station/millisecond_clock.h"
#include "station/station_links.h"

namespace tessaly {

struct StationConfig {
    std::size_t outputs = 1;
    // The monitor reset empties the rover's counts too (the window); the bridge keeps them since
    // its start, as a station's operator reads them.
    bool resetRoverWithMonitor = true;
    // Whether the clients of a listening first output may speak to the input.
    bool returnFromServedClients = false;
};

// Where the station's clocks and timer come from; tests hand in their own.
struct StationSeams {
    std::shared_ptr<IoLoop> loop;
    std::shared_ptr<OwnerThread> owner;
    DelayTimer* timer = nullptr;
    const MillisecondClock* clock = nullptr;  // the rover's message times
    const WallClock* wallClock = nullptr;     // the log's rows and the history's seconds
};

// What the face shows of the monitors (owned by the face, may be absent), and what it is told.
// All on the owner thread, after the station has done its own part.
struct StationFace {
    ReportView* reports = nullptr;
    StatusLine* statusLine = nullptr;
    // The monitor was reset: the face empties what it shows of it.
    std::function<void()> monitorReset;
    // The monitors skipped bytes they could not keep up with (the relay did not).
    std::function<void()> watchSkipped;
    std::function<void()> inputBatchDone;
    // `side` is 0 for the input, 1 for the first output, and so on.
    std::function<void(std::size_t side, const LinkNotice& notice)> linkNoticed;
    std::function<void(std::size_t side, bool connected, const std::string& text)> clientNoticed;
    // A frame of a command text was not sent: it is a whole UBX frame whose checksum is wrong;
    // `expected` is the right one as two hexadecimal pairs.
    std::function<void(const std::string& expected)> commandRefused;
    // The receiver acknowledged or refused a CFG message of a receiver command, or said nothing
    // within kCommandAnswerWaitMs.
    std::function<void(const CommandAnswer& answer)> commandAnswered;
    // A log or capture file stopped taking rows or blocks, or took them again.
    std::function<void(const LogFileNotice& notice)> fileNoticed;
    // While a full serial transmit queue drains.
    std::function<void()> processEvents;
};

class Station {
public:
    Station(StationConfig config, StationSeams seams, StationFace face);
    ~Station();  // stop() if not done
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    StationLinks& links() { return *links_; }
    const StationLinks& links() const { return *links_; }
    LinkEndpoint& side(std::size_t index) { return *links_->all().at(index); }

    // Closes the side before an open (of either kind), and starts the input's monitor afresh.
    void prepareOpen(std::size_t index);
    // The user's open: prepareOpen, then one attempt, whose outcome comes to `opened` as
    // LinkEndpoint::open says. An opened input's receiver is asked for its firmware version. The
    // input's attempt waits until the outputs being opened have had theirs, so that the start of
    // its stream reaches them too.
    void open(std::size_t index, const LinkAddress& address, bool reconnect, LinkEndpoint::Opened opened = {});
    // A station that starts before its peers: as open (with the side's reconnect setting), but a
    // failed attempt is tried again with back-off.
    void openOrRetry(std::size_t index, const LinkAddress& address);
    // The user's close of one side, and of every side.
    void close(std::size_t index);
    void closeAll() {
        inputWaiting_ = {};
        links_->closeAll();
    }
    // From the face's timer: lost links noticed, reopened when due.
    void supervise();

    // The receiver's stream starts afresh: the pieces of a frame, the decoder's state, the
    // history and (as configured) the rover's counts; then the face empties its view.
    void resetMonitor();
    // Sends a command text to the input: frames checked or completed, CR LF after each, a second
    // after every "|". Its steps run from the face's timer.
    void sendCommandText(std::string_view text);
    // A receiver command: the text, a second for the restart, the monitor reset, the firmware
    // poll; `finished` when it is all sent. Each CFG message of the text that reaches an open
    // input waits for the receiver's answer, which the face hears of (commandAnswered).
    void runReceiverCommand(std::string_view text, std::function<void()> finished);
    // Steps of the face's own, run from the same timer and dropped by stop().
    CommandSequencer& timedRuns() { return timedRuns_; }

    // The CSV log of evaluated pairs and the raw captures of both streams.
    bool startCsvLog(const std::string& path, const std::string& header, bool utc);
    bool startCapture(const std::string& path);
    bool startReturnCapture(const std::string& path);
    void stopLogs();
    bool logging() const { return csv_.loggingOn() || raw_.capturing() || rawReturn_.capturing(); }
    const CsvLog& csvLog() const { return csv_; }
    const RawCapture& capture() const { return raw_; }
    const RawCapture& returnCapture() const { return rawReturn_; }

    // What the input's monitor watches, as if its link had read it: watched and relayed.
    void inputBlockReceived(LinkBytes block);

    ReceiverMonitor& monitor() { return monitor_; }
    const ReceiverMonitor& monitor() const { return monitor_; }
    const RoverMonitor& rover() const { return rover_; }
    // The evaluated pairs since the last monitor reset, a day at most.
    const PairHistory& history() const { return history_; }

    // Drops the timed runs, closes the links, waits for what their loop still hands over, watches
    // it, then closes the files: the log has the rows of every byte relayed.
    void stop();

private:
    StationLinksHooks linkHooks();
    void watchInput(LinkBytes block);
    void watchReturn(LinkBytes block);
    void noticed(std::size_t index, const LinkNotice& notice);
    void clientNoticed(std::size_t index, bool connected, const std::string& text);
    // prepareOpen, then one attempt, with back-off after a failure when `retry`.
    void attempt(std::size_t index, const LinkAddress& address, bool retry, LinkEndpoint::Opened opened);
    bool outputsOpening();
    void sideOpened(std::size_t index);
    void outputTried();
    void pollFirmwareVersion();
    CommandTextOutputs commandOutputs();
    // A receiver command's frame has left: a CFG message waits for its answer.
    void awaitAnswer(const CommandBytes& bytes);

    StationConfig config_;
    StationSeams seams_;
    StationFace face_;
    SystemMillisecondClock systemClock_;
    SystemWallClock systemWallClock_;
    const MillisecondClock& clock_;
    const WallClock& wallClock_;
    CommandSequencer timedRuns_;
    CsvLog csv_;
    RawCapture raw_;
    RawCapture rawReturn_;  // the return stream, output to input
    PairHistory history_;
    HistoryRecorder historyRecorder_;
    PairLogTee pairLogs_;  // what the decoder logs to
    ReceiverMonitor monitor_;
    RoverMonitor rover_;
    CommandAnswerWatch answers_;
    std::unique_ptr<StationLinks> links_;
    std::function<void()> inputWaiting_;  // the input's attempt, until the outputs had theirs
    bool stopped_ = false;
};

}  // namespace tessaly
