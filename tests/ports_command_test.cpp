// tessaly-cli ports: the list as the drop-down shows it, in-process with a known device list and
// once as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/ports_command.h"
#include "testing/serial_test_support.h"

namespace tessaly::testing {
namespace {

TEST(PortsCommand, PrintsOneEntryALineAndWithMapTheDevices) {
    PortsFolder folder;
    PtyPair one, two;
    folder.link(1, one.nearPath());
    PortListSource source;
    source.portsFolder = folder.path();
    source.findDevices = [&] {
        return std::vector<SerialDeviceInfo>{{two.nearPath(), "", "u-blox GNSS receiver (ttyACM0)"}};
    };
    std::ostringstream out, err;
    EXPECT_EQ(runPorts({}, source, out, err), 0);
    EXPECT_EQ(out.str(), "COM1\n(no number) u-blox GNSS receiver (ttyACM0)  ->  " + two.nearPath() +
                             "\ntessaly-cli ports --number gives them numbers in the port map\n");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "COM2")) << "a listing writes nothing";

    std::ostringstream mapOut;
    EXPECT_EQ(runPorts({"--number", "--map"}, source, mapOut, err), 0);
    EXPECT_EQ(mapOut.str(), "Port map: " + folder.path().string() + "\nCOM1  ->  " + one.nearPath() +
                                "\nCOM2  u-blox GNSS receiver (ttyACM0)  ->  " + two.nearPath() + "\n");
    EXPECT_EQ(err.str(), "");
}

TEST(PortsCommand, BadOptionGivesOneLineAndStatus2) {
    std::ostringstream out, err;
    EXPECT_EQ(runPorts({"--bogus"}, {}, out, err), 2);
    EXPECT_EQ(err.str(), "tessaly-cli ports: unknown option '--bogus'\n");
    EXPECT_EQ(out.str(), "");
}

TEST(PortsCommand, RunsWithTheFolderFromTheEnvironment) {
    PortsFolder folder;
    PtyPair receiver;
    folder.link(5, receiver.nearPath());
    const std::string command =
        "TESSALY_PORTS_DIR=" + folder.path().string() + " " TESSALY_CLI_PATH " ports 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[1024];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    EXPECT_EQ(pclose(pipe), 0);
    // Devices of the machine running the test may be listed too; COM5 is ours.
    EXPECT_NE(out.find("COM5\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace tessaly::testing
