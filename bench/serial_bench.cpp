// Serial component costs that matter to a relay: the CPU an open but idle port burns (its waits
// on the I/O loop must block, not poll), and the time from a byte arriving at the port to its
// OnReceive on the owner thread. A pseudo-terminal stands in for the receiver.
//
// Usage: serial_bench [idle SECONDS] [latency SAMPLES]   (default: idle 10, latency 5000)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "links/serial/comm_x.h"
#include "testing/serial_test_support.h"
#include "testing/test_owner_thread.h"

namespace {

using namespace tessaly;
using namespace tessaly::testing;
using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Rig {
    std::shared_ptr<IoLoop> loop = std::make_shared<IoLoop>();
    std::shared_ptr<TestOwnerThread> owner = std::make_shared<TestOwnerThread>();
    PortsFolder ports;
    PtyPair pty;
    std::unique_ptr<TCommX> comm;

    Rig() {
        ports.link(1, pty.nearPath());
        CommEnvironment environment{owner, loop, [o = owner.get()] { o->processEvents(); }, {},
                                    [this](std::int32_t n) { return ports.portPath(n); }};
        owner->call([&] { comm = std::make_unique<TCommX>(environment); });
    }
    ~Rig() {
        owner->call([&] { comm.reset(); });
    }
};

void idleCpu(int seconds) {
    Rig rig;
    rig.owner->call([&] { rig.comm->PortOpen(); });
    const double cpuBefore = processCpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpuBefore;
    std::printf("idle open port: %.3f s CPU in %.1f s = %.4f%% of a core (goal < 0.5%%)\n", cpu, wall,
                100.0 * cpu / wall);
}

void receiveLatency(int samples) {
    Rig rig;
    std::mutex mutex;
    std::condition_variable arrived;
    int handled = 0;
    Clock::time_point handledAt;
    rig.owner->call([&] {
        rig.comm->SetOnReceive([&](TCustomCommX& sender, std::int32_t size) {
            const auto now = Clock::now();
            std::uint8_t buffer[64];
            sender.ReceiveBlock(buffer, std::min<std::int32_t>(size, sizeof buffer));
            std::lock_guard lock(mutex);
            handledAt = now;
            ++handled;
            arrived.notify_all();
        });
        rig.comm->PortOpen();
    });
    std::vector<double> micros;
    for (int i = 0; i < samples; ++i) {
        std::unique_lock lock(mutex);
        const int before = handled;
        const auto sent = Clock::now();
        rig.pty.writeFar({static_cast<std::uint8_t>(i)});
        if (!arrived.wait_for(lock, std::chrono::seconds(2), [&] { return handled > before; })) {
            std::printf("byte %d never reached OnReceive\n", i);
            return;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(handledAt - sent).count());
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // a quiet line between bytes
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
    std::printf("byte at the far end to OnReceive, %d samples: median %.1f us, p99 %.1f us, max %.1f us "
                "(goals: median < 500 us, p99 < 2000 us)\n",
                samples, at(0.5), at(0.99), micros.back());
}

}  // namespace

int main(int argc, char** argv) {
    int idleSeconds = 10;
    int samples = 5000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string what = argv[i];
        if (what == "idle") idleSeconds = std::atoi(argv[i + 1]);
        if (what == "latency") samples = std::atoi(argv[i + 1]);
    }
    if (idleSeconds > 0) idleCpu(idleSeconds);
    if (samples > 0) receiveLatency(samples);
    return 0;
}
