// tessaly-cli bridge as a child process for tests, and what the tests feed it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_data.h"

namespace tessaly::test {

// The poll after every input open: UBX-MON-VER with CR LF.
inline const Bytes kPoll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};

std::string readFile(const std::string& path);
// The rows of a CSV log without their first field, the PC's time of the row, which differs
// between a live run and a decode of the same bytes.
std::vector<std::string> rowsWithoutTime(const std::string& csv);
// Every byte value, in an order that a shifted or repeated block would break.
Bytes pattern(std::size_t size, std::uint32_t seed);

// The bridge as a child process, its output in files of a temporary folder.
class Bridge {
public:
    // `launcher` runs the bridge with its arguments after them (prlimit with its options).
    Bridge(const TempFolder& folder, std::vector<std::string> args, std::vector<std::string> launcher = {});
    ~Bridge();
    // The exit status, or -1 when it did not exit normally.
    int stop(int signal = 15);
    int wait();
    std::string out() const { return readFile(outPath_); }
    std::string err() const { return readFile(errPath_); }
    // Waits up to `ms` for `text` on stderr.
    bool waitForErr(const std::string& text, int ms = 5000) const;

private:
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
};

// A port that was free a moment ago, for a program that is to listen on it.
int freeTcpPort();

}  // namespace tessaly::test
