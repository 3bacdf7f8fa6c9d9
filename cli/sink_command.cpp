#include "cli/sink_command.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>

#include "cli/client_connection.h"
#include "cli/number_option.h"
#include "cli/receiver_messages.h"
#include "cli/stop_request.h"
#include "cli/tcp_server_socket.h"
#include "monitor/frame_scanner.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStatusInterval = std::chrono::seconds(1);
// The echo goes out in slices this far apart, so that a rate is kept without a wake-up per byte.
constexpr auto kEchoInterval = std::chrono::milliseconds(100);
constexpr std::size_t kNavPvtPayloadSize = 92;
// Far above what a receiver sends back over a link; beyond it the echo alone would keep a core busy.
constexpr std::uint32_t kMaxEchoRate = 10'000'000;

struct SinkCounts {
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;
    std::uint64_t echoed = 0;
};

// A client and its stream, cut by the program's own scanner; each client's stream is scanned
// apart, since their bytes interleave at random.
class SinkClient final : private ScanObserver {
public:
    SinkClient(int socket, std::string peer, SinkCounts& counts)
        : connection(socket, std::move(peer)), counts_(counts), scanner_(*this) {}

    void scanBlock(ByteView block) {
        counts_.bytes += block.size();
        scanner_.scanBlock(block);
    }

    ClientConnection connection;
    bool closed = false;
    std::uint64_t echoDue = 0;  // echo bytes owed but not yet a whole frame

private:
    void frameFound(ByteView) override { ++counts_.frames; }
    void frameDropped(ByteView, DropReason) override { ++counts_.dropped; }

    SinkCounts& counts_;
    UbxFrameScanner scanner_;
};

// A navigation solution frame of the size the high-precision receiver sends; only its time of
// week changes.
Bytes echoFrame(std::uint32_t timeOfWeek) {
    Bytes payload(kNavPvtPayloadSize, 0);
    for (int i = 0; i < 4; ++i) payload[i] = static_cast<std::uint8_t>(timeOfWeek >> (8 * i));
    return makeUbxFrame(kUbxClassNav, kUbxIdNavPvt, payload);
}

class SinkServer {
public:
    SinkServer(int listener, std::uint32_t echoRate, std::ostream& out, std::ostream& err)
        : listener_(listener), echoRate_(echoRate), out_(out), err_(err) {}
    ~SinkServer() { ::close(listener_); }

    void run(const StopRequest& stop) {
        const auto start = Clock::now();
        nextStatus_ = start + kStatusInterval;
        nextEcho_ = start + kEchoInterval;
        while (!stop.requested()) {
            const auto now = Clock::now();
            if (now >= nextStatus_) printStatus(now);
            if (echoRate_ > 0 && now >= nextEcho_) echo(now);
            std::vector<pollfd> fds = pollList();
            auto due = nextStatus_;
            if (echoRate_ > 0 && !clients_.empty()) due = std::min(due, nextEcho_);
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
            if (stop.waitForEvents(fds.data(), fds.size(), wait) > 0) handleEvents(fds);
        }
        out_ << "sink: total " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << counts_.echoed << " bytes echoed" << std::endl;
    }

private:
    void printStatus(Clock::time_point now) {
        out_ << "sink: " << counts_.bytes << " bytes, " << counts_.frames << " UBX frames, "
             << counts_.dropped << " dropped, " << (counts_.bytes - bytesAtLastStatus_)
             << " B/s, " << counts_.echoed << " bytes echoed, " << clients_.size() << " clients"
             << std::endl;
        bytesAtLastStatus_ = counts_.bytes;
        nextStatus_ += kStatusInterval;
        if (nextStatus_ <= now) nextStatus_ = now + kStatusInterval;
    }

    void echo(Clock::time_point now) {
        const std::uint64_t slice = echoRate_ / 10 + (echoRate_ % 10 != 0);
        for (auto& client : clients_) {
            client->echoDue += slice;
            while (client->echoDue >= kNavPvtPayloadSize + kUbxFrameOverhead) {
                const Bytes frame = echoFrame(timeOfWeek_ += 100);
                client->echoDue -= frame.size();
                if (!client->connection.queue(frame)) break;  // not reading: leave it be
                counts_.echoed += frame.size();
            }
            if (!client->connection.flush()) client->closed = true;
        }
        nextEcho_ += kEchoInterval;
        if (nextEcho_ <= now) nextEcho_ = now + kEchoInterval;
    }

    std::vector<pollfd> pollList() const { return clientPollList(listener_, clients_); }

    void handleEvents(const std::vector<pollfd>& fds) {
        serveClients(fds, clients_, [](SinkClient& client, ByteView block) { client.scanBlock(block); });
        std::erase_if(clients_, [&](const std::unique_ptr<SinkClient>& client) {
            if (client->closed) err_ << "sink: client " << client->connection.peer() << " disconnected" << std::endl;
            return client->closed;
        });
        if (fds[0].revents & POLLIN) {
            std::string peer;
            while (const auto socket = acceptClient(listener_, peer)) {
                clients_.push_back(std::make_unique<SinkClient>(*socket, peer, counts_));
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
    std::uint32_t timeOfWeek_ = 0;
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
