#include "cli/sink_command.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>

#include "cli/client_connection.h"
#include "cli/number_option.h"
#include "cli/receiver_messages.h"
#include "cli/simulated_rover.h"
#include "cli/stop_request.h"
#include "cli/tcp_server_socket.h"
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

// A client and its stream, cut by the program's own scanner; each client's stream is scanned
// apart, since their bytes interleave at random. The rover answers each L6 message to the client
// that sent it.
class SinkClient final : private ScanObserver {
public:
    SinkClient(int socket, std::string peer, SinkCounts& counts, SimulatedRover& rover)
        : connection(socket, std::move(peer)), counts_(counts), rover_(rover), scanner_(*this) {}

    void scanBlock(ByteView block, std::int64_t nowMs) {
        counts_.bytes += block.size();
        nowMs_ = nowMs;
        scanner_.scanBlock(block);
    }

    // False when the client has more queued than it reads.
    bool send(ByteView bytes, std::uint64_t& counted) {
        if (!connection.queue(bytes)) return false;
        counted += bytes.size();
        return true;
    }

    ClientConnection connection;
    bool closed = false;
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

    SinkCounts& counts_;
    SimulatedRover& rover_;
    std::int64_t nowMs_ = 0;  // of the block being scanned
    UbxFrameScanner scanner_;
};

class SinkServer {
public:
    SinkServer(int listener, std::uint32_t echoRate, std::ostream& out, std::ostream& err)
        : listener_(listener), echoRate_(echoRate), out_(out), err_(err) {}
    ~SinkServer() { ::close(listener_); }

    void run(const StopRequest& stop) {
        start_ = Clock::now();
        nextStatus_ = start_ + kStatusInterval;
        nextEcho_ = start_ + kEchoInterval;
        while (!stop.requested()) {
            const auto now = Clock::now();
            if (now >= nextStatus_) {
                sendEpoch(now);
                printStatus(now);
            }
            if (echoRate_ > 0 && now >= nextEcho_) echo(now);
            std::vector<pollfd> fds = pollList();
            auto due = nextStatus_;
            if (echoRate_ > 0 && !clients_.empty()) due = std::min(due, nextEcho_);
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
            if (stop.waitForEvents(fds.data(), fds.size(), wait) > 0) handleEvents(fds);
        }
        out_ << "sink: total " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << counts_.echoed << " bytes echoed, " << counts_.roverBytes
             << " rover bytes sent" << std::endl;
    }

private:
    std::int64_t msSinceStart(Clock::time_point now) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    }

    void sendEpoch(Clock::time_point now) {
        const Bytes messages = rover_.epoch(msSinceStart(now));
        for (auto& client : clients_) {
            client->send(messages, counts_.roverBytes);
            if (!client->connection.flush()) client->closed = true;
        }
    }

    void printStatus(Clock::time_point now) {
        out_ << "sink: " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << (counts_.bytes - bytesAtLastStatus_)
             << " B/s, " << counts_.echoed << " bytes echoed, " << clients_.size() << " clients, rover "
             << roverFixName(rover_.fix(msSinceStart(now))) << std::endl;
        bytesAtLastStatus_ = counts_.bytes;
        nextStatus_ += kStatusInterval;
        if (nextStatus_ <= now) nextStatus_ = now + kStatusInterval;
    }

    void echo(Clock::time_point now) {
        const std::uint64_t slice = echoRate_ / 10 + (echoRate_ % 10 != 0);
        // The echo repeats the rover's current solution, as a rover at a high rate would.
        const Bytes frame = rover_.navPvt(msSinceStart(now));
        for (auto& client : clients_) {
            client->echoDue += slice;
            while (client->echoDue >= frame.size()) {
                client->echoDue -= frame.size();
                if (!client->send(frame, counts_.echoed)) break;  // not reading: leave it be
            }
            if (!client->connection.flush()) client->closed = true;
        }
        nextEcho_ += kEchoInterval;
        if (nextEcho_ <= now) nextEcho_ = now + kEchoInterval;
    }

    std::vector<pollfd> pollList() const { return clientPollList(listener_, clients_); }

    void handleEvents(const std::vector<pollfd>& fds) {
        const std::int64_t nowMs = msSinceStart(Clock::now());
        serveClients(fds, clients_, [nowMs](SinkClient& client, ByteView block) { client.scanBlock(block, nowMs); });
        std::erase_if(clients_, [&](const std::unique_ptr<SinkClient>& client) {
            if (client->closed) err_ << "sink: client " << client->connection.peer() << " disconnected" << std::endl;
            return client->closed;
        });
        if (fds[0].revents & POLLIN) {
            std::string peer;
            while (const auto socket = acceptClient(listener_, peer)) {
                clients_.push_back(std::make_unique<SinkClient>(*socket, peer, counts_, rover_));
                err_ << "sink: client " << peer << " connected" << std::endl;
            }
        }
    }

    int listener_;
    std::uint32_t echoRate_;
    std::ostream& out_;
    std::ostream& err_;
    SinkCounts counts_;
    std::uint64_t bytesAtLastStatus_ = 0;
    SimulatedRover rover_;
    Clock::time_point start_;
    Clock::time_point nextStatus_;
    Clock::time_point nextEcho_;
    std::vector<std::unique_ptr<SinkClient>> clients_;
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
    std::string error;
    const StopRequest stop;
    const auto listener = listenLocal(options.port, error);
    if (!listener) {
        err << "tessaly-cli sink: " << error << "\n";
        return 2;
    }
    err << "sink: listening on 127.0.0.1:" << localPort(*listener) << ", echo "
        << options.echoRate << " B/s" << std::endl;
    SinkServer server(*listener, options.echoRate, out, err);
    server.run(stop);
    return 0;
}

}  // namespace tessaly
