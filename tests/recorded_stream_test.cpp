// The recorded receiver streams, cut into blocks of many sizes: what the monitor finds in them
// must not depend on how the link happened to deliver the bytes.
#include <gtest/gtest.h>

#include "monitor/csv_row.h"
#include "monitor/receiver_monitor.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

struct StreamResult {
    ScanCounters counts;
    std::vector<std::string> statusTexts;
    std::vector<std::string> rows;  // without time stamps
    std::int64_t bothFailed = 0;
    float cnoA = 0, cnoB = 0;
};

StreamResult replay(const Bytes& stream, std::size_t block) {
    test::RecordingOutputs out;
    ReceiverMonitor monitor(out.outputs());
    for (std::size_t at = 0; at < stream.size(); at += block) {
        monitor.scanBlock(ByteView(stream).subspan(at, std::min(block, stream.size() - at)));
    }
    StreamResult result;
    result.counts = monitor.counters();
    result.statusTexts = out.statusTexts;
    for (const auto& [previous, current] : out.pairs) {
        if (auto row = csvRow(previous, current, "")) result.rows.push_back(*row);
    }
    result.bothFailed = monitor.decoder().bothFailedCount();
    result.cnoA = monitor.decoder().cnoAverage(Channel::A);
    result.cnoB = monitor.decoder().cnoAverage(Channel::B);
    return result;
}

std::uint64_t validCount(const ScanCounters& c, std::uint8_t cls, std::uint8_t id) {
    const auto it = c.validFrames.find(static_cast<std::uint16_t>(cls << 8 | id));
    return it == c.validFrames.end() ? 0 : it->second;
}

std::uint64_t validTotal(const ScanCounters& c) {
    std::uint64_t total = 0;
    for (const auto& [key, count] : c.validFrames) total += count;
    return total;
}

const std::size_t kBlockSizes[] = {1, 2, 7, 100, 263, 1024, 2048, 4096, 1 << 20};

TEST(RecordedStream, TwoChannelL6HourDecodesTheSameForEveryBlockSize) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("l6_two_channel_1h.ubx");
    const StreamResult whole = replay(stream, 1024);
    EXPECT_EQ(validCount(whole.counts, 0x02, 0x73), 7133u);
    EXPECT_EQ(validCount(whole.counts, 0x0A, 0x04), 1u);
    EXPECT_EQ(validTotal(whole.counts), 7134u);
    EXPECT_EQ(whole.counts.textLinesRemoved, 179u);
    EXPECT_EQ(whole.counts.framesDropped, 0u);
    EXPECT_EQ(whole.bothFailed, 117);
    EXPECT_EQ(whole.counts.l6Reports[0] + whole.counts.l6Reports[1], 7133u);
    ASSERT_FALSE(whole.statusTexts.empty());
    EXPECT_EQ(whole.statusTexts.front(), "FWVER=QZS 1.01");
    EXPECT_GT(whole.cnoA, 30.0f);
    EXPECT_LT(whole.cnoA, 50.0f);

    for (std::size_t block : kBlockSizes) {
        const StreamResult cut = replay(stream, block);
        EXPECT_EQ(cut.counts.validFrames, whole.counts.validFrames) << block;
        EXPECT_EQ(cut.counts.textLinesRemoved, whole.counts.textLinesRemoved) << block;
        EXPECT_EQ(cut.rows, whole.rows) << block;
        EXPECT_EQ(cut.bothFailed, whole.bothFailed) << block;
        EXPECT_EQ(cut.cnoB, whole.cnoB) << block;
    }
}

TEST(RecordedStream, ReceiverStreamWithNmeaBetweenFrames) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("qzsl6tool_20230919-114418_zedf9p.ubx");
    for (std::size_t block : kBlockSizes) {
        const StreamResult r = replay(stream, block);
        EXPECT_EQ(validCount(r.counts, 0x02, 0x13), 954u) << block;
        EXPECT_EQ(validCount(r.counts, 0x02, 0x15), 36u) << block;
        EXPECT_EQ(validTotal(r.counts), 990u) << block;
        EXPECT_EQ(r.counts.textLinesRemoved, 1296u) << block;
        EXPECT_EQ(r.counts.framesDropped, 0u) << block;
    }
}

TEST(RecordedStream, BadChecksumFrameIsDroppedAndTheRestFound) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("pyubx2_pygpsdata-BADCK2.log");
    for (std::size_t block : kBlockSizes) {
        const StreamResult r = replay(stream, block);
        EXPECT_EQ(validTotal(r.counts), 25u) << block;
        EXPECT_EQ(r.counts.framesDropped, 1u) << block;
    }
}

TEST(RecordedStream, VersionPollsAndRepliesOfAReceiverSession) {
    const tessaly::test::Bytes stream = tessaly::test::recordedStream("pyubx2_ucenter-ZEDF9P-configdebug.log");
    for (std::size_t block : kBlockSizes) {
        const StreamResult r = replay(stream, block);
        EXPECT_EQ(validTotal(r.counts), 188u) << block;
        EXPECT_EQ(validCount(r.counts, 0x0A, 0x04), 8u) << block;
        // Only the four replies carry a firmware text; the polls change nothing.
        EXPECT_EQ(r.statusTexts, std::vector<std::string>(4, "FWVER=HPG 1.32")) << block;
    }
}

}  // namespace
}  // namespace tessaly
