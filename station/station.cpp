#include "station/station.h"

#include "station/receiver_command.h"

#include <algorithm>
#include <utility>

namespace tessaly {
namespace {

MonitorOutputs monitorOutputs(const StationFace& face, PairLog& log, const WallClock& clock) {
    MonitorOutputs outputs;
    outputs.view = face.reports;
    outputs.statusLine = face.statusLine;
    outputs.log = &log;
    outputs.clock = &clock;
    return outputs;
}

}  // namespace

Station::Station(StationConfig config, StationSeams seams, StationFace face)
    : config_(config),
      seams_(std::move(seams)),
      face_(std::move(face)),
      clock_(seams_.clock ? *seams_.clock : systemClock_),
      wallClock_(seams_.wallClock ? *seams_.wallClock : systemWallClock_),
      timedRuns_(*seams_.timer),
      csv_(wallClock_),
      historyRecorder_(wallClock_, history_),
      pairLogs_(csv_, historyRecorder_),
      monitor_(monitorOutputs(face_, pairLogs_, wallClock_)),
      answers_([this](const CommandAnswer& answer) {
          if (face_.commandAnswered) face_.commandAnswered(answer);
      }) {
    monitor_.setFrameWatcher([this](ByteView frame) { answers_.received(frame); });
    if (face_.fileNoticed) {
        csv_.setNoticeHandler(face_.fileNoticed);
        raw_.setNoticeHandler(face_.fileNoticed);
        rawReturn_.setNoticeHandler(face_.fileNoticed);
    }
    links_ = std::make_unique<StationLinks>(config_.outputs, seams_.loop, seams_.owner, linkHooks());
    links_->setReturnFromServedClients(config_.returnFromServedClients);
}

Station::~Station() { stop(); }

StationLinksHooks Station::linkHooks() {
    StationLinksHooks hooks;
    hooks.watchInput = [this](LinkBytes block) { watchInput(block); };
    hooks.watchReturn = [this](LinkBytes block) { watchReturn(block); };
    // A frame is never stitched together across bytes the monitor did not see.
    hooks.inputSkipped = [this] {
        monitor_.scanner().clearPending();
        if (face_.watchSkipped) face_.watchSkipped();
    };
    hooks.returnSkipped = [this] {
        rover_.clearPending();
        if (face_.watchSkipped) face_.watchSkipped();
    };
    hooks.inputBatchDone = face_.inputBatchDone;
    hooks.noticed = [this](std::size_t side, const LinkNotice& notice) { noticed(side, notice); };
    hooks.clientNoticed = [this](std::size_t side, bool connected, const std::string& text) {
        clientNoticed(side, connected, text);
    };
    hooks.processEvents = face_.processEvents;
    return hooks;
}

void Station::watchInput(LinkBytes block) {
    raw_.write(block);
    monitor_.scanBlock(block);
}

void Station::watchReturn(LinkBytes block) {
    rawReturn_.write(block);
    rover_.feed(block, clock_.nowMs());
}

void Station::inputBlockReceived(LinkBytes block) {
    watchInput(block);
    links_->relayFromInput(block);
}

void Station::prepareOpen(std::size_t index) {
    // Opening one kind closes the other kind of the same side first.
    side(index).close();
    if (index == 0) resetMonitor();
}

void Station::open(std::size_t index, const LinkAddress& address, bool reconnect, LinkEndpoint::Opened opened) {
    side(index).setReconnect(reconnect);
    attempt(index, address, false, std::move(opened));
}

void Station::openOrRetry(std::size_t index, const LinkAddress& address) { attempt(index, address, true, {}); }

void Station::attempt(std::size_t index, const LinkAddress& address, bool retry, LinkEndpoint::Opened opened) {
    prepareOpen(index);
    // The input's attempt waits until the outputs being opened have had theirs.
    auto start = [this, index, address, retry, opened = std::move(opened)] {
        auto finished = [this, index, opened](const std::string& error) {
            if (error.empty()) sideOpened(index);
            if (opened) opened(error);
            if (index > 0) outputTried();
        };
        LinkEndpoint& link = side(index);
        retry ? link.openOrRetry(address, std::move(finished)) : link.open(address, std::move(finished));
    };
    if (index == 0 && outputsOpening()) {
        inputWaiting_ = std::move(start);
        return;
    }
    start();
}

bool Station::outputsOpening() {
    const std::vector<LinkEndpoint*> all = links_->all();
    return std::any_of(all.begin() + 1, all.end(), [](LinkEndpoint* link) { return link->state() == LinkState::Opening; });
}

void Station::outputTried() {
    if (!outputsOpening() && inputWaiting_) std::exchange(inputWaiting_, {})();
}

void Station::sideOpened(std::size_t index) {
    // A listening input is polled when its source dials in; a poll at its own open would reach a
    // source that dialled in that instant twice.
    if (index == 0 && links_->input().address().kind != LinkAddress::Kind::TcpServer) pollFirmwareVersion();
    // A half message of the last connection is no start for this one.
    if (index == 1) rover_.clearPending();
}

void Station::close(std::size_t index) {
    if (index == 0) inputWaiting_ = {};
    side(index).close();
    // An output given up while it was being opened has had its try.
    if (index > 0) outputTried();
}

void Station::supervise() { links_->supervise(LinkEndpoint::Clock::now()); }

void Station::noticed(std::size_t index, const LinkNotice& notice) {
    switch (notice.what) {
    case LinkNotice::What::Lost:
        // What the icon said of the reception no longer holds without the receiver.
        if (index == 0) monitor_.decoder().clearReceptionStatus();
        break;
    case LinkNotice::What::RetryFailed:
        break;
    case LinkNotice::What::Reopened:
        if (index == 0) resetMonitor();
        sideOpened(index);
        break;
    }
    if (face_.linkNoticed) face_.linkNoticed(index, notice);
}

void Station::clientNoticed(std::size_t index, bool connected, const std::string& text) {
    // A source that dials in is a receiver that came: its stream starts afresh.
    if (connected && index == 0) {
        resetMonitor();
        pollFirmwareVersion();
    }
    if (face_.clientNoticed) face_.clientNoticed(index, connected, text);
}

void Station::resetMonitor() {
    monitor_.scanner().clearPending();
    monitor_.decoder().clear();
    history_.clear();
    if (config_.resetRoverWithMonitor) rover_.reset();
    if (face_.monitorReset) face_.monitorReset();
}

void Station::pollFirmwareVersion() {
    // A caster relays a receiver's stream but is none: it would not answer, and the poll is no
    // business of the rovers' sources.
    if (links_->input().address().kind == LinkAddress::Kind::NtripClient) return;
    sendCommandText(kFirmwareVersionPoll);
}

CommandTextOutputs Station::commandOutputs() {
    CommandTextOutputs outputs;
    outputs.writeToInput = [this](const CommandBytes& bytes) { links_->sendToInput(bytes); };
    outputs.refused = [this](const std::string& expected) {
        if (face_.commandRefused) face_.commandRefused(expected);
    };
    return outputs;
}

void Station::sendCommandText(std::string_view text) { timedRuns_.start(commandTextSteps(text, commandOutputs())); }

void Station::runReceiverCommand(std::string_view text, std::function<void()> finished) {
    CommandTextOutputs outputs = commandOutputs();
    outputs.writeToInput = [this, send = std::move(outputs.writeToInput)](const CommandBytes& bytes) {
        send(bytes);
        awaitAnswer(bytes);
    };
    timedRuns_.start(receiverCommandSteps(text, outputs, [this] { resetMonitor(); }, std::move(finished)));
}

void Station::awaitAnswer(const CommandBytes& bytes) {
    // Without an open input the message reached no receiver, and no answer is worth waiting for.
    if (!links_->input().isOpen()) return;
    if (const std::optional<std::uint64_t> wait = answers_.sent(bytes)) {
        timedRuns_.start({{kCommandAnswerWaitMs, [this, number = *wait] { answers_.expire(number); }}});
    }
}

bool Station::startCsvLog(const std::string& path, const std::string& header, bool utc) {
    return csv_.start(path, header, utc);
}

bool Station::startCapture(const std::string& path) { return raw_.start(path); }

bool Station::startReturnCapture(const std::string& path) { return rawReturn_.start(path); }

void Station::stopLogs() {
    csv_.stop();
    raw_.stop();
    rawReturn_.stop();
}

void Station::stop() {
    if (stopped_) return;
    stopped_ = true;
    timedRuns_.cancelAll();
    answers_.clear();
    links_->closeAll();
    // Waits for a reader still handing over its last block; no link reaches the station after.
    seams_.owner->shutdown();
    // That block was relayed, so the log has its rows too.
    links_->watchTheRest();
    stopLogs();
}

}  // namespace tessaly
