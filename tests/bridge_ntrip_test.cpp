// tessaly-cli bridge against real NTRIP peers: str2str (from the rtklib package) as caster, client
// and source, and the test caster where a caster must take a source. Skipped when str2str is not
// installed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/bridge_process.h"
#include "tests/tcp_peer.h"
#include "tests/test_caster.h"
#include "tests/test_data.h"

namespace {

using tessaly::test::Bridge;
using tessaly::test::Bytes;
using tessaly::test::pattern;
using tessaly::test::readFile;
using tessaly::test::rowsWithoutTime;
using tessaly::test::TestCaster;
using tessaly::testing::TcpPeer;
using namespace std::chrono_literals;

const char* const kStr2str = "/usr/bin/str2str";
// str2str discards what it reads until it has taken the caster's answer, a cycle or two after
// the caster has seen its request (as a source and as a client alike).
constexpr auto kStr2strSettles = 500ms;

// str2str in the background, silent, ended with the test.
class Str2str {
public:
    explicit Str2str(std::vector<std::string> args) {
        args.insert(args.begin(), kStr2str);
        pid_ = fork();
        if (pid_ == 0) {
            (void)!freopen("/dev/null", "w", stdout);
            (void)!freopen("/dev/null", "w", stderr);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Str2str() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

#define REQUIRE_STR2STR()                                                                           \
    if (!std::filesystem::exists(kStr2str)) GTEST_SKIP() << "str2str (package rtklib) is not installed"

std::string local(int port) { return "127.0.0.1:" + std::to_string(port); }

// A slice of the recorded two-channel stream: real L6 messages, small enough to be quick.
Bytes l6Slice() {
    const std::string all = readFile(std::string(TESSALY_DATA_DIR) + "/l6_two_channel_1h.ubx");
    return Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(all.size(), 200000)));
}

// str2str writes to its NTRIP peers without waiting and drops what does not fit, as a relay of a
// live stream does; a receiver's pace (here 4 KiB every 5 ms, far above an L6 stream's) keeps
// every byte.
void sendPaced(TcpPeer& peer, const Bytes& data) {
    for (std::size_t at = 0; at < data.size(); at += 4096) {
        peer.send(Bytes(data.begin() + static_cast<std::ptrdiff_t>(at),
                        data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + 4096))));
        std::this_thread::sleep_for(5ms);
    }
}

