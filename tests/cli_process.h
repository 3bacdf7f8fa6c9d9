// tessaly-cli run as a server in the background of a test: started with its arguments, its
// stderr and stdout read line by line, stopped with a signal like a user stops it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::test {

struct CliRun {
    int status = -1;  // -1: ended by a signal, or not started
    std::string out;
};

// tessaly-cli run to its end through the shell: `args` are its words, a redirection of stderr may
// follow them; `shellPrefix` runs before it in the same shell (to set a limit for it). Returns its
// exit status and stdout.
CliRun runCliToEnd(const std::string& args, const std::string& shellPrefix = "");

class CliProcess {
public:
    // `program` is the tessaly-cli to start: the build's own, or a copy elsewhere.
    explicit CliProcess(const std::vector<std::string>& args, const std::string& program = TESSALY_CLI_PATH);
    ~CliProcess();  // kills what still runs

    // The next stderr line holding `text`, waiting up to a few seconds; nothing at the end.
    std::optional<std::string> waitForErrLine(const std::string& text);
    // The port named in "listening on 127.0.0.1:P"; 0 when it did not come.
    std::uint16_t listeningPort();
    // Sends `signal`, waits for the end and returns the exit status (-1: ended by a signal).
    int stop(int signal);
    // All of stdout, once stopped.
    const std::string& out() const { return out_; }

private:
    int pid_ = -1;
    int errPipe_ = -1;
    int outPipe_ = -1;
    std::string errPending_;
    std::string out_;
};

// A TCP client of a server on 127.0.0.1; reads time out after a few seconds so that a broken
// server fails a test instead of hanging it.
class TcpClient {
public:
    explicit TcpClient(std::uint16_t port);
    ~TcpClient();
    bool connected() const { return socket_ >= 0; }
    void send(const std::vector<std::uint8_t>& bytes);
    // What came next; empty at the end or on a timeout.
    std::vector<std::uint8_t> receive();

private:
    int socket_ = -1;
};

}  // namespace tessaly::test
