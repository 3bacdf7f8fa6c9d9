// How late the window's own events run while it relays at full speed. The window opens its TCP
// input on a local socket that plays the L6 receiver and its TCP output on one that plays the
// rover, as a settings file with the reopen flags makes it do at start. An idle phase first, then
// a phase in which the receiver sends the recorded two-channel stream over and over as fast as the
// relay takes it and the rover reads and discards everything. Throughout, a 10 ms timer on the
// window's thread measures how late it fires, and each tick posts an event to the same thread and
// measures how long that event waits. Per phase it prints the bytes the rover received per second,
// the lateness percentiles, and what the monitor made of the stream: the bytes it skipped because
// it was behind and the L6 reports it decoded, beside the reports in the bytes relayed.
// Afterwards the receiver pauses, and it prints how long the monitor took to work through what it
// had queued, and how long the window took to close. The stream is the recorded two-channel hour
// unless --stream names another file. A plain program, not Google Benchmark: it measures one
// window's event loop, not a loop of ours.
//   window_lag_bench [--close-under-load] [--stream FILE] [IDLE_SECONDS [LOAD_SECONDS]]
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/form_main.h"

namespace {

constexpr int kTickMs = 10;
// Header of an L6 message frame: sync, class 0x02, ID 0x73, 264-byte payload (little endian).
constexpr std::uint8_t kL6FrameStart[] = {0xB5, 0x62, 0x02, 0x73, 0x08, 0x01};

std::vector<std::uint8_t> readStream(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t l6FramesIn(const std::vector<std::uint8_t>& stream) {
    std::size_t count = 0;
    for (auto at = stream.begin();; ++at) {
        at = std::search(at, stream.end(), std::begin(kL6FrameStart), std::end(kL6FrameStart));
        if (at == stream.end()) return count;
        ++count;
    }
}

// A socket listening on a free port of 127.0.0.1 and the one connection it accepts.
class LoopbackPeer {
public:
    LoopbackPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("listen on 127.0.0.1");
            std::exit(1);
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackPeer() {
        if (connection_ >= 0) ::close(connection_);
        ::close(listener_);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int port() const { return port_; }
    // Peer's thread: false when release() came first.
    bool accept() {
        connection_ = ::accept(listener_, nullptr, nullptr);
        connected_ = connection_ >= 0;
        return connected_;
    }
    bool connected() const { return connected_; }
    int connection() const { return connection_; }
    // Any thread: wakes an accept, send or receive the peer's thread is blocked in.
    void release() {
        ::shutdown(listener_, SHUT_RDWR);
        if (connected_) ::shutdown(connection_, SHUT_RDWR);
    }

private:
    int listener_ = -1;
    int connection_ = -1;  // written by the peer's thread before `connected_`
    int port_ = 0;
    std::atomic<bool> connected_{false};
};

// The L6 receiver: while told to, sends the stream over and over as fast as the window reads it.
// A pause keeps the connection: a receiver that goes away is a lost link, not the end of a burst.
class ReceiverPlayer {
public:
    explicit ReceiverPlayer(std::vector<std::uint8_t> stream) : stream_(std::move(stream)) {
        thread_ = std::thread([this] { run(); });
    }
    ~ReceiverPlayer() { stop(); }
    ReceiverPlayer(const ReceiverPlayer&) = delete;
    ReceiverPlayer& operator=(const ReceiverPlayer&) = delete;

    int port() const { return peer_.port(); }
    bool connected() const { return peer_.connected(); }
    void setSending(bool on) {
        std::lock_guard lock(mutex_);
        sending_ = on;
        changed_.notify_all();
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            changed_.notify_all();
        }
        peer_.release();
        if (thread_.joinable()) thread_.join();
    }

private:
    // Small enough that a pause takes effect at once, large enough to keep the relay busy.
    static constexpr std::size_t kChunk = 64 * 1024;

    void run() {
        if (!peer_.accept()) return;
        std::size_t at = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return sending_ || stopping_; });
                if (stopping_) return;
            }
            const std::size_t length = std::min(kChunk, stream_.size() - at);
            const ssize_t n = ::send(peer_.connection(), stream_.data() + at, length, MSG_NOSIGNAL);
            if (n <= 0) return;
            at = (at + static_cast<std::size_t>(n)) % stream_.size();
        }
    }

    const std::vector<std::uint8_t> stream_;
    LoopbackPeer peer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool sending_ = false;   // guarded by mutex_
    bool stopping_ = false;  // guarded by mutex_
    std::thread thread_;     // last: starts once the rest is made
};

// The rover: reads and counts everything the window's output link writes to it.
class RoverPlayer {
public:
    RoverPlayer() {
        thread_ = std::thread([this] { run(); });
    }
    ~RoverPlayer() {
        peer_.release();
        thread_.join();
    }
    RoverPlayer(const RoverPlayer&) = delete;
    RoverPlayer& operator=(const RoverPlayer&) = delete;

