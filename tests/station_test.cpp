// The station as both faces use it: what an input's open and a receiver command do to the monitors
// and which bytes reach the receiver when, with real TCP peers and the face's timer in the test's
// hand.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/monitor_view.h"
#include "station/station.h"
#include "testing/link_open.h"
#include "testing/serial_test_support.h"
#include "testing/test_owner_thread.h"
#include "tests/fake_delay_timer.h"
#include "tests/tcp_peer.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

// The firmware-version poll as it leaves: UBX-MON-VER with its checksum, then CR LF.
const Bytes kPoll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};

LinkAddress tcpAddress(int port) {
    LinkAddress address;
    address.kind = LinkAddress::Kind::Tcp;
    address.host = "127.0.0.1";
    address.tcpPort = port;
    return address;
}

test::L6Fields onChannel(std::uint8_t chn, std::uint8_t errStatus) {
    test::L6Fields fields;
    fields.chn = chn;
    fields.chName = chn;
    fields.errStatus = errStatus;
    return fields;
}

class StationTest : public ::testing::Test {
protected:
    void make(StationConfig config, const std::function<void(StationFace&)>& adjust = {}) {
        view.setNameLists(NameLists::fromSettings(kDefaultSvidPrn, kDefaultMfgId));
        view.setTitles();
        StationSeams seams;
        seams.loop = std::make_shared<IoLoop>();
        seams.owner = owner;
        seams.timer = &timer;
        StationFace face;
        face.reports = &view;
        face.statusLine = &view;
        face.monitorReset = [this] {
            view.reset();
            ++resets;
        };
        face.processEvents = [this] { owner->processEvents(); };
        if (adjust) adjust(face);
        station = owner->call([&] { return std::make_unique<Station>(config, std::move(seams), std::move(face)); });
    }
    void TearDown() override {
        owner->call([&] { station.reset(); });
    }
    std::string open(std::size_t side, const LinkAddress& address) {
        return testing::outcomeOf(*owner, [&](LinkEndpoint::Opened opened) {
            station->open(side, address, true, std::move(opened));
        });
    }
    void openInput() {
        ASSERT_EQ(open(0, tcpAddress(input.port())), "");
        input.accept();
    }
    // The input's receiver sends L6 reports in one go; waits until the monitor has decoded them.
    void receiverSends(const std::vector<test::L6Fields>& reports) {
        const auto seen = [&] {
            return owner->call([&] {
                const auto& counted = station->monitor().counters().l6Reports;
                return counted[0] + counted[1];
            });
        };
        const std::uint64_t before = seen();
        Bytes bytes;
        for (const test::L6Fields& report : reports) bytes = test::concat({bytes, test::l6Frame(report)});
        input.send(bytes);
        ASSERT_TRUE(testing::eventually([&] { return seen() == before + reports.size(); }));
    }
    std::uint64_t roverCountAfterReset(bool resetRover);
    void advance(std::int64_t ms) {
        owner->call([&] { timer.advance(ms); });
    }

    std::shared_ptr<testing::TestOwnerThread> owner = std::make_shared<testing::TestOwnerThread>();
    test::FakeDelayTimer timer;  // owner thread
    MonitorView view;            // owner thread
    int resets = 0;              // owner thread
    testing::TcpPeer input;
    std::unique_ptr<Station> station;
};

TEST_F(StationTest, AnOpenedInputStartsAfreshAndItsReceiverIsAskedForItsFirmware) {
    make({});
    owner->call([&] { station->monitor().scanBlock(ByteView(test::l6Frame(onChannel(0, 2))).first(40)); });
    openInput();
    EXPECT_EQ(input.receive(kPoll.size()), kPoll) << "the poll leaves with the open, nothing before it";
    owner->call([&] {
        EXPECT_TRUE(station->monitor().scanner().pending().empty()) << "a frame of the last connection is dropped";
        EXPECT_GE(resets, 1);
    });
}

