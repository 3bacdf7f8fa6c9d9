#include "cli/bridge_session.h"

#include <chrono>
#include <filesystem>
#include <ostream>

#include "app/command_text.h"
#include "app/profile_file.h"
#include "monitor/csv_row.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStatusInterval = std::chrono::seconds(1);

MonitorOutputs monitorOutputs(ReportView& view, PairLog& log, const WallClock& clock) {
    MonitorOutputs outputs;
    outputs.view = &view;
    outputs.log = &log;
    outputs.clock = &clock;
    return outputs;
}

std::string secondsText(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}

}  // namespace

BridgeSession::BridgeSession(const BridgeOptions& options, std::ostream& out, std::ostream& err)
    : options_(options),
      out_(out),
      err_(err),
      loop_(std::make_shared<OwnerLoop>()),
      monitor_(monitorOutputs(channels_, csv_, clock_)) {
    sides_.push_back({options.input, "input"});
    for (const EndpointAddress& address : options.outputs) {
        sides_.push_back({address, sides_.size() == 1 ? "output" : "output " + std::to_string(sides_.size())});
    }
    links_ = std::make_unique<StationLinks>(options.outputs.size(), ioLoop_, loop_, hooks());
    // Whoever dials in to a listening output first would be heard by the receiver.
    links_->setReturnFromServedClients(options.returnFromServedClient);
}

StationLinksHooks BridgeSession::hooks() {
    StationLinksHooks hooks;
    hooks.watchInput = [this](LinkBytes block) { watchInput(block); };
    hooks.watchReturn = [this](LinkBytes block) { watchReturn(block); };
    // A frame is never stitched together across bytes the monitor did not see.
    hooks.inputSkipped = [this] { monitor_.scanner().clearPending(); };
    hooks.returnSkipped = [this] { rover_.clearPending(); };
    hooks.noticed = [this](std::size_t side, const LinkNotice& notice) { noticed(side, notice); };
    hooks.clientNoticed = [this](std::size_t side, bool connected, const std::string& text) {
        err_ << "tessaly-cli bridge: " << sides_[side].name << " link " << endpointAddressText(sides_[side].address)
             << ": " << (connected ? text + " connected" : text) << "\n";
        // A source that dials in is a receiver that came: its stream starts afresh.
        if (connected && side == 0) {
            resetMonitor();
            sendFirmwareVersionPoll();
        }
    };
    hooks.pumpEventsFor = [this](std::uint32_t ms) { loop_->processEventsFor(ms); };
    hooks.processEvents = [this] { loop_->processPending(); };
    return hooks;
}

BridgeSession::~BridgeSession() { shutDown(); }

void BridgeSession::requestStop() {
    stopRequested_ = true;
    // An attempt to open a link waits with the loop's tasks running (a caster's slow answer):
    // the links close among them, which ends the attempt, so the stop does not wait for it.
    loop_->post([this] { links_->closeAll(); });
}

bool BridgeSession::start() {
    if (!openFiles()) return false;
    resetMonitor();
    for (std::size_t side = 1; side < sides_.size(); ++side) {
        if (!stopRequested_) links_->all()[side]->openOrRetry(sides_[side].address, Clock::now());
    }
    if (!stopRequested_) links_->input().openOrRetry(sides_[0].address, Clock::now());
    if (links_->input().isOpen()) pollOpenedInput();
    return true;
}

bool BridgeSession::openFiles() {
    std::string header(kDefaultCsvHeader);
    bool utc = options_.utc;
    if (options_.iniPath) {
        // Loading would create a missing file; a settings file that is not there is a mistake.
        if (!std::filesystem::is_regular_file(*options_.iniPath)) {
            err_ << "tessaly-cli bridge: cannot read " << *options_.iniPath << "\n";
            return false;
        }
        const ProfileFile ini = ProfileFile::load(*options_.iniPath);
        header = ini.readText("CSV", "CSV_Index", header);
        utc = utc || ini.readBool("CSV", "UTC", false);
    }
    // A row or block that cannot be written is said once, and so is the return of space.
    const auto reportFile = [this](const LogFileNotice& notice) { err_ << "tessaly-cli bridge: " << notice.text << "\n"; };
    csv_.setNoticeHandler(reportFile);
    raw_.setNoticeHandler(reportFile);
    rawReturn_.setNoticeHandler(reportFile);
    if (options_.csvPath && !csv_.start(*options_.csvPath, header, utc)) {
        err_ << "tessaly-cli bridge: cannot create " << *options_.csvPath << "\n";
        return false;
    }
    for (const auto& [path, capture] : {std::pair{&options_.rawPath, &raw_}, std::pair{&options_.rawReturnPath, &rawReturn_}}) {
        if (*path && !capture->start(**path)) {
            err_ << "tessaly-cli bridge: cannot create " << **path << "\n";
            return false;
        }
    }
    return true;
}

