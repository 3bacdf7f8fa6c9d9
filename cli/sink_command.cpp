#include "cli/sink_command.h"

#include <chrono>
#include <map>
#include <memory>
#include <ostream>

#include "cli/local_server.h"
#include "cli/number_option.h"
#include "cli/receiver_messages.h"
#include "cli/simulated_rover.h"
#include "monitor/frame_scanner.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStatusInterval = std::chrono::seconds(1);
// The echo goes out in slices this far apart, so that a rate is kept without a wake-up per byte.
constexpr auto kEchoInterval = std::chrono::milliseconds(100);
// Far above what a receiver sends back over a link; beyond it the echo alone would keep a core busy.
constexpr std::uint32_t kMaxEchoRate = 10'000'000;

struct SinkCounts {
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;
    std::uint64_t echoed = 0;
    std::uint64_t roverBytes = 0;  // solutions and correction reports of the simulated rover
};

bool isL6Message(ByteView frameOrCut) {
    return frameOrCut[2] == kUbxClassRxm && frameOrCut[3] == kUbxIdRxmL6;
}

// A client's stream, cut by the program's own scanner; each client's stream is scanned apart,
// since their bytes interleave at random. The rover answers each L6 message to the client that
// sent it.
class SinkClient final : private ScanObserver {
public:
    SinkClient(TcpClientId id, LocalServer& server, SinkCounts& counts, SimulatedRover& rover)
        : id_(id), server_(server), counts_(counts), rover_(rover), scanner_(*this) {}

    void scanBlock(ByteView block, std::int64_t nowMs) {
        counts_.bytes += block.size();
        nowMs_ = nowMs;
        scanner_.scanBlock(block);
    }
    void send(ByteView bytes, std::uint64_t& counted) {
        server_.writeTo(id_, bytes);
        counted += bytes.size();
    }

    std::uint64_t echoDue = 0;  // echo bytes owed but not yet a whole frame

private:
    void frameFound(ByteView frame) override {
        ++counts_.frames;
        if (isL6Message(frame)) send(rover_.correctionReceived(frame, true, nowMs_), counts_.roverBytes);
    }
    void frameDropped(ByteView cut, DropReason) override {
        ++counts_.dropped;
        if (isL6Message(cut)) send(rover_.correctionReceived(cut, false, nowMs_), counts_.roverBytes);
    }

    const TcpClientId id_;
    LocalServer& server_;
    SinkCounts& counts_;
    SimulatedRover& rover_;
    std::int64_t nowMs_ = 0;  // of the block being scanned
    UbxFrameScanner scanner_;
};

// Runs on the server's loop; the totals are read once it stopped.
class SinkServer {
public:
    SinkServer(LocalServer& server, std::uint32_t echoRate, std::ostream& out)
        : server_(server), echoRate_(echoRate), out_(out) {}

    LocalServer::Handlers handlers() {
        return {[this](TcpClientId id) { clients_[id] = std::make_unique<SinkClient>(id, server_, counts_, rover_); },
                [this](TcpClientId id, LinkBytes block) { clients_.at(id)->scanBlock(block, msSinceStart(Clock::now())); },
                [this](TcpClientId id) { clients_.erase(id); }};
    }

    void start() {
        start_ = Clock::now();
        server_.repeat(start_ + kStatusInterval, [this, next = start_ + kStatusInterval]() mutable {
            const auto now = Clock::now();
            sendEpoch(now);
            printStatus(now);
            return next = nextAfter(next, now, kStatusInterval);
        });
        if (echoRate_ == 0) return;
        server_.repeat(start_ + kEchoInterval, [this, next = start_ + kEchoInterval]() mutable {
            const auto now = Clock::now();
            echo(now);
            return next = nextAfter(next, now, kEchoInterval);
        });
    }

    void printTotals() {
        out_ << "sink: total " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << counts_.echoed << " bytes echoed, " << counts_.roverBytes
             << " rover bytes sent" << std::endl;
    }

private:
    // Keeps the beat; a loop that fell behind it goes on from now.
    static Clock::time_point nextAfter(Clock::time_point due, Clock::time_point now, Clock::duration interval) {
        due += interval;
        return due <= now ? now + interval : due;
    }

    std::int64_t msSinceStart(Clock::time_point now) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    }

    void sendEpoch(Clock::time_point now) {
        const Bytes messages = rover_.epoch(msSinceStart(now));
        for (auto& [id, client] : clients_) client->send(messages, counts_.roverBytes);
    }

    void printStatus(Clock::time_point now) {
        out_ << "sink: " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << (counts_.bytes - bytesAtLastStatus_)
             << " B/s, " << counts_.echoed << " bytes echoed, " << clients_.size() << " clients, rover "
             << roverFixName(rover_.fix(msSinceStart(now))) << std::endl;
        bytesAtLastStatus_ = counts_.bytes;
    }

    // The slice owed to each client goes out as one block of whole frames.
    void echo(Clock::time_point now) {
        const std::uint64_t slice = echoRate_ / 10 + (echoRate_ % 10 != 0);
        // The echo repeats the rover's current solution, as a rover at a high rate would.
        const Bytes frame = rover_.navPvt(msSinceStart(now));
        for (auto& [id, client] : clients_) {
            client->echoDue += slice;
            Bytes frames;
            for (; client->echoDue >= frame.size(); client->echoDue -= frame.size()) {
                frames.insert(frames.end(), frame.begin(), frame.end());
            }
            if (!frames.empty()) client->send(frames, counts_.echoed);
        }
    }

    LocalServer& server_;
    std::uint32_t echoRate_;
    std::ostream& out_;
    SinkCounts counts_;
    std::uint64_t bytesAtLastStatus_ = 0;
    SimulatedRover rover_;
    Clock::time_point start_;
    std::map<TcpClientId, std::unique_ptr<SinkClient>> clients_;
};

}  // namespace

std::optional<SinkOptions> parseSinkOptions(const std::vector<std::string>& args, std::string& error) {
    SinkOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name != "--port" && name != "--echo-rate") {
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (name == "--port") {
            const auto port = parseNumberOption<unsigned>(name, value, 0, 65535, error);
            if (!port) return std::nullopt;
            options.port = static_cast<std::uint16_t>(*port);
        } else {
            const auto rate = parseNumberOption<std::uint32_t>(name, value, 0, kMaxEchoRate, error);
            if (!rate) return std::nullopt;
            options.echoRate = *rate;
        }
    }
    return options;
}

int runSink(const SinkOptions& options, std::ostream& out, std::ostream& err) {
    LocalServer server("sink", err);
    SinkServer sink(server, options.echoRate, out);
    std::string error;
    const bool listening = server.listen(options.port, sink.handlers(), [&] {
        err << "sink: listening on 127.0.0.1:" << server.port() << ", echo " << options.echoRate << " B/s"
            << std::endl;
        sink.start();
    }, error);
    if (!listening) {
        err << "tessaly-cli sink: " << error << "\n";
        return 2;
    }
    server.runUntilStopped();
    sink.printTotals();
    return 0;
}

}  // namespace tessaly
