#include "cli/simulate_command.h"

#include <chrono>
#include <map>
#include <memory>
#include <ostream>

#include "cli/local_server.h"
#include "cli/number_option.h"
#include "cli/receiver_simulator.h"
#include "monitor/frame_scanner.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

// At most this many seconds of messages are made in one turn of the loop, so that a high rate
// still leaves turns for the sockets; a loop further behind than a real second skips ahead.
constexpr std::uint64_t kSecondsPerTurn = 256;

// The frames a client sends, cut by the program's own scanner; the receiver answers each valid
// one to this client alone.
class SimulatorClient final : private ScanObserver {
public:
    SimulatorClient(TcpClientId id, LocalServer& server, ReceiverSimulator& simulator)
        : id_(id), server_(server), simulator_(simulator), scanner_(*this) {}

    void scanBlock(ByteView block) { scanner_.scanBlock(block); }

private:
    void frameFound(ByteView frame) override { server_.writeTo(id_, simulator_.answer(frame)); }

    const TcpClientId id_;
    LocalServer& server_;
    ReceiverSimulator& simulator_;
    UbxFrameScanner scanner_;
};

// Runs on the server's loop.
class SimulatorServer {
public:
    SimulatorServer(LocalServer& server, ReceiverSimulator simulator, double rate)
        : server_(server), simulator_(std::move(simulator)), period_(std::chrono::duration<double>(1.0 / rate)) {}

    LocalServer::Handlers handlers() {
        return {[this](TcpClientId id) { clients_[id] = std::make_unique<SimulatorClient>(id, server_, simulator_); },
                [this](TcpClientId id, LinkBytes block) { clients_.at(id)->scanBlock(block); },
                [this](TcpClientId id) { clients_.erase(id); }};
    }

    void start() {
        start_ = Clock::now();
        server_.repeat(start_, [this] {
            produceDueSeconds();
            return nextTick();
        });
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
            server_.write(simulator_.nextSecond().bytes);
        }
    }

    LocalServer& server_;
    ReceiverSimulator simulator_;
    std::chrono::duration<double> period_;
    Clock::time_point start_;
    std::uint64_t ticks_ = 0;
    std::map<TcpClientId, std::unique_ptr<SimulatorClient>> clients_;
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
    LocalServer server("simulate", err);
    SimulatorServer simulator(server,
                              ReceiverSimulator(options.seed, messages ? std::move(*messages)
                                                                       : L6MessageSource(options.seed)),
                              options.rate);
    std::string error;
    const bool listening = server.listen(options.port, simulator.handlers(), [&] {
        err << "simulate: listening on 127.0.0.1:" << server.port() << ", "
            << (messages ? "recorded" : "made-up") << " L6 messages, seed " << options.seed
            << ", rate " << options.rate << std::endl;
        simulator.start();
    }, error);
    if (!listening) {
        err << "tessaly-cli simulate: " << error << "\n";
        return 2;
    }
    server.runUntilStopped();
    return 0;
}

}  // namespace tessaly
