// The program started as a user starts it, with a settings file given as its ".ini" argument.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "settings/profile_file.h"
#include "tests/tcp_peer.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

// The window on the offscreen platform with its settings file, as a process of its own.
pid_t startWindow(const std::string& ini) {
    const pid_t program = fork();
    if (program == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(TESSALY_MONITOR_PATH, TESSALY_MONITOR_PATH, ini.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return program;
}

// Sends SIGTERM and waits up to 2 s: the exit status, or -1 (and the program killed) when it
// did not exit by itself in time.
int exitStatusAfterSigterm(pid_t program) {
    kill(program, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 200 && ended == 0; ++i) {
        usleep(10 * 1000);
        ended = waitpid(program, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(program, SIGKILL);
        waitpid(program, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, RelaysBothWaysFromItsSettingsAndRecordsTheOpenLinksOnSigterm) {
    test::TempFolder folder;
    testing::TcpPeer receiver, rover;
    const std::string ini = folder.file("relay.ini");
    std::ofstream(ini) << "[Option]\nSerial=0\nSerial2=0\nTCPhost=127.0.0.1\nTCPport=" << receiver.port()
                       << "\nTCPhost2=localhost\nTCPport2=" << rover.port()
                       << "\nOpenTCPInput=1\nOpenTCPOutput=1\n";
    const pid_t program = startWindow(ini);
    ASSERT_GE(program, 0);
    receiver.accept();
    rover.accept();
    const Bytes poll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};
    EXPECT_EQ(receiver.receive(poll.size()), poll);
    Bytes forward(100000), back(50000);
    for (std::size_t i = 0; i < forward.size(); ++i) forward[i] = static_cast<std::uint8_t>(i * 13);
    for (std::size_t i = 0; i < back.size(); ++i) back[i] = static_cast<std::uint8_t>(i * 7 + 3);
    // The receiver's first bytes right after the poll: the output was opened first, so they
    // reach the rover.
    receiver.send(forward);
    EXPECT_EQ(rover.receive(forward.size()), forward);
    rover.send(back);
    EXPECT_EQ(receiver.receive(back.size()), back);

    kill(program, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(receiver.receive(1).empty()) << "the input link was closed";
    const ProfileFile saved = ProfileFile::load(ini);
    EXPECT_TRUE(saved.readBool("Option", "OpenTCPInput", false));
    EXPECT_TRUE(saved.readBool("Option", "OpenTCPOutput", false));
    EXPECT_EQ(saved.readText("Option", "TCPhost2", ""), "localhost");
}

TEST(Program, SigtermEndsTheErrorBoxOfABadPortClosesInOrderAndExits) {
    test::TempFolder folder;
    const std::string ini = folder.file("bad.ini");
    std::ofstream(ini) << "[Option]\nSerial=0\nTCPhost=127.0.0.1\nTCPport=abc\nOpenTCPInput=1\n";
    const pid_t program = startWindow(ini);
    ASSERT_GE(program, 0);
    usleep(1500 * 1000);  // the error box of the port "abc" is up by now
    ASSERT_EQ(exitStatusAfterSigterm(program), 0) << "exit status, or -1: still running 2 s after SIGTERM";
    const ProfileFile saved = ProfileFile::load(ini);
    EXPECT_EQ(saved.readText("Option", "Version", ""), "Ver1.08") << "the settings were saved";
}

// Settings that cannot be kept are said in a box that nobody answers when a stop closes the
// window: neither the box shown at start for a FIFO nor the one at close may hold the stop.
TEST(Program, SigtermEndsAWindowWhoseSettingsCannotBeKept) {
    test::TempFolder folder;
    const std::string fifo = folder.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A settings file whose folder is gone by the close: the save fails (root writes anywhere
    // else).
    const std::filesystem::path gone = folder.file("gone");
    std::filesystem::create_directory(gone);
    std::ofstream(gone / "settings.ini") << "[Option]\n";
    for (const std::string& ini : {fifo, (gone / "settings.ini").string()}) {
        const pid_t program = startWindow(ini);
        ASSERT_GE(program, 0);
        usleep(1500 * 1000);
        if (ini != fifo) std::filesystem::remove_all(gone);
        EXPECT_EQ(exitStatusAfterSigterm(program), 0) << ini << ": exit status, or -1: still running 2 s after SIGTERM";
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

}  // namespace
}  // namespace tessaly
