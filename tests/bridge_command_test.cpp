// tessaly-cli bridge, run as a user runs it, between two TCP peers playing the receivers.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/bridge_status.h"
#include "monitor/csv_row.h"
#include "testing/serial_test_support.h"
#include "tests/bridge_process.h"
#include "tests/cli_process.h"
#include "tests/tcp_peer.h"
#include "tests/test_data.h"

namespace {

using tessaly::test::Bytes;
using tessaly::testing::TcpPeer;
using tessaly::test::Bridge;
using tessaly::test::kPoll;
using tessaly::test::pattern;
using tessaly::test::readFile;
using tessaly::test::rowsWithoutTime;

std::vector<std::string> tcpArgs(const TcpPeer& in, int outPort) {
    return {"--in", "tcp:127.0.0.1:" + std::to_string(in.port()), "--out", "tcp:127.0.0.1:" + std::to_string(outPort)};
}
std::vector<std::string> tcpArgs(const TcpPeer& in, const TcpPeer& out) { return tcpArgs(in, out.port()); }

// Both receivers take the bridge's connections; the input's first bytes are the poll.
void acceptBoth(TcpPeer& input, TcpPeer& output) {
    input.accept();
    EXPECT_EQ(input.receive(kPoll.size()), kPoll);
    output.accept();
}

TEST(BridgeCommand, RelaysEveryByteBothWaysAfterThePoll) {
    tessaly::test::TempFolder folder;
    TcpPeer input, output;
    auto args = tcpArgs(input, output);
    args.insert(args.end(), {"--raw", folder.file("raw.ubx")});
    Bridge bridge(folder, args);
    input.accept();
    EXPECT_EQ(input.receive(kPoll.size()), kPoll) << "the poll comes first";
    output.accept();

    const Bytes forward = pattern(3 << 20, 1), reverse = pattern(1 << 20, 2);
    Bytes gotReverse;
    // Both ways at once, as a receiver streams while corrections flow back.
    std::thread back([&] {
        std::thread sender([&] { output.send(reverse); });
        gotReverse = input.receive(reverse.size());
        sender.join();
    });
    std::thread sender([&] { input.send(forward); });
    const Bytes gotForward = output.receive(forward.size());
    sender.join();
    back.join();
    EXPECT_TRUE(gotForward == forward) << "forward: " << gotForward.size() << " of " << forward.size();
    EXPECT_TRUE(gotReverse == reverse) << "reverse: " << gotReverse.size() << " of " << reverse.size();

    EXPECT_EQ(bridge.stop(), 0) << bridge.err();
    const std::string raw = readFile(folder.file("raw.ubx"));
    EXPECT_TRUE(raw == std::string(forward.begin(), forward.end())) << "raw: " << raw.size() << " bytes";
}

TEST(BridgeCommand, EveryOutputGetsEveryByteAndOnlyTheFirstSpeaksBack) {
    tessaly::test::TempFolder folder;
    TcpPeer input, first, second;
    auto args = tcpArgs(input, first);
    args.insert(args.end(), {"--out", "tcp:127.0.0.1:" + std::to_string(second.port()), "--json"});
    Bridge bridge(folder, args);
    input.accept();
    ASSERT_EQ(input.receive(kPoll.size()), kPoll);
    first.accept();
    second.accept();

    const Bytes forward = pattern(1 << 20, 7);
    std::thread sender([&] { input.send(forward); });
    Bytes gotSecond;
    std::thread reader([&] { gotSecond = second.receive(forward.size()); });
    const Bytes gotFirst = first.receive(forward.size());
    sender.join();
    reader.join();
    EXPECT_TRUE(gotFirst == forward) << gotFirst.size();
    EXPECT_TRUE(gotSecond == forward) << gotSecond.size();

    // The second receiver's bytes would break the first one's frames: read, counted, dropped.
    second.send({9, 9, 9, 9});
    first.send({1, 2, 3});
    EXPECT_EQ(input.receive(3), (Bytes{1, 2, 3}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_EQ(bridge.stop(), 0);
    const std::string out = bridge.out();
    const std::string last = out.substr(out.rfind("{\"input\""));
    EXPECT_NE(last.find("\"bytesToOutput\":1048576,\"bytesToInput\":3,\"bytesNotReturned\":4"), std::string::npos) << last;
    EXPECT_NE(last.find("\"outputs\":[{\"address\":\"tcp:127.0.0.1:" + std::to_string(first.port()) +
                        "\",\"state\":\"up\",\"bytes\":1048576},{\"address\":\"tcp:127.0.0.1:" +
                        std::to_string(second.port()) + "\",\"state\":\"up\",\"bytes\":1048576}]"),
              std::string::npos)
        << last;
}

TEST(BridgeCommand, ReconnectsTheInputAndPollsAgain) {
    tessaly::test::TempFolder folder;
    auto input = std::make_unique<TcpPeer>();
    TcpPeer output;
    const int inputPort = input->port();
    Bridge bridge(folder, tcpArgs(*input, output));
    input->accept();
    ASSERT_EQ(input->receive(kPoll.size()), kPoll);
    output.accept();

    // The receiver reboots: its connection ends and it listens again on the same port.
    input.reset();
    input = std::make_unique<TcpPeer>(inputPort);
    input->accept();
    EXPECT_EQ(input->receive(kPoll.size()), kPoll) << "the poll is sent again";
    const Bytes data = pattern(4096, 3);
    input->send(data);
    EXPECT_EQ(output.receive(data.size()), data);
    output.send({1, 2, 3});
    EXPECT_EQ(input->receive(3), (Bytes{1, 2, 3}));

    EXPECT_EQ(bridge.stop(SIGINT), 0);
    EXPECT_NE(bridge.err().find("input link tcp:127.0.0.1:" + std::to_string(inputPort) + " lost"), std::string::npos)
        << bridge.err();
}

TEST(BridgeCommand, StopLeavesCompleteCsvAndStatusLines) {
    tessaly::test::TempFolder folder;
    TcpPeer input, output;
    auto args = tcpArgs(input, output);
    args.insert(args.end(), {"--csv", folder.file("log.csv"), "--json"});
    Bridge bridge(folder, args);
    acceptBoth(input, output);

    Bytes stream;
    for (std::uint32_t second = 0; second < 3; ++second) {
        for (std::uint8_t chn : {0, 1}) {
            tessaly::test::L6Fields fields;
            fields.chn = chn;
            fields.timeTag = 1000 * (second + 1);
            const Bytes frame = tessaly::test::l6Frame(fields);
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
    }
    input.send(stream);
    EXPECT_EQ(output.receive(stream.size()), stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // one status line at least

    EXPECT_EQ(bridge.stop(), 0);
    const std::string csv = readFile(folder.file("log.csv"));
    ASSERT_TRUE(csv.starts_with(std::string(tessaly::kDefaultCsvHeader) + "\r\n")) << csv;
    EXPECT_GE(std::count(csv.begin(), csv.end(), '\n'), 2) << "header and rows";
    EXPECT_TRUE(csv.ends_with("\r\n"));
    const std::string out = bridge.out();
    EXPECT_TRUE(out.starts_with("{\"input\":\"up\",\"output\":\"up\",")) << out;
    EXPECT_NE(out.find("\"errStatus\":\"error-free\",\"cno\":45.50"), std::string::npos) << out;
    EXPECT_NE(out.find("\"bytesToOutput\":" + std::to_string(stream.size())), std::string::npos) << out;
}

// A station's options file holds the caster's password: the bridge says once when every user may
// read it, and neither its status nor its messages ever show the password.
TEST(BridgeCommand, AnOptionsFileEveryUserCanReadIsSaidOnceAndItsPasswordNowhere) {
    for (const auto mode : {std::filesystem::perms(0644), std::filesystem::perms(0600)}) {
        tessaly::test::TempFolder folder;
        TcpPeer input, output;
        const std::string config = folder.file("station.conf");
        std::ofstream(config) << "--in tcp:127.0.0.1:" << input.port() << "\n--out tcp:127.0.0.1:" << output.port()
                              << "\n--out ntrips://:hunter2@127.0.0.1:" << tessaly::test::freeTcpPort() << "/L6E\n";
        std::filesystem::permissions(config, mode);
        Bridge bridge(folder, {"--config", config});
        acceptBoth(input, output);
        EXPECT_TRUE(bridge.waitForErr("output 2 link: cannot connect to ntrips://")) << bridge.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a status line
        EXPECT_EQ(bridge.stop(), 0);
        const std::string err = bridge.err(), warning = "warning: every user can read " + config;
        const bool readable = mode == std::filesystem::perms(0644);
        EXPECT_EQ(err.find(warning) != std::string::npos, readable) << err;
        EXPECT_EQ(err.find(warning), err.rfind(warning)) << "said once";
        EXPECT_EQ(err.find("hunter2"), std::string::npos) << err;
        EXPECT_EQ(bridge.out().find("hunter2"), std::string::npos) << bridge.out();
    }
}

// A rover that comes back is fed from the moment its connection exists: what the receiver sends
// just after the rover took the reconnect reaches it whole (the writer is there before the rover
// can send anything itself), each time it comes back.
TEST(BridgeCommand, BytesSentRightAfterAnOutputIsBackAllArrive) {
    tessaly::test::TempFolder folder;
    TcpPeer input;
    const int port = tessaly::test::freeTcpPort();
    Bridge bridge(folder, tcpArgs(input, port));
    input.accept();
    ASSERT_EQ(input.receive(kPoll.size()), kPoll);
    for (std::uint32_t back = 0; back < 2; ++back) {
        TcpPeer rover(port);
        rover.accept();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const Bytes data = pattern(5000, 20 + back);
        input.send(data);
        EXPECT_EQ(rover.receive(data.size()), data) << "come back " << back;
        rover.reset();
    }
    EXPECT_EQ(bridge.stop(), 0);
}

// Numbered records of 16 bytes: the sequence number, then bytes that depend on it.
Bytes numberedRecords(std::uint64_t first, std::size_t count) {
    Bytes bytes;
    for (std::uint64_t n = first; n < first + count; ++n) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(n * 31 + static_cast<std::uint64_t>(i)));
    }
    return bytes;
}

// Where in the stream of numbered records `got` starts, when it is one unbroken piece of it.
std::optional<std::uint64_t> placeInStream(const Bytes& got) {
    for (std::size_t cut = 0; cut < 16 && cut + 16 <= got.size(); ++cut) {
        std::uint64_t n = 0;
        for (int i = 0; i < 8; ++i) n |= static_cast<std::uint64_t>(got[cut + static_cast<std::size_t>(i)]) << (8 * i);
        if (n == 0 && cut > 0) continue;
        const std::uint64_t start = n * 16 - cut;
        const Bytes expected = numberedRecords(start / 16, got.size() / 16 + 2);
        if (std::equal(got.begin(), got.end(), expected.begin() + static_cast<std::ptrdiff_t>(start % 16))) return start;
    }
    return std::nullopt;
}

// The rover's receiver goes away and comes back again and again while the L6 receiver streams:
// each connection carries one unbroken piece of the stream, later pieces come from later in it,
// and nothing of an old connection's queue reaches a new one.
TEST(BridgeCommand, EveryConnectionOfAComingAndGoingRoverCarriesAnUnbrokenPieceInOrder) {
    tessaly::test::TempFolder folder;
    TcpPeer input;
    const int port = tessaly::test::freeTcpPort();
    Bridge bridge(folder, tcpArgs(input, port));
    input.accept();
    ASSERT_EQ(input.receive(kPoll.size()), kPoll);
    std::atomic<bool> streaming{true};
    std::thread receiver([&] {
        for (std::uint64_t n = 0; streaming; n += 64) {
            input.send(numberedRecords(n, 64));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::uint64_t nextFrom = 0;
    for (int cycle = 0; cycle < 8; ++cycle) {
        TcpPeer rover(port);
        rover.accept();
        const Bytes got = rover.receive(40000);
        ASSERT_EQ(got.size(), 40000u) << "cycle " << cycle;
        const auto start = placeInStream(got);
        ASSERT_TRUE(start) << "cycle " << cycle << ": a hole or foreign bytes inside one connection";
        EXPECT_GE(*start, nextFrom) << "cycle " << cycle << ": bytes from before the last connection's";
        nextFrom = *start + got.size();
        cycle % 2 ? rover.reset() : rover.closeOrderly();
    }
    streaming = false;
    receiver.join();
    EXPECT_EQ(bridge.stop(), 0);
}

// A rover's receiver that reads more slowly than the L6 side sends is fed every byte: the relay
// reads the input no faster than the output takes it, far beyond what any queue holds.
TEST(BridgeCommand, AnOutputThatReadsSlowerThanTheInputSendsGetsEveryByte) {
    tessaly::test::TempFolder folder;
    TcpPeer input, output;
    Bridge bridge(folder, tcpArgs(input, output));
    acceptBoth(input, output);
    const Bytes data = pattern(48 << 20, 9);
    std::thread sender([&] { input.send(data); });
    Bytes got;
    while (got.size() < data.size()) {
        const Bytes piece = output.receive(std::min<std::size_t>(1 << 20, data.size() - got.size()));
        if (piece.empty()) break;
        got.insert(got.end(), piece.begin(), piece.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    sender.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size();
    EXPECT_EQ(bridge.err().find("lost"), std::string::npos) << bridge.err();
    EXPECT_EQ(bridge.stop(), 0);
}

// A caster that answers one byte a second holds the opening of the input for its whole time-out;
// SIGTERM in the middle of it ends the bridge in order at once, not when the time-out is over.
TEST(BridgeCommand, AStopEndsTheBridgeWhileACasterIsSlowToAnswer) {
    tessaly::test::TempFolder folder;
    TcpPeer caster, output;
    Bridge bridge(folder, {"--in", "ntrip://127.0.0.1:" + std::to_string(caster.port()) + "/L6E", "--out",
                           "tcp:127.0.0.1:" + std::to_string(output.port())});
    caster.accept();
    std::atomic<bool> answering{true};
    std::thread slowly([&] {
        for (const char c : std::string("ICY 200 OK\r\n")) {
            for (int i = 0; i < 100 && answering; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!answering) return;
            caster.send({static_cast<std::uint8_t>(c)});
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(bridge.stop(), 0) << bridge.err();
    const auto took = std::chrono::steady_clock::now() - stopped;
    answering = false;
    slowly.join();
    // Tens of milliseconds in a plain build; the bound leaves room for the sanitizers, far below
    // the 8.5 s that waiting for the answer's time-out takes.
    EXPECT_LT(took, std::chrono::seconds(3)) << "the stop waited for the caster's answer";
}

TEST(BridgeCommand, AnHourRelayedAtFullSpeedLogsTheRowsThatDecodeFinds) {
    const tessaly::test::Bytes hour = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    tessaly::test::TempFolder folder;
    std::ofstream(folder.file("hour.ubx"), std::ios::binary).write(reinterpret_cast<const char*>(hour.data()),
                                                                     static_cast<std::streamsize>(hour.size()));
    TcpPeer input, output;
    auto args = tcpArgs(input, output);
    args.insert(args.end(), {"--csv", folder.file("relayed.csv"), "--json"});
    Bridge bridge(folder, args);
    acceptBoth(input, output);

    std::thread sender([&] { input.send(hour); });
    EXPECT_TRUE(output.receive(hour.size()) == hour) << "forwarded unchanged";
    sender.join();
    // The stop lets the monitor watch what the relay was ahead by before the log closes.
    EXPECT_EQ(bridge.stop(), 0) << bridge.err();

    const auto decoded = tessaly::test::runCliToEnd("decode " + folder.file("hour.ubx") + " --csv " + folder.file("decoded.csv"));
    ASSERT_EQ(decoded.status, 0);
    const auto relayedRows = rowsWithoutTime(readFile(folder.file("relayed.csv")));
    EXPECT_GT(relayedRows.size(), 3000u);
    EXPECT_TRUE(relayedRows == rowsWithoutTime(readFile(folder.file("decoded.csv"))))
        << relayedRows.size() << " rows relayed; the last status: " << bridge.out().substr(bridge.out().rfind('{'));
}

TEST(BridgeCommand, TheRoversWordReachesTheJsonAndItsBytesTheInputUnchanged) {
    tessaly::test::TempFolder folder;
    TcpPeer input, output;
    auto args = tcpArgs(input, output);
    args.insert(args.end(), {"--json", "--raw-return", folder.file("return.ubx")});
    Bridge bridge(folder, args);
    acceptBoth(input, output);
    // Fixed carrier solution with 14 mm, corrections 2-5 s old; two L6 messages used, one not,
    // one RTCM message; and a GGA that the NAV-PVT outranks.
    using tessaly::test::concat;
    const std::string gga = tessaly::test::nmeaSentence("GNGGA,120000.00,3424.0,N,13227.0,E,5,09,1.0,10.0,M,30.0,M,3.0,0000");
    const Bytes rover = concat({tessaly::test::navPvtFrame({.fixType = 3, .flags = 0x83, .numSv = 12, .hAccMm = 14, .flags3 = 2 << 1}),
                                tessaly::test::rxmCorFrame(30, 1, 2), tessaly::test::rxmCorFrame(30, 1, 2),
                                tessaly::test::rxmCorFrame(30, 2, 1), tessaly::test::rxmCorFrame(1, 1, 2),
                                Bytes(gga.begin(), gga.end())});
    output.send(rover);
    EXPECT_EQ(input.receive(rover.size()), rover) << "the return stream passes unchanged";
    std::string line;
    for (int i = 0; i < 40 && line.find("\"rover\":{") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string out = bridge.out();
        const auto last = out.rfind('{', out.rfind("\"input\"") );
        line = last == std::string::npos ? "" : out.substr(last);
    }
    EXPECT_EQ(bridge.stop(), 0);
    EXPECT_NE(line.find("\"rover\":{\"fix\":\"fixed\",\"numSV\":12,\"hAcc_m\":0.014,"), std::string::npos) << line;
    EXPECT_NE(line.find("\"cor\":{\"received\":3,\"used\":2,\"notUsed\":1,\"unknown\":0}"), std::string::npos) << line;
    const std::string recorded = readFile(folder.file("return.ubx"));
    EXPECT_TRUE(recorded == std::string(rover.begin(), rover.end())) << "--raw-return: " << recorded.size() << " bytes";
}

TEST(BridgeCommand, BadAddressOrFileGivesStatus2) {
    tessaly::test::TempFolder folder;
    TcpPeer listening;
    const std::string live = "tcp:127.0.0.1:" + std::to_string(listening.port());
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--in", "tcp:nowhere", "--out", live},
             {"--in", live},
             {"--in", live, "--out", live, "--csv", "/nonexistent/x.csv"},
             {"--in", live, "--out", live, "--ini", folder.file("missing.ini")}}) {
        Bridge bridge(folder, args);
        EXPECT_EQ(bridge.wait(), 2) << ::testing::PrintToString(args);
        const std::string err = bridge.err();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST(BridgeCommand, AStationThatBootsBeforeItsPeersWaitsForThemAndRelays) {
    tessaly::test::TempFolder folder;
    const auto freePort = [] { TcpPeer gone; return gone.port(); };
    const int inputPort = freePort(), outputPort = freePort();
    Bridge bridge(folder, {"--in", "tcp:127.0.0.1:" + std::to_string(inputPort), "--out",
                           "tcp:127.0.0.1:" + std::to_string(outputPort)});
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // two failed attempts each
    TcpPeer output(outputPort);
    TcpPeer input(inputPort);
    output.accept();
    input.accept();
    EXPECT_EQ(input.receive(kPoll.size()), kPoll) << "the poll follows the first open";
    // Blocks that come while the output is still connecting are not held for it.
    for (int i = 0; i < 500 && bridge.err().find("output link tcp:127.0.0.1:" + std::to_string(outputPort) + " open") ==
                                   std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Bytes data = pattern(65536, 9);
    input.send(data);
    EXPECT_EQ(output.receive(data.size()), data);
    EXPECT_EQ(bridge.stop(), 0);
    const std::string err = bridge.err();
    EXPECT_NE(err.find("input link: cannot connect to tcp:127.0.0.1:" + std::to_string(inputPort) +
                       ": connection refused (nothing listens on that port); next attempt in 0.5 s"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("next attempt in 1.0 s"), std::string::npos) << "the wait doubles: " << err;
}

}  // namespace

namespace {

TEST(BridgeCommand, SerialInputToTcpOutputEveryByteBothWays) {
    tessaly::test::TempFolder folder;
    tessaly::testing::PortsFolder ports;
    tessaly::testing::PtyPair receiver;
    ports.link(4, receiver.nearPath());
    setenv("TESSALY_PORTS_DIR", ports.path().c_str(), 1);  // the child inherits the port map
    TcpPeer rover;
    Bridge bridge(folder, {"--in", "serial:COM4@115200", "--out", "tcp:127.0.0.1:" + std::to_string(rover.port()),
                           "--raw", folder.file("in.ubx")});
    rover.accept();
    EXPECT_EQ(receiver.readFar(kPoll.size(), std::chrono::milliseconds(5000)), kPoll);
    const Bytes back = pattern(100000, 5);
    rover.send(back);
    EXPECT_EQ(receiver.readFar(back.size(), std::chrono::milliseconds(10000)), back);
    const Bytes forward = pattern(1 << 20, 6);
    std::thread writer([&] { receiver.writeFar(forward); });
    EXPECT_EQ(rover.receive(forward.size()), forward);
    writer.join();
    EXPECT_EQ(bridge.stop(), 0);
    const std::string raw = readFile(folder.file("in.ubx"));
    EXPECT_EQ(Bytes(raw.begin(), raw.end()), forward);
}

// A device by its path needs no port map. What the bridge relays is said once at start, and each
// status line carries its UTC time, as often as --interval asks.
TEST(BridgeCommand, ADevicePathIsOpenedAsItIsAndEveryStatusLineIsTimed) {
    tessaly::test::TempFolder folder;
    tessaly::testing::PtyPair receiver;
    TcpPeer rover;
    const std::string in = "serial:" + receiver.nearPath() + "@9600";
    const std::string out = "tcp:127.0.0.1:" + std::to_string(rover.port());
    Bridge bridge(folder, {"--in", in, "--out", out, "--interval", "0.2"});
    rover.accept();
    EXPECT_EQ(receiver.readFar(kPoll.size(), std::chrono::milliseconds(5000)), kPoll);
    const Bytes forward = pattern(5000, 9);
    receiver.writeFar(forward);
    EXPECT_EQ(rover.receive(forward.size()), forward);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(bridge.stop(), 0);
    EXPECT_NE(bridge.err().find(" relaying input " + in + ", output " + out + "\n"), std::string::npos)
        << bridge.err();
    std::istringstream lines(bridge.out());
    int timed = 0;
    const std::regex stamp(R"(^20\d\d-\d\d-\d\dT\d\d:\d\d:\d\dZ in up, out up \| .*)");
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, stamp)) << line;
        ++timed;
    }
    EXPECT_GE(timed, 4) << "a line every 0.2 s, not every second";
}

}  // namespace

namespace {

// Scripts read the total as before, and the count of each reason beside it.
TEST(BridgeStatus, JsonKeepsTheDropTotalAndAddsOneCountPerReason) {
    tessaly::BridgeStatus status;
    status.framesDropped = 5;
    status.framesDroppedBy = {3, 2};
    const std::string json = tessaly::statusLineJson(status);
    EXPECT_TRUE(json.find(",\"framesDropped\":5,\"framesDroppedBy\":{\"checksum\":3,\"length\":2},") != std::string::npos) << json;
}

// A channel that stopped reporting (the input is down, or its satellite set) is silent after 5 s,
// as the window empties its grid, instead of repeating its last report for ever.
TEST(BridgeStatus, AChannelThatFellSilentIsSaidSoAfterFiveSeconds) {
    using namespace std::chrono_literals;
    auto now = tessaly::ChannelTracker::Clock::time_point{} + 1h;
    tessaly::ChannelTracker tracker([&] { return now; });
    EXPECT_FALSE(tracker.channel(tessaly::Channel::A)) << "nothing before the first report";
    tessaly::L6ChannelReport report{};
    report.errStatus = tessaly::kErrStatusErrorFree;
    report.cno = 43.25F;
    tracker.markFresh(tessaly::Channel::A);
    tracker.showReport(report, 43.25F);
    tessaly::BridgeStatus status;
    const auto line = [&] {
        status.channelA = tracker.channel(tessaly::Channel::A);
        return tessaly::statusLineText(status);
    };
    now += 4999ms;
    EXPECT_NE(line().find("| A error-free C/N0 43.25 avg 43.25 |"), std::string::npos) << line();
    now += 1ms;
    EXPECT_NE(line().find("| A silent |"), std::string::npos) << line();
    EXPECT_NE(tessaly::statusLineJson(status).find("\"channelA\":{\"silent\":true},"), std::string::npos);
    tracker.markFresh(tessaly::Channel::A);
    tracker.showReport(report, 43.25F);
    EXPECT_NE(line().find("| A error-free"), std::string::npos) << "speaking again";
}

// Every command answers --help with its own part of the help, and nothing else.
TEST(CliHelp, EachCommandHasItsOwnPart) {
    const std::string whole = tessaly::test::runCliToEnd("--help").out;
    for (const std::string command : {"decode", "ports", "simulate", "sink", "bridge"}) {
        const auto part = tessaly::test::runCliToEnd(command + " --help");
        EXPECT_EQ(part.status, 0) << command;
        EXPECT_TRUE(part.out.starts_with("Usage:\n  tessaly-cli " + command + " ")) << part.out;
        EXPECT_NE(whole.find(part.out.substr(7)), std::string::npos) << command << ": the part as the whole help has it";
        EXPECT_EQ(part.out.find("\n  tessaly-cli ", 8), std::string::npos) << command << ": one command only";
    }
    EXPECT_EQ(tessaly::test::runCliToEnd("nosuch --help 2>/dev/null").status, 2);
}

TEST(BridgeStatus, TheTimeIsUtcInIso8601) {
    EXPECT_EQ(tessaly::utcTimeText(std::chrono::system_clock::from_time_t(1796860799)), "2026-12-09T23:59:59Z");
}

}  // namespace