    int port() const { return peer_.port(); }
    bool connected() const { return peer_.connected(); }
    std::uint64_t bytesReceived() const { return received_; }

private:
    void run() {
        if (!peer_.accept()) return;
        std::vector<std::uint8_t> buffer(256 * 1024);
        for (;;) {
            const ssize_t n = ::recv(peer_.connection(), buffer.data(), buffer.size(), 0);
            if (n <= 0) return;
            received_ += static_cast<std::uint64_t>(n);
        }
    }

    LoopbackPeer peer_;
    std::atomic<std::uint64_t> received_{0};
    std::thread thread_;
};

// Ends the program when the window does not close in time: a close that never returns must not
// hang a bench run.
class CloseWatchdog {
public:
    explicit CloseWatchdog(std::chrono::seconds limit) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(mutex_);
            if (changed_.wait_for(lock, limit, [this] { return closed_; })) return;
            std::fprintf(stderr, "the window did not close within %lld s\n", static_cast<long long>(limit.count()));
            std::_Exit(3);
        });
    }
    ~CloseWatchdog() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    CloseWatchdog(const CloseWatchdog&) = delete;
    CloseWatchdog& operator=(const CloseWatchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;  // guarded by mutex_
    std::thread thread_;
};

// What the window and the peers had counted at one moment.
struct Snapshot {
    qint64 ns = 0;
    std::uint64_t relayed = 0;
    std::uint64_t skipped = 0;
    std::uint64_t l6Reports = 0;
};

struct Phase {
    const char* name;
    Snapshot start;
    std::vector<double> lateMs;    // timer ticks: actual minus expected interval
    std::vector<double> postedMs;  // posted events: from post to run
};

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

double msBetween(qint64 fromNs, qint64 toNs) { return static_cast<double>(toNs - fromNs) / 1e6; }

void printHeader() {
    std::printf("%-6s %6s %8s %9s %9s %9s %9s %9s %9s %8s %10s %10s\n", "phase", "s", "MB/s", "late p50", "late p99",
                "late max", "post p50", "post p99", "post max", "skip MB", "L6 seen", "L6 relayed");
    std::fflush(stdout);
}

void printPhase(const Phase& phase, const Snapshot& end, double l6PerByte) {
    const double seconds = msBetween(phase.start.ns, end.ns) / 1000;
    const std::uint64_t relayed = end.relayed - phase.start.relayed;
    std::printf("%-6s %6.2f %8.2f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %8.2f %10llu %10.0f\n", phase.name, seconds,
                static_cast<double>(relayed) / 1e6 / seconds, percentile(phase.lateMs, 0.5),
                percentile(phase.lateMs, 0.99), percentile(phase.lateMs, 1.0), percentile(phase.postedMs, 0.5),
                percentile(phase.postedMs, 0.99), percentile(phase.postedMs, 1.0),
                static_cast<double>(end.skipped - phase.start.skipped) / 1e6,
                static_cast<unsigned long long>(end.l6Reports - phase.start.l6Reports),
                static_cast<double>(relayed) * l6PerByte);
    std::fflush(stdout);
}

bool writeSettings(const QString& path, int inputPort, int outputPort) {
    std::ofstream out(path.toStdString());
    out << "[Option]\nSerial=0\nSerial2=0\n"
        << "TCPhost=127.0.0.1\nTCPport=" << inputPort << "\nTCPhost2=127.0.0.1\nTCPport2=" << outputPort
        << "\nOpenTCPInput=1\nOpenTCPOutput=1\n";
    return static_cast<bool>(out.flush());
}

struct BenchOptions {
    int idleMs = 3000;
    int loadMs = 5000;
    // Close the window while the receiver still sends, instead of after the monitor caught up.
    bool closeUnderLoad = false;
};

// The window's side of the bench, all on the window's thread: the probes and the order of the
// phases, from the links coming up to the window closing.
class LagBench {
public:
    LagBench(tessaly::TFormMain& form, ReceiverPlayer& receiver, RoverPlayer& rover, BenchOptions options,
             double l6PerByte)
        : form_(form), receiver_(receiver), rover_(rover), options_(options), l6PerByte_(l6PerByte) {
        clock_.start();
        ticker_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker_, &QTimer::timeout, &ticker_, [this] { tick(); });
        QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { pollStep_(); });
    }

    // The window opens its links once shown; the phases start when both peers have them.
    void start() {
        pollStep_ = [this, waited = 0]() mutable {
            if (receiver_.connected() && rover_.connected()) return runPhases();
            if ((waited += kPollMs) < 10000) return;
            std::cerr << "the window did not open both links within 10 s\n";
            closeWindow(1);
        };
        poll_.start(kPollMs);
    }
    int status() const { return status_; }

