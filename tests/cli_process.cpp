#include "tests/cli_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tessaly::test {
namespace {

constexpr int kWaitMs = 10000;

}  // namespace

CliRun runCliToEnd(const std::string& args, const std::string& shellPrefix) {
    CliRun run;
    const std::string command = shellPrefix + TESSALY_CLI_PATH + " " + args;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& program) {

    int err[2];
    int out[2];
    if (::pipe(err) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(err[1], 2);
        ::dup2(out[1], 1);
        ::close(err[0]);
        ::close(out[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        std::vector<std::string> copies = args;
        for (auto& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        std::_Exit(127);
    }
    ::close(err[1]);
    ::close(out[1]);
    errPipe_ = err[0];
    outPipe_ = out[0];
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (errPipe_ >= 0) ::close(errPipe_);
    if (outPipe_ >= 0) ::close(outPipe_);
}

std::optional<std::string> CliProcess::waitForErrLine(const std::string& text) {
    for (;;) {
        std::size_t end;
        while ((end = errPending_.find('\n')) != std::string::npos) {
            const std::string line = errPending_.substr(0, end);
            errPending_.erase(0, end + 1);
            if (line.find(text) != std::string::npos) return line;
        }
        pollfd fd{errPipe_, POLLIN, 0};
        if (::poll(&fd, 1, kWaitMs) <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t got = ::read(errPipe_, buffer, sizeof buffer);
        if (got <= 0) return std::nullopt;
        errPending_.append(buffer, static_cast<std::size_t>(got));
    }
}

std::uint16_t CliProcess::listeningPort() {
    const std::string prefix = "listening on 127.0.0.1:";
    const auto line = waitForErrLine(prefix);
    if (!line) return 0;
    return static_cast<std::uint16_t>(std::atoi(line->c_str() + line->find(prefix) + prefix.size()));
}

int CliProcess::stop(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(outPipe_, buffer, sizeof buffer)) > 0) out_.append(buffer, static_cast<std::size_t>(got));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TcpClient::TcpClient(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    timeval timeout{kWaitMs / 1000, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

TcpClient::~TcpClient() {
    if (socket_ >= 0) ::close(socket_);
}

void TcpClient::send(const std::vector<std::uint8_t>& bytes) {
    ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::vector<std::uint8_t> TcpClient::receive() {
    std::vector<std::uint8_t> block(65536);
    const ssize_t got = ::recv(socket_, block.data(), block.size(), 0);
    block.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return block;
}

}  // namespace tessaly::test