TEST_F(StationTest, AReceiverCommandResetsEverythingItsFaceShowsASecondAfterItsTextThenPolls) {
    make({});
    openInput();
    ASSERT_EQ(input.receive(kPoll.size()), kPoll);
    receiverSends({onChannel(0, 2), onChannel(1, 2), onChannel(0, 1)});
    owner->call([&] {
        ASSERT_GT(station->monitor().decoder().bothFailedCount(), 0);
        ASSERT_GT(station->history().size(), 0u);
        ASSERT_NE(view.statusText(), "");
        station->monitor().scanBlock(ByteView(test::l6Frame(onChannel(1, 1))).first(30));
    });

    bool finished = false;
    const int resetsBefore = owner->call([&] { return resets; });
    owner->call([&] { station->runReceiverCommand("ABC", [&] { finished = true; }); });
    EXPECT_EQ(input.receive(5), test::bytesOf("ABC\r\n"));
    advance(999);
    owner->call([&] {
        EXPECT_EQ(resets, resetsBefore) << "the receiver has a second to restart";
        EXPECT_GT(station->monitor().decoder().bothFailedCount(), 0);
    });
    advance(1);
    EXPECT_EQ(input.receive(kPoll.size()), kPoll);
    owner->call([&] {
        EXPECT_TRUE(finished);
        EXPECT_EQ(resets, resetsBefore + 1);
        EXPECT_EQ(station->monitor().decoder().bothFailedCount(), 0);
        EXPECT_TRUE(station->monitor().scanner().pending().empty());
        EXPECT_EQ(station->history().size(), 0u) << "the chart starts again with the monitor";
        EXPECT_EQ(view.statusText(), "");
        EXPECT_EQ(view.grid(Channel::A).cell(kValueColumn, 0), "");
        EXPECT_EQ(view.iconState(), StatusIconKind::Good);
    });
}

// The rover's NAV-PVT count after a monitor reset, with the rover's counts reset with the monitor or not.
std::uint64_t StationTest::roverCountAfterReset(bool resetRover) {
    StationConfig config;
    config.resetRoverWithMonitor = resetRover;
    make(config);
    testing::TcpPeer rover;
    EXPECT_EQ(open(1, tcpAddress(rover.port())), "");
    rover.accept();
    rover.send(test::navPvtFrame({}));
    EXPECT_TRUE(testing::eventually([&] { return owner->call([&] { return station->rover().counters().navPvt == 1; }); }));
    return owner->call([&] {
        station->resetMonitor();
        return station->rover().counters().navPvt;
    });
}

TEST_F(StationTest, TheWindowsMonitorResetEmptiesTheRoversCounts) { EXPECT_EQ(roverCountAfterReset(true), 0u); }

TEST_F(StationTest, TheBridgeKeepsTheRoversCountsSinceItStarted) { EXPECT_EQ(roverCountAfterReset(false), 1u); }

TEST_F(StationTest, AWrongChecksumInACommandIsRefusedToTheFaceAndTheRestStillLeaves) {
    std::string refused;  // owner thread
    make({}, [&](StationFace& face) { face.commandRefused = [&](const std::string& expected) { refused = expected; }; });
    openInput();
    ASSERT_EQ(input.receive(kPoll.size()), kPoll);
    owner->call([&] { station->sendCommandText("\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\69"); });
    owner->call([&] { station->sendCommandText("OK"); });
    EXPECT_EQ(input.receive(4), test::bytesOf("OK\r\n")) << "nothing of the refused frame went out";
    EXPECT_EQ(owner->call([&] { return refused; }), "1068");
}

// The receiver at the far end of the input answers a command's CFG message, or says nothing.
class StationAnswerTest : public StationTest {
protected:
    void SetUp() override {
        make({}, [this](StationFace& face) {
            face.commandAnswered = [this](const CommandAnswer& answer) { answers.push_back(answer); };
        });
    }
    // Runs the command on an open input and waits until the receiver has its frame.
    void run(const char* text, const Bytes& frame) {
        openInput();
        ASSERT_EQ(input.receive(kPoll.size()), kPoll);
        owner->call([&] { station->runReceiverCommand(text, [] {}); });
        ASSERT_EQ(input.receive(frame.size() + 2), test::concat({frame, {0x0D, 0x0A}}));
    }
    std::vector<CommandAnswer> answersSoFar() {
        return owner->call([&] { return answers; });
    }
    void untilAnswered() {
        ASSERT_TRUE(testing::eventually([&] { return !answersSoFar().empty(); }));
    }
    static Bytes answer(std::uint8_t ackOrNak, std::uint8_t messageId) {
        return test::ubxFrame(kUbxClassAck, ackOrNak, {kUbxClassCfg, messageId});
    }

