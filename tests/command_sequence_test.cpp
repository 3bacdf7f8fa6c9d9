// The receiver commands as timed runs, on a timer the test advances by hand.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "station/command_sequence.h"
#include "station/receiver_command.h"
#include "tests/fake_delay_timer.h"

namespace tessaly {
namespace {

using Bytes = CommandBytes;

// What reached the receiver and the window, each with the time it happened.
struct Happened {
    std::int64_t at;
    std::string what;
    Bytes bytes;
    bool operator==(const Happened&) const = default;
};

void PrintTo(const Happened& h, std::ostream* os) {
    *os << h.at << " " << h.what;
    for (std::uint8_t b : h.bytes) *os << " " << std::hex << int(b) << std::dec;
}

class CommandSequenceTest : public ::testing::Test {
protected:
    CommandTextOutputs outputs() {
        CommandTextOutputs o;
        o.writeToInput = [this](const Bytes& bytes) { log.push_back({timer.now, "write", bytes}); };
        o.refused = [this](const std::string& expected) { log.push_back({timer.now, "refused " + expected, {}}); };
        return o;
    }
    std::vector<TimedStep> command(std::string_view text, const std::string& name) {
        return receiverCommandSteps(text, outputs(), [this, name] { log.push_back({timer.now, "reset " + name, {}}); },
                                    [this, name] { log.push_back({timer.now, "done " + name, {}}); });
    }

    test::FakeDelayTimer timer;
    CommandSequencer sequencer{timer};
    std::vector<Happened> log;
};

const Bytes kHotStart = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68, 0x0D, 0x0A};
const Bytes kColdStart = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xB9, 0x02, 0x00, 0xC8, 0x8F, 0x0D, 0x0A};
const Bytes kPoll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34, 0x0D, 0x0A};
constexpr const char* kHotStartText = "\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\68";
constexpr const char* kColdStartText = "\\B5\\62\\06\\04\\04\\00\\FF\\B9\\02\\00\\C8\\8F";

TEST_F(CommandSequenceTest, FramesLeaveASecondApartThenTheResetAndThePollASecondLater) {
    sequencer.start(command(std::string(kHotStartText) + "|AB|\\B5\\62\\0A\\04\\00\\00 ;Three", "hot"));
    EXPECT_EQ(log, (std::vector<Happened>{{0, "write", kHotStart}})) << "the first frame leaves with the click";
    timer.advance(999);
    EXPECT_EQ(log.size(), 1u) << "nothing before the pause is over";
    timer.advance(5000);
    EXPECT_EQ(log, (std::vector<Happened>{{0, "write", kHotStart},
                                          {1000, "write", {'A', 'B', 0x0D, 0x0A}},
                                          {2000, "write", kPoll},
                                          {3000, "reset hot", {}},
                                          {3000, "write", kPoll},
                                          {3000, "done hot", {}}}));
}

TEST_F(CommandSequenceTest, APauseAtTheEndComesBeforeTheRestartWait) {
    sequencer.start(command("AB|", "x"));
    timer.advance(1999);
    EXPECT_EQ(log.size(), 1u) << "the pause of the last \"|\", then the second of the restart";
    timer.advance(1);
    EXPECT_EQ(log.back(), (Happened{2000, "done x", {}}));
}

TEST_F(CommandSequenceTest, ASecondCommandWhileOneRunsGoesOnBesideIt) {
    sequencer.start(command(kColdStartText, "cold"));
    timer.advance(300);
    sequencer.start(command(kHotStartText, "hot"));
    timer.advance(5000);
    EXPECT_EQ(log, (std::vector<Happened>{{0, "write", kColdStart},
                                          {300, "write", kHotStart},
                                          {1000, "reset cold", {}},
                                          {1000, "write", kPoll},
                                          {1000, "done cold", {}},
                                          {1300, "reset hot", {}},
                                          {1300, "write", kPoll},
                                          {1300, "done hot", {}}}));
}

TEST_F(CommandSequenceTest, ACancelMidRunLeavesNothingToCome) {
    sequencer.start(command("AB|CD", "x"));
    timer.advance(500);
    sequencer.cancelAll();
    timer.advance(10000);
    EXPECT_EQ(log, (std::vector<Happened>{{0, "write", {'A', 'B', 0x0D, 0x0A}}}));
}

TEST_F(CommandSequenceTest, NothingRunsOnceTheSequencerIsGone) {
    auto owned = std::make_unique<CommandSequencer>(timer);
    owned->start(command("AB|CD", "x"));
    owned.reset();
    timer.advance(10000);
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(CommandSequenceTest, AStepThatCancelsEndsItsRunThere) {
    // The window closed while a step's message box was up: the frames after it stay unsent.
    sequencer.start({{0, [this] { sequencer.cancelAll(); }}, {0, [this] { log.push_back({timer.now, "after", {}}); }}});
    timer.advance(1000);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace tessaly
