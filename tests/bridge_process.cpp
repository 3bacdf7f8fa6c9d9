#include "tests/bridge_process.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <iterator>
#include <thread>

namespace tessaly::test {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> rowsWithoutTime(const std::string& csv) {
    std::vector<std::string> rows;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) rows.push_back(line.substr(line.find(',') + 1));
    return rows;
}

Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

Bridge::Bridge(const TempFolder& folder, std::vector<std::string> args, std::vector<std::string> launcher)
    : outPath_(folder.file("out.txt")), errPath_(folder.file("err.txt")) {
    args.insert(args.begin(), {TESSALY_CLI_PATH, "bridge"});
    args.insert(args.begin(), launcher.begin(), launcher.end());
    pid_ = fork();
    if (pid_ == 0) {
        (void)!freopen(outPath_.c_str(), "w", stdout);
        (void)!freopen(errPath_.c_str(), "w", stderr);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Bridge::~Bridge() {
    if (pid_ > 0) stop(SIGKILL);
}

int Bridge::stop(int signal) {
    kill(pid_, signal);
    return wait();
}

int Bridge::wait() {
    int raw = 0;
    waitpid(pid_, &raw, 0);
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool Bridge::waitForErr(const std::string& text, int ms) const {
    for (int waited = 0; waited < ms; waited += 10) {
        if (err().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return err().find(text) != std::string::npos;
}

int freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace tessaly::test
