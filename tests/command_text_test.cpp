#include <gtest/gtest.h>

#include "station/command_text.h"
#include "tests/fake_delay_timer.h"

namespace tessaly {
namespace {

using Bytes = CommandBytes;
using Kind = CommandStep::Kind;

std::vector<Bytes> framesOf(std::string_view text) {
    std::vector<Bytes> frames;
    for (const CommandStep& step : parseCommandText(text)) {
        if (step.kind == Kind::SendFrame) frames.push_back(step.frame);
    }
    return frames;
}

TEST(CommandText, EscapesBlanksTabsAndComments) {
    const struct {
        const char* text;
        std::vector<Bytes> frames;
    } cases[] = {
        {"ABC", {{0x41, 0x42, 0x43}}},
        {"\\5G", {{0x05, 0x47}}},
        {"\\123", {{0x12, 0x33}}},
        {"\\*", {{0xAA}}},
        {"\\b5\\62", {{0xB5, 0x62}}},
        {"\\;\\\\", {{';', '\\'}}},
        {"A\\", {{0x41, 0x00}}},
        {"  \t A\tB ; comment \\B5", {{0x41, 0x42}}},
        {"\\B5 \\62", {{0xB5, 0x20, 0x62}}},
        {"A  \\20  ;", {{0x41, 0x20, 0x20, 0x20}}},  // the escaped blank and those before it stay
        {"A   ", {{0x41, 0x20, 0x20, 0x20}}},      // not trimmed at the end of the text
        {"  ;x", {}},
        {"", {}},
        {"\xC3\xA9", {{0xE9}}},         // U+00E9
        {"\xE3\x81\x82", {{0x42}}},     // U+3042: the low 8 bits of its code unit
        {"\xF0\x9F\x98\x80", {{0x3D, 0x00}}},  // U+1F600: two code units D83D DE00
    };
    for (const auto& c : cases) EXPECT_EQ(framesOf(c.text), c.frames) << c.text;
}

TEST(CommandText, BarEndsAFrameAndWaitsEvenAfterAnEmptyOne) {
    const auto steps = parseCommandText("AB |  | C ");
    const std::vector<CommandStep> expected = {
        {Kind::SendFrame, {0x41, 0x42}},
        {Kind::WaitAfterFrame, {}},
        {Kind::WaitAfterFrame, {}},
        {Kind::SendFrame, {0x43, 0x20}},
    };
    EXPECT_EQ(steps, expected);
}

TEST(CommandText, ProtectedLengthCarriesAcrossFrames) {
    // After "\41\42" the protected length is 2; in the next frame it keeps "C " from trimming.
    EXPECT_EQ(framesOf("\\41\\42|C  ;"), (std::vector<Bytes>{{0x41, 0x42}, {0x43, 0x20}}));
}

TEST(CommandFrame, ChecksumIsAppendedOrCheckedOrNotApplied) {
    const Bytes header = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00};
    Bytes withChecksum = header;
    withChecksum.insert(withChecksum.end(), {0x10, 0x68});

    CheckedFrame completed = checkCommandFrame(header);
    ASSERT_TRUE(completed.bytes);
    Bytes expected = withChecksum;
    expected.insert(expected.end(), {0x0D, 0x0A});
    EXPECT_EQ(*completed.bytes, expected);

    EXPECT_EQ(*checkCommandFrame(withChecksum).bytes, expected);

    Bytes wrong = header;
    wrong.insert(wrong.end(), {0x10, 0x69});
    const CheckedFrame rejected = checkCommandFrame(wrong);
    EXPECT_FALSE(rejected.bytes);
    EXPECT_EQ(rejected.expectedChecksum, "1068");

    Bytes oneMore = withChecksum;
    oneMore.push_back(0x00);
    EXPECT_FALSE(checkCommandFrame(oneMore).bytes)
        << "a byte beyond a right checksum is refused";

    EXPECT_EQ(*checkCommandFrame({0x41, 0x42, 0x43}).bytes,
              (Bytes{0x41, 0x42, 0x43, 0x0D, 0x0A}));
    // Shorter than its declared payload: sent as it is.
    const Bytes truncated = {0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00};
    Bytes truncatedSent = truncated;
    truncatedSent.insert(truncatedSent.end(), {0x0D, 0x0A});
    EXPECT_EQ(*checkCommandFrame(truncated).bytes, truncatedSent);
}

TEST(CommandRun, FramesWaitsAndMessagesInOrder) {
    std::vector<std::string> events;
    test::FakeDelayTimer timer;
    CommandSequencer sequencer(timer);
    std::int64_t last = 0;
    // Each event, after the time that passed since the one before it.
    const auto note = [&](std::string what) {
        if (timer.now > last) events.push_back("wait " + std::to_string(timer.now - last));
        last = timer.now;
        events.push_back(std::move(what));
    };
    CommandTextOutputs outputs;
    outputs.writeToInput = [&](const Bytes& bytes) { note("write " + std::to_string(bytes.size())); };
    outputs.refused = [&](const std::string& expected) { note("refused " + expected); };
    sequencer.start(commandTextSteps("\\B5\\62\\06\\04\\04\\00\\00\\00\\02\\00\\10\\69|ABC;comment|DEF", outputs));
    timer.advance(10000);
    EXPECT_EQ(events, (std::vector<std::string>{"refused 1068", "wait 1000", "write 5"}));

    events.clear();
    last = timer.now;
    sequencer.start(commandTextSteps(kFirmwareVersionPoll, outputs));
    EXPECT_EQ(events, (std::vector<std::string>{"write 10"})) << "at once: the poll has no pause";
}

}  // namespace
}  // namespace tessaly