private:
    static constexpr int kPollMs = 20;
    // The monitor has caught up once its counts rest this long.
    static constexpr int kQuietPolls = 300 / kPollMs;

    Snapshot snapshot() const {
        const auto& reports = form_.monitor().counters().l6Reports;
        return {clock_.nsecsElapsed(), rover_.bytesReceived(), form_.monitorSkipped(), reports[0] + reports[1]};
    }

    // Every tick: how late it came, and an event posted to the same thread to see how long it waits.
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        if (current_ && lastTick_) current_->lateMs.push_back(msBetween(lastTick_, now) - kTickMs);
        lastTick_ = now;
        QMetaObject::invokeMethod(
            &ticker_, [this, now] { if (current_) current_->postedMs.push_back(msBetween(now, clock_.nsecsElapsed())); },
            Qt::QueuedConnection);
    }

    void startPhase(Phase& phase) {
        phase.start = snapshot();
        current_ = &phase;
    }

    void runPhases() {
        poll_.stop();
        printHeader();
        startPhase(phases_[0]);
        ticker_.start(kTickMs);
        QTimer::singleShot(options_.idleMs, Qt::PreciseTimer, &ticker_, [this] {
            printPhase(phases_[0], snapshot(), l6PerByte_);
            startPhase(phases_[1]);
            receiver_.setSending(true);
            QTimer::singleShot(options_.loadMs, Qt::PreciseTimer, &ticker_, [this] { endRelay(); });
        });
    }

    void endRelay() {
        printPhase(phases_[1], snapshot(), l6PerByte_);
        current_ = nullptr;
        ticker_.stop();
        if (options_.closeUnderLoad) return closeWindow(0);
        receiver_.setSending(false);
        awaitCatchUp();
    }

    // The monitor still works through what it queued (and the relay through the sockets' buffers).
    void awaitCatchUp() {
        pollStep_ = [this, paused = snapshot(), last = snapshot(), quiet = 0]() mutable {
            const Snapshot now = snapshot();
            const bool moved = now.l6Reports != last.l6Reports || now.relayed != last.relayed;
            if (moved) last = now;
            quiet = moved ? 0 : quiet + 1;
            const bool late = msBetween(paused.ns, now.ns) >= 30000;
            if (quiet < kQuietPolls && !late) return;
            std::printf("after  monitor %s %.2f s after the receiver paused, %llu more L6 reports\n",
                        quiet < kQuietPolls ? "still busy" : "caught up", msBetween(paused.ns, last.ns) / 1000,
                        static_cast<unsigned long long>(last.l6Reports - paused.l6Reports));
            closeWindow(0);
        };
        poll_.start(kPollMs);
    }

    void closeWindow(int status) {
        poll_.stop();
        ticker_.stop();
        status_ = status;
        const qint64 closing = clock_.nsecsElapsed();
        {
            CloseWatchdog watchdog(std::chrono::seconds(20));
            // The window first: a receiver that went away would be a lost link for it to report.
            form_.close();
        }
        std::printf("after  close %.1f ms\n", msBetween(closing, clock_.nsecsElapsed()));
        std::fflush(stdout);
        receiver_.stop();
        QCoreApplication::quit();
    }

    tessaly::TFormMain& form_;
    ReceiverPlayer& receiver_;
    RoverPlayer& rover_;
    const BenchOptions options_;
    const double l6PerByte_;
    QElapsedTimer clock_;
    QTimer ticker_;
    QTimer poll_;
    std::function<void()> pollStep_;
    Phase phases_[2] = {{"idle", {}, {}, {}}, {"relay", {}, {}, {}}};
    Phase* current_ = nullptr;  // where the probes record; none between and after the phases
    qint64 lastTick_ = 0;
    int status_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    std::string streamPath = TESSALY_DATA_DIR "/l6_two_channel_1h.ubx";
    std::vector<std::string> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--close-under-load") {
            options.closeUnderLoad = true;
        } else if (arg == "--stream" && i + 1 < argc) {
            streamPath = argv[++i];
        } else {
            numbers.push_back(arg);
        }
    }
    if (numbers.size() > 0) options.idleMs = static_cast<int>(std::stod(numbers[0]) * 1000);
    if (numbers.size() > 1) options.loadMs = static_cast<int>(std::stod(numbers[1]) * 1000);
    std::vector<std::uint8_t> stream = readStream(streamPath);
    if (stream.empty()) {
        std::cerr << "cannot read " << streamPath << "\n";
        return 1;
    }
    const double l6PerByte = static_cast<double>(l6FramesIn(stream)) / static_cast<double>(stream.size());

    tessaly::TessalyApplication app(argc, argv);
    ReceiverPlayer receiver(std::move(stream));
    RoverPlayer rover;
    QTemporaryDir folder;
    const QString settings = folder.filePath(QStringLiteral("relay.ini"));
    if (!folder.isValid() || !writeSettings(settings, receiver.port(), rover.port())) {
        std::cerr << "cannot write the settings file\n";
        return 1;
    }
    tessaly::FormOptions formOptions;
    formOptions.arguments = {settings.toStdString()};
    tessaly::TFormMain form(formOptions);
    form.show();
    LagBench bench(form, receiver, rover, options, l6PerByte);
    bench.start();
    const int loopStatus = app.exec();
    return bench.status() ? bench.status() : loopStatus;
}
