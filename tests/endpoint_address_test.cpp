// The endpoint addresses and the command line of tessaly-cli bridge.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/bridge_options.h"
#include "cli/endpoint_address.h"

namespace tessaly {
namespace {

using Kind = EndpointAddress::Kind;

TEST(EndpointAddress, GoodAddressesGiveTheirEndpoint) {
    const struct {
        const char* text;
        EndpointAddress address;
    } cases[] = {
        {"tcp:127.0.0.1:5000", {Kind::Tcp, "127.0.0.1", 5000, 0, 115200, "", "", ""}},
        {"tcp:receiver.local:1", {Kind::Tcp, "receiver.local", 1, 0, 115200, "", "", ""}},
        {"tcp:h:65535", {Kind::Tcp, "h", 65535, 0, 115200, "", "", ""}},
        {"serial:COM3", {Kind::Serial, "", 0, 3, 115200, "", "", ""}},
        {"serial:com99@9600", {Kind::Serial, "", 0, 99, 9600, "", "", ""}},
        {"serial:COM1@460800", {Kind::Serial, "", 0, 1, 460800, "", "", ""}},
        {"serial:/dev/ttyUSB0@9600", {Kind::Serial, "", 0, 0, 9600, "", "", "", "/dev/ttyUSB0"}},
        {"serial:/dev/serial/by-id/usb-L6_receiver-if00", {Kind::Serial, "", 0, 0, 115200, "", "", "",
                                                          "/dev/serial/by-id/usb-L6_receiver-if00"}},
        {"tcpsvr::2102", {Kind::TcpServer, "0.0.0.0", 2102, 0, 115200, "", "", ""}},
        {"tcpsvr:127.0.0.1:9", {Kind::TcpServer, "127.0.0.1", 9, 0, 115200, "", "", ""}},
        {"ntrip://caster.example/L6E", {Kind::NtripClient, "caster.example", 2101, 0, 115200, "L6E", "", ""}},
        {"ntrip://me:p@ss:w@rd@h:2102/M1", {Kind::NtripClient, "h", 2102, 0, 115200, "M1", "me", "p@ss:w@rd"}},
        {"ntrip://me@h/M", {Kind::NtripClient, "h", 2101, 0, 115200, "M", "me", ""}},
        {"ntrips://:secret@h:80/M", {Kind::NtripServer, "h", 80, 0, 115200, "M", "", "secret"}},
        {"ntrips://u:secret@h/M", {Kind::NtripServer, "h", 2101, 0, 115200, "M", "u", "secret"}},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto address = parseEndpointAddress(c.text, error);
        ASSERT_TRUE(address) << c.text << ": " << error;
        EXPECT_EQ(*address, c.address) << c.text;
    }
}

TEST(EndpointAddress, BadAddressesSayWhatIsWrong) {
    for (const char* text : {"", "tcp:", "tcp:host", "tcp::5000", "tcp:host:0", "tcp:host:65536", "tcp:host:50x",
                             "tcp:host:-1", "tcp:::1:5000", "udp:host:5000", "serial:", "serial:COM", "serial:COM0",
                             "serial:COM100", "serial:ttyUSB0", "serial:/", "serial:/dev/a\"b", "serial:COM3@", "serial:COM3@0", "serial:COM3@fast",
                             "serial:COM3@9600@1", "COM3", "127.0.0.1:5000", "tcpsvr:", "tcpsvr:2102",
                             "tcpsvr::0", "ntrip://h", "ntrip://h/", "ntrip:///M", "ntrip://h:0/M", "ntrip://h:x/M",
                             "ntrip://u@/M", "ntrip://h/a/b", "ntrips://h", "ntrip:h/M",
                             // Hosts the resolver would refuse at every retry, for ever.
                             "tcp:my host:2101", "tcpsvr:999.1.1.1:2102", "tcp:1.2.3:5", "tcp:-h:5", "tcp:a..b:5",
                             "ntrip://caster example/M", "ntrips://:p@256.0.0.1/M"}) {
        std::string error;
        EXPECT_FALSE(parseEndpointAddress(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(error.find('\n'), std::string::npos) << text;
    }
    for (const char* text : {"tcp:receiver-1.local:2101", "tcp:192.168.1.10:2101", "ntrip://rover@caster_2.example/M"}) {
        std::string error;
        EXPECT_TRUE(parseEndpointAddress(text, error)) << text << ": " << error;
    }
}

TEST(EndpointAddress, ASerialPortThatIsNeitherNumberNorPathSaysHowToNameIt) {
    std::string error;
    EXPECT_FALSE(parseEndpointAddress("serial:ttyUSB0", error));
    EXPECT_NE(error.find("tessaly-cli ports --map"), std::string::npos) << error;
    EXPECT_NE(error.find("/dev/ttyUSB0"), std::string::npos) << error;
}

// A host pasted with a whole file behind it: refused, and the line that says so stays readable.
TEST(EndpointAddress, AHugeTextIsRefusedInAShortLine) {
    const std::string name(100 * 1024, 'h');
    for (const std::string& text : {"tcp:" + name + ":2101", "tcp:host:" + name, name, "ntrip://" + name + "/M"}) {
        std::string error;
        EXPECT_FALSE(parseEndpointAddress(text, error));
        EXPECT_LT(error.size(), 200u) << error.substr(0, 200);
    }
}

TEST(EndpointAddress, AddressTextReadsBack) {
    for (const char* text : {"tcp:10.0.0.2:2101", "serial:COM7@38400", "tcpsvr:0.0.0.0:2102", "ntrip://h:2101/M",
                             "ntrips://h:2101/M"}) {
        std::string error;
        EXPECT_EQ(endpointAddressText(*parseEndpointAddress(text, error)), text);
    }
}

// The status line goes to logs and journals: a caster's password must not.
TEST(EndpointAddress, AddressTextHidesThePassword) {
    std::string error;
    const std::string text = endpointAddressText(*parseEndpointAddress("ntrip://rover:hunter2@h/M", error));
    EXPECT_EQ(text, "ntrip://rover@h:2101/M");
}

TEST(BridgeOptions, AllOptions) {
    std::string error;
    const auto options = parseBridgeOptions({"--in", "tcp:a:1", "--out", "serial:COM2", "--csv", "c.csv", "--raw",
                                             "r.ubx", "--ini", "s.ini", "--utc", "--json", "--raw-return", "back.ubx"},
                                            error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->input.host, "a");
    EXPECT_EQ(options->outputs.at(0).portNo, 2);
    EXPECT_EQ(options->csvPath, "c.csv");
    EXPECT_EQ(options->rawPath, "r.ubx");
    EXPECT_EQ(options->rawReturnPath, "back.ubx");
    EXPECT_EQ(options->iniPath, "s.ini");
    EXPECT_TRUE(options->utc);
    EXPECT_TRUE(options->json);
    EXPECT_FALSE(options->returnFromServedClient);
    EXPECT_TRUE(parseBridgeOptions({"--in", "tcp:a:1", "--out", "tcpsvr::2", "--return-from", "tcpsvr"}, error)
                    ->returnFromServedClient);
}

TEST(BridgeOptions, OutputsKeepTheirOrder) {
    std::string error;
    const auto options = parseBridgeOptions({"--in", "tcp:a:1", "--out", "tcp:b:2", "--out", "serial:COM4"}, error);
    ASSERT_TRUE(options) << error;
    ASSERT_EQ(options->outputs.size(), 2u);
    EXPECT_EQ(options->outputs[0].host, "b");
    EXPECT_EQ(options->outputs[1].portNo, 4);
}

TEST(BridgeConfig, OneOptionALineWithCommentsAndBlanksInValues) {
    std::istringstream file("# station on the roof\r\n\n  --in serial:COM3@38400\r\n--out\ttcpsvr::2102  \n"
                            "   # rovers pull from the caster\n--out ntrips://:pw@caster:2101/L6E\n--json\n"
                            "--csv /var/log/l6 logs/station 1.csv\n");
    std::string error;
    const auto args = readBridgeConfig(file, error);
    ASSERT_TRUE(args) << error;
    EXPECT_EQ(*args, (std::vector<std::string>{"--in", "serial:COM3@38400", "--out", "tcpsvr::2102", "--out",
                                               "ntrips://:pw@caster:2101/L6E", "--json", "--csv",
                                               "/var/log/l6 logs/station 1.csv"}));
}

TEST(BridgeConfig, ALineThatIsNoOptionIsNamed) {
    for (const char* text : {"--in tcp:a:1\nin tcp:b:2\n", "--config other.conf\n"}) {
        std::istringstream file(text);
        std::string error;
        EXPECT_FALSE(readBridgeConfig(file, error)) << text;
        EXPECT_NE(error.find("line "), std::string::npos) << error;
    }
}

TEST(BridgeConfig, AFileStandsForItsOptionsOnTheCommandLine) {
    const auto path = std::filesystem::temp_directory_path() / ("tessaly-bridge-" + std::to_string(::getpid()) + ".conf");
    std::ofstream(path) << "--in tcp:a:1\n--out tcp:b:2\n";
    std::string error;
    const auto options = parseBridgeOptions({"--config", path.string(), "--out", "serial:COM5", "--json"}, error);
    std::filesystem::remove(path);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->input.host, "a");
    ASSERT_EQ(options->outputs.size(), 2u);
    EXPECT_EQ(options->outputs[1].portNo, 5);
    EXPECT_TRUE(options->json);
    EXPECT_FALSE(parseBridgeOptions({"--config", path.string()}, error)) << "a missing file";
    EXPECT_EQ(error, "cannot read " + path.string());
}

// Only a regular file of a few lines is an options file: an endless device, a FIFO or a folder
// named by mistake is one line of error, read no further.
TEST(BridgeConfig, WhatIsNoOptionsFileIsRefusedUnread) {
    const auto folder = std::filesystem::temp_directory_path() / ("tessaly-config-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    std::ofstream(folder / "big.conf") << "--in tcp:a:1\n" << std::string(70 * 1024, '#') << "\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/zero", "/dev/zero is not a regular file"},
        {(folder / "fifo").string(), (folder / "fifo").string() + " is not a regular file"},
        {folder.string(), folder.string() + " is not a regular file"},
        {(folder / "big.conf").string(), (folder / "big.conf").string() + " is larger than 64 KiB: not an options file"},
    };
    for (const auto& [path, said] : cases) {
        std::string error;
        EXPECT_FALSE(parseBridgeOptions({"--config", path}, error)) << path;
        EXPECT_EQ(error, said);
    }
    std::filesystem::remove_all(folder);
}

TEST(BridgeOptions, BadCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--in", "tcp:a:1"},
        {"--out", "tcp:a:1"},
        {"--in", "tcp:a:1", "--out"},
        {"--in", "tcp:a:1", "--out", "tcp:a:1"},
        {"--in", "serial:COM1@9600", "--out", "serial:COM1@115200"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--frobnicate"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "extra"},
        {"--in", "tcp:a", "--out", "tcp:a:2"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--raw-return"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--raw", "x.ubx", "--raw-return", "x.ubx"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--out", "tcp:a:2"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--out", "tcp:a:1"},
        {"--in", "tcp:a:1", "--out", "serial:COM3", "--out", "serial:COM3@9600"},
        {"--in", "ntrips://:p@h/M", "--out", "tcp:a:2"},
        {"--in", "tcp:a:1", "--out", "ntrip://h/M"},
        {"--in", "tcp:a:1", "--out", "tcpsvr::2", "--return-from", "first"},
        {"--in", "tcp:a:1", "--out", "tcp:a:2", "--out", "tcpsvr::2", "--return-from", "tcpsvr"},
    };
    for (const auto& args : cases) {
        std::string error;
        EXPECT_FALSE(parseBridgeOptions(args, error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace tessaly