    const char* coldStartText = "\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00 ;C:Cold start";  // checksum completed
    const Bytes coldStart = test::ubxFrame(kUbxClassCfg, kUbxIdCfgRst, {0xFF, 0xB9, 0x02, 0x00});
    std::vector<CommandAnswer> answers;  // owner thread
};

TEST_F(StationAnswerTest, AnAcknowledgementInPiecesIsToldOnce) {
    run(coldStartText, coldStart);
    const Bytes stream = test::concat({test::l6Frame(onChannel(0, 0)), answer(kUbxIdAckAck, kUbxIdCfgRst)});
    input.send(test::slice(stream, 0, stream.size() - 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    input.send(test::slice(stream, stream.size() - 3));
    untilAnswered();
    advance(5000);
    EXPECT_EQ(input.receive(kPoll.size()), kPoll);
    EXPECT_EQ(answersSoFar(), (std::vector<CommandAnswer>{{kUbxClassCfg, kUbxIdCfgRst, CommandAnswer::Kind::Ack}}))
        << "no second word when the wait runs out, and none for the poll";
}

TEST_F(StationAnswerTest, ARefusalNamesItsMessageAndAnswersToMessagesNotSentAreIgnored) {
    run("\\B5\\62\\06\\09\\0D\\00\\FF\\FF\\00\\00\\00\\00\\00\\00\\FF\\FF\\00\\00\\03\\1B\\9A",
        test::ubxFrame(kUbxClassCfg, kUbxIdCfgCfg, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0x03}));
    input.send(test::concat({answer(kUbxIdAckAck, kUbxIdCfgRst), answer(kUbxIdAckNak, kUbxIdCfgCfg)}));
    untilAnswered();
    EXPECT_EQ(answersSoFar(), (std::vector<CommandAnswer>{{kUbxClassCfg, kUbxIdCfgCfg, CommandAnswer::Kind::Nak}}));
}

TEST_F(StationAnswerTest, SilenceIsToldASecondLaterAndALateAnswerChangesNothing) {
    run(coldStartText, coldStart);
    advance(999);
    EXPECT_TRUE(answersSoFar().empty());
    advance(1);
    EXPECT_EQ(answersSoFar(), (std::vector<CommandAnswer>{{kUbxClassCfg, kUbxIdCfgRst, CommandAnswer::Kind::None}}));
    input.send(answer(kUbxIdAckAck, kUbxIdCfgRst));
    receiverSends({onChannel(0, 0)});  // the late answer has been scanned by now
    EXPECT_EQ(answersSoFar().size(), 1u);
}

TEST_F(StationAnswerTest, WithoutAnOpenInputNothingIsAwaited) {
    owner->call([&] { station->runReceiverCommand(coldStartText, [] {}); });
    advance(5000);
    EXPECT_TRUE(answersSoFar().empty());
}

// The output is a caster that took the connection and has not answered yet: the input is not read
// before the output has had its try, here given up by the user.
TEST_F(StationTest, TheInputWaitsForTheOutputsBeingOpened) {
    make({});
    testing::TcpPeer caster;
    LinkAddress output = tcpAddress(caster.port());
    output.kind = LinkAddress::Kind::NtripServer;
    output.mount = "L6";
    owner->call([&] {
        station->open(1, output, true);
        station->open(0, tcpAddress(input.port()), true);
    });
    caster.accept();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(owner->call([&] { return station->side(0).state(); }), LinkState::Closed)
        << "the input's attempt waits for the output's";
    owner->call([&] { station->close(1); });
    input.accept();
    EXPECT_EQ(input.receive(kPoll.size()), kPoll);
    EXPECT_EQ(owner->call([&] { return station->side(0).state(); }), LinkState::Open);
}

}  // namespace
}  // namespace tessaly