void BridgeSession::noticed(std::size_t index, const LinkNotice& notice) {
    const Side& side = sides_[index];
    const std::string what = side.name + " link " + endpointAddressText(side.address);
    const bool input = index == 0;
    switch (notice.what) {
    case LinkNotice::What::Lost:
        if (input) monitor_.decoder().clearReceptionStatus();
        err_ << "tessaly-cli bridge: " << what << " lost" << (notice.error.empty() ? "" : " (" + notice.error + ")")
             << "; reconnecting in " << secondsText(notice.retryIn) << "\n";
        break;
    case LinkNotice::What::RetryFailed:
        err_ << "tessaly-cli bridge: " << side.name << " link: " << notice.error << "; next attempt in "
             << secondsText(notice.retryIn) << "\n";
        break;
    case LinkNotice::What::Reopened:
        err_ << "tessaly-cli bridge: " << what << " open\n";
        if (input) {
            resetMonitor();
            pollOpenedInput();
        } else if (index == 1) {
            rover_.clearPending();
        }
        break;
    }
}

void BridgeSession::watchInput(LinkBytes block) {
    raw_.write(block);
    monitor_.scanBlock(block);
}

void BridgeSession::watchReturn(LinkBytes block) {
    rawReturn_.write(block);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    rover_.feed(block, static_cast<std::uint32_t>(ms));
}

void BridgeSession::resetMonitor() {
    monitor_.scanner().clearPending();
    monitor_.decoder().clear();
    channels_.clear();
}

void BridgeSession::pollOpenedInput() {
    // A listening input is polled when its source dials in; a poll at its own open would reach a
    // source that dialled in that instant twice.
    if (options_.input.kind != EndpointAddress::Kind::TcpServer) sendFirmwareVersionPoll();
}

void BridgeSession::sendFirmwareVersionPoll() {
    // A caster relays a receiver's stream but is none: it would not answer, and the poll is no
    // business of the rovers' sources.
    if (options_.input.kind == EndpointAddress::Kind::NtripClient) return;
    CommandTextOutputs outputs;
    outputs.writeToInput = [this](const CommandBytes& bytes) { links_->sendToInput(bytes); };
    outputs.showError = [this](const std::string& text) { err_ << "tessaly-cli bridge: " << text << "\n"; };
    timedRuns_.start(commandTextSteps(kFirmwareVersionPoll, outputs));
}

void BridgeSession::run() {
    auto nextStatus = Clock::now() + kStatusInterval;
    while (!stopRequested_) {
        auto wakeAt = nextStatus;
        if (const auto attempt = links_->nextAttempt()) wakeAt = std::min(wakeAt, *attempt);
        if (const auto due = timer_.nextDue()) wakeAt = std::min(wakeAt, *due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        loop_->processEventsFor(static_cast<std::uint32_t>(std::max<long long>(left, 0)));
        if (stopRequested_) break;
        timer_.runDue(Clock::now());
        links_->supervise(Clock::now());
        if (Clock::now() >= nextStatus) {
            printStatus();
            nextStatus = std::max(nextStatus + kStatusInterval, Clock::now());
        }
    }
}

void BridgeSession::printStatus() {
    BridgeStatus status;
    status.bytesNotReturned = links_->bytesNotReturned();
    status.inputOpen = links_->input().isOpen();
    status.outputOpen = links_->output().isOpen();
    for (std::size_t index = 0; index < links_->outputCount(); ++index) {
        const LinkEndpoint& link = links_->output(index);
        const EndpointAddress& address = sides_[index + 1].address;
        OutputStatus entry{endpointAddressText(address), link.isOpen(), links_->bytesWrittenTo(index), {}, {}};
        if (address.kind == EndpointAddress::Kind::TcpServer) {
            entry.clients = link.server().clients();
            entry.clientsDropped = link.server().clientsDropped();
        }
        status.outputs.push_back(std::move(entry));
    }
    status.channelA = channels_.channel(Channel::A);
    status.channelB = channels_.channel(Channel::B);
    status.bothFailed = monitor_.decoder().bothFailedCount();
    status.bytesToOutput = links_->bytesToOutputs();
    status.bytesToInput = links_->bytesToInput();
    status.framesDropped = monitor_.counters().framesDropped;
    status.framesDroppedBy = monitor_.counters().framesDroppedBy;
    status.monitorBytesSkipped = links_->watchSkipped();
    status.csvRowsLost = csv_.file().lost();
    status.rawBytesLost = raw_.file().lost() + rawReturn_.file().lost();
    status.rover = rover_.status();
    out_ << (options_.json ? statusLineJson(status) : statusLineText(status)) << "\n" << std::flush;
}

void BridgeSession::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    timedRuns_.cancelAll();
    links_->closeAll();
    // Waits for a reader still forwarding its last block; no link thread reaches the bridge after.
    loop_->shutdown();
    // That block was relayed, so the log has its rows too.
    links_->watchTheRest();
    csv_.stop();
    raw_.stop();
    rawReturn_.stop();
}

}  // namespace tessaly
