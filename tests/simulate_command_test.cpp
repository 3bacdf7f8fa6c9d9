// tessaly-cli simulate and sink, run as a user runs them, over real sockets on 127.0.0.1.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "cli/receiver_messages.h"
#include "monitor/receiver_monitor.h"
#include "tests/cli_process.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::CliProcess;
using test::TcpClient;

// A fast simulator, so that seconds of messages come in milliseconds.
std::vector<std::string> fastSimulator(const std::string& seed = "5") {
    return {"simulate", "--port", "0", "--rate", "1000", "--seed", seed};
}

// Reads and decodes what the server sends until `enough` holds; false when the stream ended.
template <typename Enough>
bool receiveUntil(TcpClient& client, ReceiverMonitor& monitor, Enough enough) {
    while (!enough()) {
        const auto block = client.receive();
        if (block.empty()) return false;
        monitor.scanBlock(block);
    }
    return true;
}

int exitStatusOf(const std::string& args) {
    const std::string command = std::string(TESSALY_CLI_PATH) + " " + args + " 2>/dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(SimulateCommand, BadOptionsGiveStatus2) {
    for (const char* args : {"simulate --port", "simulate --port 70000", "simulate --port x",
                             "simulate --rate 0", "simulate --rate -1", "simulate --seed 1x",
                             "simulate --frobnicate", "simulate --data /nonexistent",
                             "simulate --rate nan", "simulate --rate 100001", "sink --echo-rate 10000001",
                             "sink --echo-rate -5", "sink --port", "sink --frobnicate 1"}) {
        EXPECT_EQ(exitStatusOf(args), 2) << args;
    }
}

TEST(SimulateCommand, PortInUseGivesStatus2) {
    CliProcess first({"sink", "--port", "0"});
    const std::uint16_t port = first.listeningPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(exitStatusOf("simulate --port " + std::to_string(port)), 2);
}

