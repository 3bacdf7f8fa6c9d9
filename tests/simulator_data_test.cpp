// Where the simulator finds its recorded L6 messages: in share/tessaly-monitor beside the folder
// of its own program, wherever that program was installed. A copy of the build's tessaly-cli in
// a folder tree of its own stands for an installed one.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>

#include "tests/cli_process.h"
#include "tests/program_run.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const char* const kMessageFiles[] = {"claslib_2025157U_ch1.l6", "claslib_2025157U_ch2.l6"};

// <prefix>/bin/tessaly-cli, a copy of the build's program.
std::string installProgram(const test::TempFolder& prefix) {
    const fs::path bin = fs::path(prefix.path()) / "bin";
    fs::create_directories(bin);
    fs::copy_file(TESSALY_CLI_PATH, bin / "tessaly-cli");
    fs::permissions(bin / "tessaly-cli", fs::perms::owner_all);
    return (bin / "tessaly-cli").string();
}

TEST(SimulatorData, FoundInShareBesideTheProgramsFolder) {
    test::TempFolder prefix;
    const std::string program = installProgram(prefix);
    const fs::path share = fs::path(prefix.path()) / "share" / "tessaly-monitor";
    fs::create_directories(share);
    for (const char* name : kMessageFiles) fs::copy_file(fs::path(TESSALY_DATA_DIR) / name, share / name);

    test::CliProcess simulator({"simulate", "--port", "0"}, program);
    const auto listening = simulator.waitForErrLine("listening on");
    ASSERT_TRUE(listening.has_value());
    EXPECT_NE(listening->find("recorded L6 messages"), std::string::npos) << *listening;
    EXPECT_EQ(simulator.stop(SIGTERM), 0);

    const test::ProgramRun help = test::runProgram(program, {"help"});
    EXPECT_NE(help.out.find("(default " + share.string() + ")"), std::string::npos) << help.out;
}

TEST(SimulatorData, WithoutThemTheSimulatorSaysItMakesThemUp) {
    test::TempFolder prefix;
    const std::string program = installProgram(prefix);
    // A single channel's file is not enough: both channels play recorded messages or none.
    const fs::path share = fs::path(prefix.path()) / "share" / "tessaly-monitor";
    fs::create_directories(share);
    std::ofstream(share / kMessageFiles[0], std::ios::binary) << std::string(250 * 4, '\x1A');

    test::CliProcess simulator({"simulate", "--port", "0"}, program);
    const auto fallback = simulator.waitForErrLine("no recorded L6 messages");
    ASSERT_TRUE(fallback.has_value());
    EXPECT_NE(fallback->find(share.string()), std::string::npos) << *fallback;
    const auto listening = simulator.waitForErrLine("listening on");
    ASSERT_TRUE(listening.has_value());
    EXPECT_NE(listening->find("made-up L6 messages"), std::string::npos) << *listening;
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace tessaly
