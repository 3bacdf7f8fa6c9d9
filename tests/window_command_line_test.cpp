// The window's command line on a terminal without a display: help, version and mistakes answer
// there, and Qt's own options still reach the window.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "tests/program_run.h"
#include "tests/tcp_peer.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::kNoDisplay;
using test::ProgramRun;

ProgramRun runWindow(const std::vector<std::string>& args) {
    return test::runProgram(TESSALY_MONITOR_PATH, args, kNoDisplay);
}

TEST(WindowCommandLine, HelpAnswersWithoutADisplay) {
    for (const char* option : {"--help", "-h", "-help"}) {
        const ProgramRun run = runWindow({option});
        EXPECT_EQ(run.status, 0) << option << ": " << run.err;
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << option;
        EXPECT_NE(run.out.find("--version"), std::string::npos) << option;
        EXPECT_NE(run.out.find("settings.ini"), std::string::npos) << option;
        EXPECT_EQ(run.err, "") << option;
    }
}

TEST(WindowCommandLine, VersionAnswersWithoutADisplay) {
    for (const char* option : {"--version", "-v"}) {
        const ProgramRun run = runWindow({option});
        EXPECT_EQ(run.status, 0) << option << ": " << run.err;
        EXPECT_EQ(run.out, "Tessaly Monitor Ver1.08 (1.8.0)\n") << option;
    }
}

TEST(WindowCommandLine, AMistakeIsOneLineAndStatus2) {
    const std::vector<std::vector<std::string>> mistakes = {
        {"--frobnicate"}, {"-x", "rover.ini"}, {"rover.ini", "--help=yes"}, {"-platform"}};
    for (const auto& args : mistakes) {
        const ProgramRun run = runWindow(args);
        EXPECT_EQ(run.status, 2) << args[0] << ": " << run.err;
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.err.rfind("tessaly-monitor: ", 0), 0u) << run.err;
    }
    EXPECT_NE(runWindow({"--frobnicate"}).err.find("'frobnicate'"), std::string::npos);
}

// Qt's own option and its value are not a mistake and not the settings file: the window comes
// up on the platform it names and opens the input link of the settings file given after it.
TEST(WindowCommandLine, QtOptionsPassToTheWindowBesideTheSettingsFile) {
    test::TempFolder folder;
    testing::TcpPeer receiver;
    const std::string ini = folder.file("input.ini");
    std::ofstream(ini) << "[Option]\nSerial=0\nTCPhost=127.0.0.1\nTCPport=" << receiver.port()
                       << "\nOpenTCPInput=1\n";
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        for (const std::string& name : kNoDisplay) unsetenv(name.c_str());
        execl(TESSALY_MONITOR_PATH, TESSALY_MONITOR_PATH, "-platform", "offscreen", ini.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    receiver.accept();
    const test::Bytes poll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};
    EXPECT_EQ(receiver.receive(poll.size()), poll);
    kill(program, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tessaly
