#include "cli/simulate_command.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>

#include "cli/client_connection.h"
#include "cli/number_option.h"
#include "cli/receiver_simulator.h"
#include "cli/stop_request.h"
#include "cli/tcp_server_socket.h"
#include "monitor/frame_scanner.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

// At most this many seconds of messages are made in one turn of the loop, so that a high rate
// still leaves turns for the sockets; a loop further behind than a real second skips ahead.
constexpr std::uint64_t kSecondsPerTurn = 256;

// A client and the frames it sends, cut by the program's own scanner; the receiver answers
// each valid one into this client's queue.
class SimulatorClient final : private ScanObserver {
public:
    SimulatorClient(int socket, std::string peer, ReceiverSimulator& simulator)
        : connection(socket, std::move(peer)), simulator_(simulator), scanner_(*this) {}

    void scanBlock(ByteView block) { scanner_.scanBlock(block); }

    ClientConnection connection;
    bool overflowed = false;
    bool closed = false;

private:
    void frameFound(ByteView frame) override {
        const Bytes reply = simulator_.answer(frame);
        if (!reply.empty() && !connection.queue(reply)) overflowed = true;
    }

    ReceiverSimulator& simulator_;
    UbxFrameScanner scanner_;
};

class SimulatorServer {
public:
    SimulatorServer(int listener, ReceiverSimulator simulator, double rate, std::ostream& err)
        : listener_(listener), simulator_(std::move(simulator)),
          period_(std::chrono::duration<double>(1.0 / rate)), err_(err) {}
    ~SimulatorServer() { ::close(listener_); }

    void run(const StopRequest& stop) {
        start_ = Clock::now();
        while (!stop.requested()) {
            produceDueSeconds();
            std::vector<pollfd> fds = pollList();
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick() - Clock::now());
            if (stop.waitForEvents(fds.data(), fds.size(), wait) > 0) handleEvents(fds);
        }
    }

private:
    Clock::time_point nextTick() const {
        return start_ + std::chrono::duration_cast<Clock::duration>(period_ * static_cast<double>(ticks_));
    }

    void produceDueSeconds() {
        const auto now = Clock::now();
        if (now - nextTick() > std::chrono::seconds(1)) {
            // Asleep or overloaded: go on from now instead of rushing out what was missed.
            start_ = now - std::chrono::duration_cast<Clock::duration>(period_ * static_cast<double>(ticks_));
        }
        for (std::uint64_t made = 0; made < kSecondsPerTurn && nextTick() <= now; ++made) {
            ++ticks_;
            const SimulatedSecond second = simulator_.nextSecond();
            if (second.bytes.empty()) continue;
            for (auto& client : clients_) {
                if (!client->connection.queue(second.bytes)) client->overflowed = true;
            }
        }
        for (auto& client : clients_) {
            if (!client->overflowed && !client->connection.flush()) client->closed = true;
        }
        dropFailedClients("disconnected");
    }

    std::vector<pollfd> pollList() const { return clientPollList(listener_, clients_); }

    void handleEvents(const std::vector<pollfd>& fds) {
        serveClients(fds, clients_, [](SimulatorClient& client, ByteView block) { client.scanBlock(block); });
        dropFailedClients("disconnected");
        if (fds[0].revents & POLLIN) acceptClients();
    }

    void acceptClients() {
        std::string peer;
        while (const auto socket = acceptClient(listener_, peer)) {
            clients_.push_back(std::make_unique<SimulatorClient>(*socket, peer, simulator_));
            err_ << "simulate: client " << peer << " connected" << std::endl;
        }
    }

    void dropFailedClients(const char* why) {
        std::erase_if(clients_, [&](const std::unique_ptr<SimulatorClient>& client) {
            if (!client->overflowed && !client->closed) return false;
            err_ << "simulate: client " << client->connection.peer() << " "
                 << (client->overflowed ? "dropped (not reading)" : why) << std::endl;
            return true;
        });
    }

    int listener_;
    ReceiverSimulator simulator_;
    std::chrono::duration<double> period_;
    std::ostream& err_;
    Clock::time_point start_;
    std::uint64_t ticks_ = 0;
    std::vector<std::unique_ptr<SimulatorClient>> clients_;
};

}  // namespace

std::string defaultSimulatorDataFolder(const std::filesystem::path& program) {
    if (program.empty()) return {};
    return (program.parent_path() / ".." / "share" / "tessaly-monitor").lexically_normal().string();
}

std::optional<SimulateOptions> parseSimulateOptions(const std::vector<std::string>& args,
                                                    const std::string& defaultDataFolder,
                                                    std::string& error) {
    SimulateOptions options;
    options.dataFolder = defaultDataFolder;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name != "--port" && name != "--seed" && name != "--rate" && name != "--data") {
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        bool good = true;
        if (name == "--port") {
            const auto port = parseNumberOption<unsigned>(name, value, 0, 65535, error);
            if ((good = port.has_value())) options.port = static_cast<std::uint16_t>(*port);
        } else if (name == "--seed") {
            const auto seed = parseNumberOption<std::uint64_t>(name, value, 0, UINT64_MAX, error);
            if ((good = seed.has_value())) options.seed = *seed;
        } else if (name == "--rate") {
            const auto rate = parseNumberOption<double>(name, value, 0.001, 100000.0, error);
            if ((good = rate.has_value())) options.rate = *rate;
        } else {
            options.dataFolder = value;
            options.dataFolderGiven = true;
        }
        if (!good) return std::nullopt;
    }
    return options;
}

int runSimulate(const SimulateOptions& options, std::ostream& err) {
    auto messages = options.dataFolder.empty()
                        ? std::nullopt
                        : L6MessageSource::fromFolder(options.dataFolder, options.seed);
    if (!messages && options.dataFolderGiven) {
        err << "tessaly-cli simulate: no recorded L6 messages in " << options.dataFolder << "\n";
        return 2;
    }
    if (!messages) {
        err << "simulate: no recorded L6 messages in '" << options.dataFolder
            << "', making them up" << std::endl;
    }
    std::string error;
    const StopRequest stop;
    const auto listener = listenLocal(options.port, error);
    if (!listener) {
        err << "tessaly-cli simulate: " << error << "\n";
        return 2;
    }
    err << "simulate: listening on 127.0.0.1:" << localPort(*listener) << ", "
        << (messages ? "recorded" : "made-up") << " L6 messages, seed " << options.seed
        << ", rate " << options.rate << std::endl;
    SimulatorServer server(*listener,
                           ReceiverSimulator(options.seed, messages ? std::move(*messages)
                                                                    : L6MessageSource(options.seed)),
                           options.rate, err);
    server.run(stop);
    return 0;
}

}  // namespace tessaly