TEST(SimulateCommand, TwoClientsEachGetTheWholeStream) {
    CliProcess simulator(fastSimulator());
    const std::uint16_t port = simulator.listeningPort();
    ASSERT_NE(port, 0);
    TcpClient first(port), second(port);
    ASSERT_TRUE(first.connected() && second.connected());
    for (TcpClient* client : {&first, &second}) {
        test::RecordingOutputs outputs;
        ReceiverMonitor monitor(outputs.outputs());
        ASSERT_TRUE(receiveUntil(*client, monitor, [&] { return outputs.shown.size() >= 100; }));
        EXPECT_EQ(monitor.counters().framesDropped, 0u);
        // A client starts at a whole second: channel A first, and B after A in the same second.
        EXPECT_EQ(outputs.shown.front().first.chn, 0);
        for (std::size_t i = 1; i < outputs.shown.size(); ++i) {
            const L6ChannelReport& before = outputs.shown[i - 1].first;
            const L6ChannelReport& now = outputs.shown[i].first;
            if (now.chn == 1 && before.chn == 0) {
                EXPECT_EQ(now.timeTag, before.timeTag);
            }
            EXPECT_EQ((now.timeTag - before.timeTag) % 1000, 0u);
        }
    }
    EXPECT_NE(simulator.waitForErrLine("connected"), std::nullopt);
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

TEST(SimulateCommand, VersionPollIsAnsweredToTheAskerOnly) {
    CliProcess simulator(fastSimulator());
    const std::uint16_t port = simulator.listeningPort();
    ASSERT_NE(port, 0);
    TcpClient asker(port), other(port);
    ASSERT_TRUE(asker.connected() && other.connected());
    // Sent in two pieces, with the CR LF some senders add.
    asker.send(test::bytesOf("\xB5\x62\x0A\x04"));
    asker.send(test::bytesOf(std::string("\x00\x00\x0E\x34\r\n", 6)));

    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    ASSERT_TRUE(receiveUntil(asker, monitor, [&] { return monitor.firmwareText().has_value(); }));
    EXPECT_EQ(*monitor.firmwareText(), "FWVER=QZS 1.01");

    test::RecordingOutputs otherOutputs;
    ReceiverMonitor otherMonitor(otherOutputs.outputs());
    ASSERT_TRUE(receiveUntil(other, otherMonitor, [&] { return otherOutputs.shown.size() >= 400; }));
    EXPECT_FALSE(otherMonitor.firmwareText().has_value());
    EXPECT_EQ(simulator.stop(SIGINT), 0);
}

TEST(SimulateCommand, ResetMakesASilence) {
    CliProcess simulator(fastSimulator());
    const std::uint16_t port = simulator.listeningPort();
    ASSERT_NE(port, 0);
    TcpClient client(port);
    ASSERT_TRUE(client.connected());
    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    ASSERT_TRUE(receiveUntil(client, monitor, [&] { return outputs.shown.size() >= 10; }));
    client.send(makeUbxFrame(kUbxClassCfg, kUbxIdCfgRst, {0xFF, 0xFF, 0x01, 0x00}));
    ASSERT_TRUE(receiveUntil(client, monitor, [&] { return outputs.shown.size() >= 200; }));

    // The gap shows in the time tags: somewhere channel A follows channel A of 3 s before.
    int silences = 0;
    for (std::size_t i = 1; i < outputs.shown.size(); ++i) {
        const std::uint32_t step = outputs.shown[i].first.timeTag - outputs.shown[i - 1].first.timeTag;
        if (step > 1000) {
            ++silences;
            EXPECT_EQ(step, 3000u);
        }
    }
    EXPECT_EQ(silences, 1);
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

TEST(SinkCommand, CountsTheValidFramesItReceived) {
    CliProcess sink({"sink", "--port", "0"});
    const std::uint16_t port = sink.listeningPort();
    ASSERT_NE(port, 0);
    Bytes stream;
    {
        TcpClient client(port);
        ASSERT_TRUE(client.connected());
        Bytes frame = makeUbxFrame(kUbxClassRxm, kUbxIdRxmL6, Bytes(264, 0x24));
        Bytes broken = frame;
        broken[100] ^= 0x01;
        for (int i = 0; i < 50; ++i) stream.insert(stream.end(), frame.begin(), frame.end());
        stream.insert(stream.end(), broken.begin(), broken.end());
        const std::string text = makeNmeaLine("GNTXT,01,01,02,HELLO");
        stream.insert(stream.end(), text.begin(), text.end());
        stream.insert(stream.end(), frame.begin(), frame.end());
        client.send(stream);
    }
    // What the sink counts once the client is gone covers all of it.
    ASSERT_NE(sink.waitForErrLine("disconnected"), std::nullopt);
    EXPECT_EQ(sink.stop(SIGTERM), 0);
    const std::string expected = "sink: total " + std::to_string(stream.size()) +
                                 " bytes, 51 UBX frames, 1 dropped, 0 bytes echoed";
    EXPECT_NE(sink.out().find(expected), std::string::npos) << sink.out();
}

TEST(SinkCommand, EchoesValidFramesToTheClient) {
    CliProcess sink({"sink", "--port", "0", "--echo-rate", "20000"});
    const std::uint16_t port = sink.listeningPort();
    ASSERT_NE(port, 0);
    TcpClient client(port);
    ASSERT_TRUE(client.connected());
    test::RecordingOutputs outputs;
    ReceiverMonitor monitor(outputs.outputs());
    ASSERT_TRUE(receiveUntil(client, monitor, [&] {
        const auto& frames = monitor.counters().validFrames;
        const auto found = frames.find((kUbxClassNav << 8) | kUbxIdNavPvt);
        return found != frames.end() && found->second >= 10;
    }));
    EXPECT_EQ(monitor.counters().framesDropped, 0u);
    EXPECT_EQ(sink.stop(SIGTERM), 0);
}

// Each client's stream is cut apart: frames of two clients whose bytes interleave, each frame
// split across blocks, all count, and a broken one counts once.
TEST(SinkCommand, CountsTheFramesOfTwoInterleavedClientsApart) {
    CliProcess sink({"sink", "--port", "0"});
    const std::uint16_t port = sink.listeningPort();
    ASSERT_NE(port, 0);
    const Bytes frame = makeUbxFrame(kUbxClassRxm, kUbxIdRxmL6, Bytes(250, 0x5A));
    Bytes broken = frame;
    broken[40] ^= 0x10;
    Bytes streamA, streamB;
    for (int i = 0; i < 20; ++i) streamA.insert(streamA.end(), frame.begin(), frame.end());
    streamA.insert(streamA.end(), broken.begin(), broken.end());
    for (int i = 0; i < 30; ++i) streamB.insert(streamB.end(), frame.begin(), frame.end());
    {
        TcpClient a(port), b(port);
        ASSERT_TRUE(a.connected() && b.connected());
        // Pieces that cut every frame, one client's after the other's.
        std::size_t at = 0;
        for (const std::size_t piece : {7u, 100u, 1u, 300u, 33u}) {
            for (int round = 0; round < 20; ++round, at += piece) {
                for (auto [client, stream] : {std::pair{&a, &streamA}, std::pair{&b, &streamB}}) {
                    if (at >= stream->size()) continue;
                    const auto end = stream->begin() + static_cast<std::ptrdiff_t>(std::min(at + piece, stream->size()));
                    client->send(Bytes(stream->begin() + static_cast<std::ptrdiff_t>(at), end));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        for (auto [client, stream] : {std::pair{&a, &streamA}, std::pair{&b, &streamB}}) {
            if (at < stream->size()) client->send(Bytes(stream->begin() + static_cast<std::ptrdiff_t>(at), stream->end()));
        }
    }
    ASSERT_NE(sink.waitForErrLine("disconnected"), std::nullopt);
    ASSERT_NE(sink.waitForErrLine("disconnected"), std::nullopt);
    EXPECT_EQ(sink.stop(SIGTERM), 0);
    const std::string expected = "sink: total " + std::to_string(streamA.size() + streamB.size()) +
                                 " bytes, 50 UBX frames, 1 dropped, 0 bytes echoed";
    EXPECT_NE(sink.out().find(expected), std::string::npos) << sink.out();
}

// A client that reads nothing is dropped and said, and the simulator goes on for the others.
TEST(SimulateCommand, AClientThatDoesNotReadIsDroppedAndSaid) {
    CliProcess simulator({"simulate", "--port", "0", "--rate", "100000"});
    const std::uint16_t port = simulator.listeningPort();
    ASSERT_NE(port, 0);
    TcpClient sleeping(port);
    ASSERT_TRUE(sleeping.connected());
    const auto dropped = simulator.waitForErrLine("dropped");
    ASSERT_NE(dropped, std::nullopt);
    EXPECT_NE(dropped->find("simulate: client 127.0.0.1:"), std::string::npos) << *dropped;
    EXPECT_NE(dropped->find(" dropped (not reading)"), std::string::npos) << *dropped;
    TcpClient later(port);
    ASSERT_TRUE(later.connected());
    EXPECT_FALSE(later.receive().empty());
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

// A stop comes while clients are connected and bytes wait for them; the servers end at once.
TEST(SimulateCommand, SigtermEndsBothServersSoonWithClientsConnected) {
    for (const auto& args : {fastSimulator(), std::vector<std::string>{"sink", "--port", "0", "--echo-rate", "100000"}}) {
        CliProcess server(args);
        const std::uint16_t port = server.listeningPort();
        ASSERT_NE(port, 0);
        TcpClient reading(port), sleeping(port);
        ASSERT_TRUE(reading.connected() && sleeping.connected());
        EXPECT_FALSE(reading.receive().empty());
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(server.stop(SIGTERM), 0) << args[0];
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2)) << args[0];
    }
}

}  // namespace
}  // namespace tessaly
