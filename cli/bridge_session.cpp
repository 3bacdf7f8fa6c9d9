#include "cli/bridge_session.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <thread>

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
    input_.name = "input";
    output_.name = "output";
    const auto pump = [this](std::uint32_t ms) { pumpWhileConnecting(ms); };
    input_.endpoint = std::make_unique<BridgeEndpoint>(
        options.input, true, loop_, [this](LinkBytes block) { inputBlock(block); }, pump);
    output_.endpoint = std::make_unique<BridgeEndpoint>(
        options.output, false, loop_, [this](LinkBytes block) { outputBlock(block); }, pump);
    router_ = std::make_unique<LinkRouter>([this](LinkBytes block) { monitor_.scanBlock(block); },
                                           input_.endpoint->serialWriter(), input_.endpoint->tcpWriter(),
                                           output_.endpoint->serialWriter(), output_.endpoint->tcpWriter());
}

BridgeSession::~BridgeSession() { shutDown(); }

void BridgeSession::requestStop() {
    stopRequested_ = true;
    loop_->wake();
}

bool BridgeSession::start() {
    if (!openFiles()) return false;
    resetMonitor();
    if (!openSide(input_)) return false;
    sendFirmwareVersionPoll();
    return openSide(output_);
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
    if (options_.csvPath && !csv_.start(*options_.csvPath, header, utc)) {
        err_ << "tessaly-cli bridge: cannot create " << *options_.csvPath << "\n";
        return false;
    }
    if (options_.rawPath) {
        raw_.reset(std::fopen(options_.rawPath->c_str(), "wb"));
        if (!raw_) {
            err_ << "tessaly-cli bridge: cannot create " << *options_.rawPath << "\n";
            return false;
        }
    }
    return true;
}

bool BridgeSession::openSide(Side& side) {
    std::string error;
    if (side.endpoint->open(error)) return true;
    err_ << "tessaly-cli bridge: " << side.name << " link: " << error << "\n";
    return false;
}

void BridgeSession::inputBlock(LinkBytes block) {
    bytesToOutput_ += block.size();
    if (raw_ && std::fwrite(block.data(), 1, block.size(), raw_.get()) != block.size() && !rawFailed_) {
        rawFailed_ = true;
        err_ << "tessaly-cli bridge: cannot write " << *options_.rawPath << "; the raw capture is incomplete\n";
    }
    router_->inputBlock(block);
}

void BridgeSession::outputBlock(LinkBytes block) {
    bytesToInput_ += block.size();
    router_->outputBlock(block);
}

void BridgeSession::resetMonitor() {
    monitor_.scanner().clearPending();
    monitor_.decoder().clear();
    channels_.clear();
}

void BridgeSession::sendFirmwareVersionPoll() {
    CommandTextOutputs outputs;
    outputs.writeToInput = [this](const CommandBytes& bytes) { router_->ForwardToInput(bytes); };
    outputs.showError = [this](const std::string& text) { err_ << "tessaly-cli bridge: " << text << "\n"; };
    outputs.wait = [this](std::int32_t ms) { waitMs(ms); };
    runCommandText(kFirmwareVersionPoll, outputs);
}

void BridgeSession::waitMs(std::int32_t ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (auto now = Clock::now(); now < deadline && !stopRequested_; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        loop_->processEventsFor(static_cast<std::uint32_t>(left) + 1);
    }
}

void BridgeSession::pumpWhileConnecting(std::uint32_t ms) {
    // Until both links are open no block is routed: a block routed while the output connects
    // would be dropped there. The links' readers wait to hand their blocks over, and the bytes
    // stay with the sockets and the devices, held back by their flow control.
    if (!running_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    loop_->processEventsFor(ms);
}

void BridgeSession::run() {
    running_ = true;
    auto nextStatus = Clock::now() + kStatusInterval;
    while (!stopRequested_) {
        auto wakeAt = nextStatus;
        for (const Side* side : {&input_, &output_}) {
            if (side->down) wakeAt = std::min(wakeAt, side->endpoint->backoff().retryAt());
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        loop_->processEventsFor(static_cast<std::uint32_t>(std::max<long long>(left, 0)));
        if (stopRequested_) break;
        supervise(input_);
        supervise(output_);
        if (Clock::now() >= nextStatus) {
            printStatus();
            nextStatus = std::max(nextStatus + kStatusInterval, Clock::now());
        }
    }
}

void BridgeSession::supervise(Side& side) {
    BridgeEndpoint& endpoint = *side.endpoint;
    const std::string what = std::string(side.name) + " link " + endpointAddressText(endpoint.address());
    if (endpoint.lost()) {
        endpoint.close();
        if (&side == &input_) monitor_.decoder().clearReceptionStatus();
        side.down = true;
        const auto wait = endpoint.backoff().failed(Clock::now());
        err_ << "tessaly-cli bridge: " << what << " lost; reconnecting in " << secondsText(wait) << "\n";
    }
    if (!side.down || !endpoint.backoff().due(Clock::now())) return;
    if (&side == &input_) resetMonitor();
    std::string error;
    if (!endpoint.open(error)) {
        const auto wait = endpoint.backoff().failed(Clock::now());
        err_ << "tessaly-cli bridge: " << error << "; next attempt in " << secondsText(wait) << "\n";
        return;
    }
    side.down = false;
    endpoint.backoff().succeeded();
    err_ << "tessaly-cli bridge: " << what << " open again\n";
    if (&side == &input_) sendFirmwareVersionPoll();
}

void BridgeSession::printStatus() {
    BridgeStatus status;
    status.inputOpen = input_.endpoint->isOpen();
    status.outputOpen = output_.endpoint->isOpen();
    status.channelA = channels_.channel(Channel::A);
    status.channelB = channels_.channel(Channel::B);
    status.bothFailed = monitor_.decoder().bothFailedCount();
    status.bytesToOutput = bytesToOutput_;
    status.bytesToInput = bytesToInput_;
    status.framesDropped = monitor_.counters().framesDropped;
    out_ << (options_.json ? statusLineJson(status) : statusLineText(status)) << "\n" << std::flush;
    // So that the capture can be read while the bridge runs.
    if (raw_) std::fflush(raw_.get());
}

void BridgeSession::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    input_.endpoint->close();
    output_.endpoint->close();
    // Releases a link thread still waiting to hand over a block; nothing runs here any more.
    loop_->shutdown();
    csv_.stop();
    raw_.reset();
}

}  // namespace tessaly