bool waitForStatus(const Bridge& bridge, const std::string& text) {
    for (int i = 0; i < 500; ++i) {
        if (bridge.out().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// str2str as the caster of mountpoint L6E for user rover, password pw, fed by `source`.
struct Str2strCaster {
    TcpPeer source;
    const int port = tessaly::test::freeTcpPort();
    Str2str process{{"-in", "tcpcli://" + local(source.port()), "-out", "ntripc://rover:pw@:" + std::to_string(port) + "/L6E"}};
    Str2strCaster() { source.accept(); }
};

class PushThroughNtrips : public ::testing::TestWithParam<const char*> {};

// The bridge as the station's source, str2str as a rover's NTRIP client.
TEST_P(PushThroughNtrips, ArrivesAtAnNtripClientByteForByte) {
    REQUIRE_STR2STR();
    tessaly::test::TempFolder folder;
    TestCaster caster("L6E", "secret", "base");
    TcpPeer input, rover;
    Bridge bridge(folder, {"--in", "tcp:" + local(input.port()), "--out",
                           std::string("ntrips://") + GetParam() + "@" + local(caster.port()) + "/L6E"});
    input.accept();
    ASSERT_EQ(input.receive(tessaly::test::kPoll.size()), tessaly::test::kPoll);
    ASSERT_TRUE(caster.waitForSource(10s)) << bridge.err();
    Str2str client({"-in", "ntrip://" + local(caster.port()) + "/L6E", "-out", "tcpcli://" + local(rover.port())});
    rover.accept();
    ASSERT_TRUE(caster.waitForClients(1, 10s));
    std::this_thread::sleep_for(kStr2strSettles);

    const Bytes data = pattern(300000, 21);
    std::thread sender([&] { sendPaced(input, data); });
    const Bytes got = rover.receive(data.size());
    sender.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size();
    EXPECT_TRUE(caster.received() == data) << caster.received().size();
    EXPECT_EQ(bridge.stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Revisions, PushThroughNtrips, ::testing::Values(":secret", "base:secret"));

// The test caster speaks as the field does: str2str's own source is taken and kept byte for byte.
TEST(TestCaster, TakesStr2strsSource) {
    REQUIRE_STR2STR();
    TestCaster caster("L6E", "secret");
    TcpPeer input;
    Str2str source({"-in", "tcpcli://" + local(input.port()), "-out", "ntrips://:secret@" + local(caster.port()) + "/L6E"});
    input.accept();
    ASSERT_TRUE(caster.waitForSource(10s));
    EXPECT_EQ(caster.sourceLine(), "SOURCE secret L6E");
    std::this_thread::sleep_for(kStr2strSettles);
    const Bytes data = pattern(100000, 22);
    sendPaced(input, data);
    EXPECT_TRUE(caster.waitForBytes(data.size(), 10s));
    EXPECT_TRUE(caster.received() == data) << caster.received().size();
}

// A rover's station: the bridge pulls from str2str's caster, relays to a TCP rover and decodes.
TEST(BridgeNtrip, PulledFromACasterRelaysByteForByteAndDecodesAsDecodeDoes) {
    REQUIRE_STR2STR();
    tessaly::test::TempFolder folder;
    TcpPeer rover;
    Str2strCaster caster;
    TcpPeer& source = caster.source;
    const int casterPort = caster.port;
    Bridge bridge(folder, {"--in", "ntrip://rover:pw@" + local(casterPort) + "/L6E", "--out", "tcp:" + local(rover.port()),
                           "--csv", folder.file("bridge.csv"), "--json"});
    rover.accept();
    ASSERT_TRUE(waitForStatus(bridge, "{\"input\":\"up\"")) << bridge.err();

    const Bytes data = l6Slice();
    std::thread sender([&] { sendPaced(source, data); });
    const Bytes got = rover.receive(data.size());
    sender.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size();
    EXPECT_EQ(bridge.stop(), 0);

    const std::string slice = folder.file("slice.ubx"), decoded = folder.file("decode.csv");
    {
        std::ofstream(slice, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    const std::string command = std::string(TESSALY_CLI_PATH) + " decode " + slice + " --csv " + decoded + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto expected = rowsWithoutTime(readFile(decoded));
    EXPECT_GT(expected.size(), 100u);
    EXPECT_EQ(rowsWithoutTime(readFile(folder.file("bridge.csv"))), expected);
}

// Revision 2 with chunked transfer: the test caster answers so, fed by str2str's source.
TEST(BridgeNtrip, PulledInRevision2ChunksRelaysByteForByte) {
    REQUIRE_STR2STR();
    tessaly::test::TempFolder folder;
    TestCaster caster("L6E", "secret");
    TcpPeer input, rover;
    Str2str source({"-in", "tcpcli://" + local(input.port()), "-out", "ntrips://:secret@" + local(caster.port()) + "/L6E"});
    input.accept();
    ASSERT_TRUE(caster.waitForSource(10s));
    std::this_thread::sleep_for(kStr2strSettles);
    Bridge bridge(folder, {"--in", "ntrip://" + local(caster.port()) + "/L6E", "--out", "tcp:" + local(rover.port())});
    rover.accept();
    ASSERT_TRUE(caster.waitForClients(1, 10s));
    const Bytes data = pattern(300000, 23);
    std::thread sender([&] { sendPaced(input, data); });
    const Bytes got = rover.receive(data.size());
    sender.join();
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size();
    EXPECT_EQ(bridge.stop(), 0);
}

// What a user mistyped, or a port that is no caster, is said in one line and retried.
TEST(BridgeNtrip, RefusedLoginUnknownMountAndNoCasterEachSayWhy) {
    REQUIRE_STR2STR();
    tessaly::test::TempFolder folder;
    TcpPeer rover;
    Str2strCaster caster;
    const int casterPort = caster.port;
    const struct {
        std::string address, says;
    } cases[] = {
        {"ntrip://rover:wrong@" + local(casterPort) + "/L6E", ": login refused (HTTP/1.0 401 Unauthorized)"},
        {"ntrip://rover:pw@" + local(casterPort) + "/NOPE", ": no such mountpoint (the caster sent its source table)"},
    };
    for (const auto& c : cases) {
        Bridge bridge(folder, {"--in", c.address, "--out", "tcp:" + local(rover.port())});
        EXPECT_TRUE(bridge.waitForErr(c.says)) << bridge.err();
        EXPECT_TRUE(bridge.waitForErr("next attempt in 0.5 s")) << bridge.err();
        bridge.stop();
    }
    TcpPeer webServer;
    Bridge bridge(folder, {"--in", "ntrip://" + local(webServer.port()) + "/L6E", "--out", "tcp:" + local(rover.port())});
    webServer.accept();
    const std::string reply = "HTTP/1.1 400 Bad Request\r\nServer: web\r\n\r\n";
    webServer.send(Bytes(reply.begin(), reply.end()));
    EXPECT_TRUE(bridge.waitForErr(": not an NTRIP caster (it answered 'HTTP/1.1 400 Bad Request')")) << bridge.err();
    bridge.stop();
}

}  // namespace
