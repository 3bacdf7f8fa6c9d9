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
      monitor_(monitorOutputs(channels_, csv_, clock_)),
      input_{options.input, "input", nullptr} {
    auto inputHooks = hooks(input_, [this](LinkBytes block) {
        bytesToOutput_ += block.size();
        router_->ForwardToOutput(block);
    });
    inputHooks.watch = [this](LinkBytes block) { watchInput(block); };
    // A frame is never stitched together across bytes the monitor did not see.
    inputHooks.watchSkipped = [this](std::uint64_t) { monitor_.scanner().clearPending(); };
    input_.endpoint = std::make_unique<LinkEndpoint>(true, ioLoop_, loop_, std::move(inputHooks));
    std::vector<LinkWriter> outputWriters;
    for (const EndpointAddress& address : options.outputs) {
        const bool first = outputs_.empty();
        auto side = std::make_unique<Side>();
        side->address = address;
        side->name = first ? "output" : "output " + std::to_string(outputs_.size() + 1);
        // Bytes from several receivers interleaved would break each other's frames: only the first
        // output speaks to the input, the others' bytes are read and counted. A listening output
        // speaks only when the station allows it, since whoever dials in first would be heard.
        const bool returns =
            first && (address.kind != EndpointAddress::Kind::TcpServer || options.returnFromServedClient);
        auto received = returns ? std::function<void(LinkBytes)>([this](LinkBytes block) {
                                    bytesToInput_ += block.size();
                                    router_->ForwardToInput(block);
                                })
                              : [this](LinkBytes block) { bytesNotReturned_ += block.size(); };
        auto outputHooks = hooks(*side, std::move(received));
        if (first) {
            outputHooks.watch = [this](LinkBytes block) { watchReturn(block); };
            outputHooks.watchSkipped = [this](std::uint64_t) { rover_.clearPending(); };
        }
        side->endpoint = std::make_unique<LinkEndpoint>(false, ioLoop_, loop_, std::move(outputHooks));
        outputWriters.push_back(countingWriter(*side));
        outputs_.push_back(std::move(side));
    }
    router_ = std::make_unique<LinkRouter>(std::vector{input_.endpoint->writer()}, std::move(outputWriters));
}

LinkEndpointHooks BridgeSession::hooks(Side& side, std::function<void(LinkBytes)> blockRead) {
    LinkEndpointHooks hooks;
    hooks.blockRead = std::move(blockRead);
    hooks.noticed = [this, &side](const LinkNotice& notice) { noticed(side, notice); };
    hooks.clientNoticed = [this, &side](bool connected, const std::string& text) {
        err_ << "tessaly-cli bridge: " << side.name << " link " << endpointAddressText(side.address) << ": "
             << (connected ? text + " connected" : text) << "\n";
        // A source that dials in is a receiver that came: its stream starts afresh.
        if (connected && &side == &input_) {
            resetMonitor();
            sendFirmwareVersionPoll();
        }
    };
    hooks.pumpEventsFor = [this](std::uint32_t ms) { loop_->processEventsFor(ms); };
    hooks.processEvents = [this] { loop_->processPending(); };
    return hooks;
}

LinkWriter BridgeSession::countingWriter(Side& side) {
    LinkWriter writer = side.endpoint->writer();
    return LinkWriter{writer.isOpen, [&side, write = writer.write](LinkBytes block) {
                          side.bytesWritten += block.size();
                          write(block);
                      }};
}

BridgeSession::~BridgeSession() { shutDown(); }

void BridgeSession::requestStop() {
    stopRequested_ = true;
    // An attempt to open a link waits with the loop's tasks running (a caster's slow answer):
    // the links close among them, which ends the attempt, so the stop does not wait for it.
    loop_->post([this] {
        for (Side* side : sides()) side->endpoint->close();
    });
}

