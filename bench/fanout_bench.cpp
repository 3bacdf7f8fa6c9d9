// One listening output serving many rovers: plays the L6 receiver (a TCP server the relay dials)
// and N rovers (TCP clients of the relay's listening port), sends a numbered, time-stamped record
// every 100 ms (1 KB/s), and reports what each rover got: records delivered in order and whole,
// delivery latency percentiles, and the relay's CPU and memory over the measured seconds.
//   fanout_bench SOURCE_PORT RELAY_PORT RELAY_PID [ROVERS [SECONDS]]
// The relay is started beforehand (bench/fanout_bench.sh) to dial 127.0.0.1:SOURCE_PORT and
// listen on 127.0.0.1:RELAY_PORT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kRecordSize = 100;
constexpr auto kRecordEvery = std::chrono::milliseconds(100);
constexpr std::uint32_t kMagic = 0x4C36464F;  // "L6FO"

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

sockaddr_in local(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// CPU seconds (user + system) of a process so far.
double cpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long statusKb(int pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    }
    return -1;
}

struct Rover {
    int fd = -1;
    std::vector<std::uint8_t> pending;
    std::int64_t nextSeq = -1;  // the first whole record seen sets it
    std::uint64_t records = 0, broken = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: fanout_bench SOURCE_PORT RELAY_PORT RELAY_PID [ROVERS [SECONDS]]\n");
        return 2;
    }
    const int sourcePort = std::atoi(argv[1]), relayPort = std::atoi(argv[2]), pid = std::atoi(argv[3]);
    const int roverCount = argc > 4 ? std::atoi(argv[4]) : 1000;
    const int seconds = argc > 5 ? std::atoi(argv[5]) : 20;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    // The receiver: the relay dials it.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in source = local(sourcePort);
    if (bind(listener, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 || listen(listener, 1) != 0) {
        std::perror("source port");
        return 1;
    }
    const int feed = accept(listener, nullptr, nullptr);
    setsockopt(feed, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // The rovers, dialling until the relay listens.
    const int poller = epoll_create1(0);
    std::vector<Rover> rovers(static_cast<std::size_t>(roverCount));
    int connected = 0;
    bool full = false;  // the relay took no more clients
    for (std::size_t i = 0; i < rovers.size() && !full; ++i) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            // A relay that takes no more clients leaves the connect hanging; give up on this one.
            timeval patience{2, 0};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
            sockaddr_in relay = local(relayPort);
            if (connect(fd, reinterpret_cast<sockaddr*>(&relay), sizeof relay) == 0) {
                fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
                rovers[i].fd = fd;
                epoll_event event{EPOLLIN, {.u64 = i}};
                epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
                ++connected;
                break;
            }
            const int why = errno;
            close(fd);
            if (why == EINPROGRESS) {
                full = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the relay has taken every client

    std::vector<std::int64_t> delays;
    delays.reserve(static_cast<std::size_t>(roverCount) * static_cast<std::size_t>(seconds) * 10);
    const double cpuBefore = cpuSeconds(pid);
    const auto began = Clock::now(), end = began + std::chrono::seconds(seconds);
    auto nextSend = began;
    std::uint64_t sent = 0;
    std::vector<epoll_event> events(1024);
    std::uint8_t buffer[65536];
    while (Clock::now() < end + std::chrono::milliseconds(500)) {
        if (Clock::now() >= nextSend && Clock::now() < end) {
            std::uint8_t record[kRecordSize] = {};
            const std::int64_t stamp = nowNs();
            const std::uint64_t seq = sent++;
            std::memcpy(record, &kMagic, 4);
            std::memcpy(record + 4, &seq, 8);
            std::memcpy(record + 12, &stamp, 8);
            for (std::size_t i = 20; i < kRecordSize; ++i) record[i] = static_cast<std::uint8_t>(seq + i);
            if (send(feed, record, sizeof record, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof record)) break;
            nextSend += kRecordEvery;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextSend - Clock::now()).count();
        const int ready = epoll_wait(poller, events.data(), static_cast<int>(events.size()),
                                     static_cast<int>(std::clamp<long long>(wait, 0, 20)));
        for (int e = 0; e < ready; ++e) {
            Rover& rover = rovers[events[static_cast<std::size_t>(e)].data.u64];
            const ssize_t got = recv(rover.fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                epoll_ctl(poller, EPOLL_CTL_DEL, rover.fd, nullptr);
                continue;
            }
            const std::int64_t arrived = nowNs();
            rover.pending.insert(rover.pending.end(), buffer, buffer + got);
            std::size_t at = 0;
            for (; rover.pending.size() - at >= kRecordSize; at += kRecordSize) {
                std::uint32_t magic = 0;
                std::uint64_t seq = 0;
                std::int64_t stamp = 0;
                std::memcpy(&magic, &rover.pending[at], 4);
                std::memcpy(&seq, &rover.pending[at + 4], 8);
                std::memcpy(&stamp, &rover.pending[at + 12], 8);
                if (magic != kMagic || (rover.nextSeq >= 0 && seq != static_cast<std::uint64_t>(rover.nextSeq))) {
                    ++rover.broken;
                }
                rover.nextSeq = static_cast<std::int64_t>(seq) + 1;
                ++rover.records;
                delays.push_back(arrived - stamp);
            }
            rover.pending.erase(rover.pending.begin(), rover.pending.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
    const double cpu = cpuSeconds(pid) - cpuBefore;

    std::uint64_t records = 0, broken = 0;
    int served = 0;
    for (const Rover& rover : rovers) {
        records += rover.records;
        broken += rover.broken;
        served += rover.records > 0;
    }
    std::sort(delays.begin(), delays.end());
    const auto percentile = [&](double p) {
        return delays.empty() ? 0.0 : delays[static_cast<std::size_t>(p * static_cast<double>(delays.size() - 1))] / 1000.0;
    };
    std::printf("rovers %d of %d connected, %d served; records sent %llu, delivered %.2f %% (%llu of %llu), "
                "out of order %llu\n",
                connected, roverCount, served, static_cast<unsigned long long>(sent),
                sent ? 100.0 * static_cast<double>(records) / static_cast<double>(sent * static_cast<std::uint64_t>(roverCount)) : 0.0,
                static_cast<unsigned long long>(records),
                static_cast<unsigned long long>(sent * static_cast<std::uint64_t>(roverCount)),
                static_cast<unsigned long long>(broken));
    std::printf("delivery latency p50 %.0f us, p99 %.0f us, max %.0f us\n", percentile(0.5), percentile(0.99),
                percentile(1.0));
    std::printf("relay CPU %.2f %% of one core, RSS %ld kB (peak %ld kB)\n", 100.0 * cpu / elapsed,
                statusKb(pid, "VmRSS"), statusKb(pid, "VmHWM"));
    return 0;
}
