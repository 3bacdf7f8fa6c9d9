#include "cli/bridge_session.h"

#include <chrono>
#include <filesystem>
#include <ostream>

#include "monitor/csv_row.h"
#include "settings/profile_file.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

std::string secondsText(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}

}  // namespace

BridgeSession::BridgeSession(const BridgeOptions& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err), loop_(std::make_shared<OwnerLoop>()) {
    sides_.push_back({options.input, "input"});
    for (const EndpointAddress& address : options.outputs) {
        sides_.push_back({address, sides_.size() == 1 ? "output" : "output " + std::to_string(sides_.size())});
    }
    StationConfig config;
    config.outputs = options.outputs.size();
    // The rover's counts are what a station's operator reads: since the bridge started.
    config.resetRoverWithMonitor = false;
    // Whoever dials in to a listening output first would be heard by the receiver.
    config.returnFromServedClients = options.returnFromServedClient;
    StationSeams seams;
    seams.loop = std::make_shared<IoLoop>();
    seams.owner = loop_;
    seams.timer = &timer_;
    station_ = std::make_unique<Station>(config, std::move(seams), face());
}

StationFace BridgeSession::face() {
    StationFace face;
    face.reports = &channels_;
    face.monitorReset = [this] { channels_.clear(); };
    face.linkNoticed = [this](std::size_t side, const LinkNotice& notice) { noticed(side, notice); };
    face.clientNoticed = [this](std::size_t side, bool connected, const std::string& text) {
        clientNoticed(side, connected, text);
    };
    face.commandRefused = [this](const std::string& expected) {
        err_ << "tessaly-cli bridge: a command frame has a wrong checksum (right: " << expected << ")\n";
    };
    // A row or block that cannot be written is said once, and so is the return of space.
    face.fileNoticed = [this](const LogFileNotice& notice) { err_ << "tessaly-cli bridge: " << notice.text << "\n"; };
    face.processEvents = [this] { loop_->processPending(); };
    return face;
}

BridgeSession::~BridgeSession() { station_->stop(); }

void BridgeSession::requestStop() {
    stopRequested_ = true;
    // The links close among the loop's next tasks; an attempt under way (a caster's slow answer)
    // is dropped with them, so the stop waits for nothing.
    loop_->post([this] { station_->closeAll(); });
}

bool BridgeSession::start() {
    if (!openFiles()) return false;
    // What this run relays, once, for the log of a station that runs for months.
    err_ << "tessaly-cli bridge: " << utcTimeText(std::chrono::system_clock::now()) << " relaying";
    for (const Side& side : sides_) err_ << (&side == &sides_.front() ? " " : ", ") << side.name << " " << endpointAddressText(side.address);
    err_ << "\n";
    // The outputs first, so they have been tried before the first input byte is read.
    for (std::size_t side = 1; side < sides_.size(); ++side) {
        if (!stopRequested_) station_->openOrRetry(side, sides_[side].address);
    }
    if (!stopRequested_) station_->openOrRetry(0, sides_[0].address);
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
    const auto cannotCreate = [this](const std::string& path) {
        err_ << "tessaly-cli bridge: cannot create " << path << "\n";
        return false;
    };
    if (options_.csvPath && !station_->startCsvLog(*options_.csvPath, header, utc)) return cannotCreate(*options_.csvPath);
    if (options_.rawPath && !station_->startCapture(*options_.rawPath)) return cannotCreate(*options_.rawPath);
    if (options_.rawReturnPath && !station_->startReturnCapture(*options_.rawReturnPath)) {
        return cannotCreate(*options_.rawReturnPath);
    }
    return true;
}

void BridgeSession::noticed(std::size_t index, const LinkNotice& notice) {
    const Side& side = sides_[index];
    const std::string what = side.name + " link " + endpointAddressText(side.address);
    switch (notice.what) {
    case LinkNotice::What::Lost:
        err_ << "tessaly-cli bridge: " << what << " lost" << (notice.error.empty() ? "" : " (" + notice.error + ")")
             << "; reconnecting in " << secondsText(notice.retryIn) << "\n";
        break;
    case LinkNotice::What::RetryFailed:
        err_ << "tessaly-cli bridge: " << side.name << " link: " << notice.error << "; next attempt in "
             << secondsText(notice.retryIn) << "\n";
        break;
    case LinkNotice::What::Reopened:
        err_ << "tessaly-cli bridge: " << what << " open\n";
        break;
    }
}

void BridgeSession::clientNoticed(std::size_t index, bool connected, const std::string& text) {
    err_ << "tessaly-cli bridge: " << sides_[index].name << " link " << endpointAddressText(sides_[index].address)
         << ": " << (connected ? text + " connected" : text) << "\n";
}

void BridgeSession::run() {
    auto nextStatus = Clock::now() + options_.interval;
    while (!stopRequested_) {
        auto wakeAt = nextStatus;
        if (const auto attempt = station_->links().nextAttempt()) wakeAt = std::min(wakeAt, *attempt);
        if (const auto due = timer_.nextDue()) wakeAt = std::min(wakeAt, *due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
        loop_->processEventsFor(static_cast<std::uint32_t>(std::max<long long>(left, 0)));
        if (stopRequested_) break;
        timer_.runDue(Clock::now());
        station_->supervise();
        if (Clock::now() >= nextStatus) {
            printStatus();
            nextStatus = std::max(nextStatus + options_.interval, Clock::now());
        }
    }
}

void BridgeSession::printStatus() {
    const StationLinks& links = station_->links();
    const ReceiverMonitor& monitor = station_->monitor();
    BridgeStatus status;
    status.utcTime = utcTimeText(std::chrono::system_clock::now());
    status.bytesNotReturned = links.bytesNotReturned();
    status.inputOpen = station_->side(0).isOpen();
    status.outputOpen = station_->side(1).isOpen();
    for (std::size_t index = 0; index < links.outputCount(); ++index) {
        const LinkEndpoint& link = station_->side(index + 1);
        const EndpointAddress& address = sides_[index + 1].address;
        OutputStatus entry{endpointAddressText(address), link.isOpen(), links.bytesWrittenTo(index), {}, {}};
        if (address.kind == EndpointAddress::Kind::TcpServer) {
            entry.clients = link.server().clients();
            entry.clientsDropped = link.server().clientsDropped();
        }
        status.outputs.push_back(std::move(entry));
    }
    status.channelA = channels_.channel(Channel::A);
    status.channelB = channels_.channel(Channel::B);
    status.bothFailed = monitor.decoder().bothFailedCount();
    status.bytesToOutput = links.bytesToOutputs();
    status.bytesToInput = links.bytesToInput();
    status.framesDropped = monitor.counters().framesDropped;
    status.framesDroppedBy = monitor.counters().framesDroppedBy;
    status.monitorBytesSkipped = links.watchSkipped();
    status.csvRowsLost = station_->csvLog().file().lost();
    status.rawBytesLost = station_->capture().file().lost() + station_->returnCapture().file().lost();
    status.rover = station_->rover().status();
    out_ << (options_.json ? statusLineJson(status) : statusLineText(status)) << "\n" << std::flush;
}

}  // namespace tessaly