bool BridgeSession::start() {
    if (!openFiles()) return false;
    resetMonitor();
    for (const auto& output : outputs_) {
        if (!stopRequested_) output->endpoint->openOrRetry(output->address, Clock::now());
    }
    if (!stopRequested_) input_.endpoint->openOrRetry(input_.address, Clock::now());
    if (input_.endpoint->isOpen()) pollOpenedInput();
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

void BridgeSession::noticed(Side& side, const LinkNotice& notice) {
    const std::string what = side.name + " link " + endpointAddressText(side.address);
    const bool input = &side == &input_;
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
        } else if (&side == outputs_.front().get()) {
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
    outputs.writeToInput = [this](const CommandBytes& bytes) { router_->ForwardToInput(bytes); };
    outputs.showError = [this](const std::string& text) { err_ << "tessaly-cli bridge: " << text << "\n"; };
    timedRuns_.start(commandTextSteps(kFirmwareVersionPoll, outputs));
}

void BridgeSession::run() {
    auto nextStatus = Clock::now() + kStatusInterval;
    while (!stopRequested_) {
        auto wakeAt = nextStatus;
        for (const Side* side : sides()) {
            if (const auto attempt = side->endpoint->nextAttempt()) wakeAt = std::min(wakeAt, *attempt);
        }
        if (const auto due = timer_.nextDue()) wakeAt = std::min(wakeAt, *due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        loop_->processEventsFor(static_cast<std::uint32_t>(std::max<long long>(left, 0)));
        if (stopRequested_) break;
        timer_.runDue(Clock::now());
        for (Side* side : sides()) side->endpoint->supervise(Clock::now());
        if (Clock::now() >= nextStatus) {
            printStatus();
            nextStatus = std::max(nextStatus + kStatusInterval, Clock::now());
        }
    }
}

std::vector<BridgeSession::Side*> BridgeSession::sides() {
    std::vector<Side*> all{&input_};
    for (const auto& output : outputs_) all.push_back(output.get());
    return all;
}

void BridgeSession::printStatus() {
    BridgeStatus status;
    status.bytesNotReturned = bytesNotReturned_;
    status.inputOpen = input_.endpoint->isOpen();
    status.outputOpen = outputs_.front()->endpoint->isOpen();
    for (const auto& output : outputs_) {
        OutputStatus entry{endpointAddressText(output->address), output->endpoint->isOpen(), output->bytesWritten, {}, {}};
        if (output->address.kind == EndpointAddress::Kind::TcpServer) {
            entry.clients = output->endpoint->server().clients();
            entry.clientsDropped = output->endpoint->server().clientsDropped();
            // The clients after the first are read by the server alone.
            status.bytesNotReturned += output->endpoint->server().bytesNotForwarded();
        }
        status.outputs.push_back(std::move(entry));
    }
    status.channelA = channels_.channel(Channel::A);
    status.channelB = channels_.channel(Channel::B);
    status.bothFailed = monitor_.decoder().bothFailedCount();
    status.bytesToOutput = bytesToOutput_;
    status.bytesToInput = bytesToInput_;
    status.framesDropped = monitor_.counters().framesDropped;
    status.framesDroppedBy = monitor_.counters().framesDroppedBy;
    status.monitorBytesSkipped = input_.endpoint->watchSkipped() + outputs_.front()->endpoint->watchSkipped();
    status.csvRowsLost = csv_.file().lost();
    status.rawBytesLost = raw_.file().lost() + rawReturn_.file().lost();
    status.rover = rover_.status();
    out_ << (options_.json ? statusLineJson(status) : statusLineText(status)) << "\n" << std::flush;
}

void BridgeSession::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    timedRuns_.cancelAll();
    for (Side* side : sides()) side->endpoint->close();
    // Waits for a reader still forwarding its last block; no link thread reaches the bridge after.
    loop_->shutdown();
    // That block was relayed, so the log has its rows too.
    for (Side* side : sides()) side->endpoint->watchTheRest();
    csv_.stop();
    raw_.stop();
    rawReturn_.stop();
}

}  // namespace tessaly
