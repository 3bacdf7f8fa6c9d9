// The monitor's feed beside the relay: the owner sees every byte in order in blocks of at most
// 4096, also across the ring's wrap; past the bound it skips whole blocks, counts them and says so
// before the next block, so no frame is stitched across a gap; a feed gone leaves no take behind.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "links/monitor_feed.h"
#include "testing/serial_test_support.h"
#include "testing/test_owner_thread.h"

namespace tessaly {
namespace {

using testing::Bytes;

Bytes pattern(std::size_t size, std::size_t from = 0) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((from + i) * 131 + (from + i) / 251);
    return bytes;
}

class MonitorFeedTest : public ::testing::Test {
protected:
    void makeFeed(std::size_t cap) {
        MonitorFeedHooks hooks;
        hooks.watch = [this](LinkBytes block) {
            EXPECT_TRUE(owner->onOwnerThread());
            EXPECT_LE(block.size(), MonitorFeed::kBlockCap);
            events.push_back("watch " + std::to_string(block.size()));
            watched.insert(watched.end(), block.begin(), block.end());
            watchedCount += block.size();
        };
        hooks.skipped = [this](std::uint64_t bytes) { events.push_back("skip " + std::to_string(bytes)); };
        if (sayBatches) hooks.batchDone = [this] { events.push_back("batch"); };
        // A watch that lets the owner's events run (a message box) may meet a close, which drains.
        hooks.watch = [this, watch = hooks.watch](LinkBytes block) {
            watch(block);
            if (drainWhileWatching) feed->drain();
        };
        feed = owner->call([&] { return std::make_unique<MonitorFeed>(owner, hooks, cap); });
    }
    // Holds the owner thread until the returned promise is set, as a window busy with a dialog.
    std::promise<void> holdOwner() {
        std::promise<void> release;
        owner->post([done = release.get_future().share()] { done.wait(); });
        return release;
    }
    Bytes watchedBytes() { return owner->call([&] { return watched; }); }
    void TearDown() override { owner->call([&] { feed.reset(); }); }

    std::shared_ptr<testing::TestOwnerThread> owner = std::make_shared<testing::TestOwnerThread>();
    std::unique_ptr<MonitorFeed> feed;
    std::vector<std::string> events;  // owner thread
    Bytes watched;                    // owner thread
    std::atomic<std::size_t> watchedCount{0};
    bool drainWhileWatching = false;  // owner thread
    bool sayBatches = false;          // before makeFeed
};

TEST_F(MonitorFeedTest, EveryByteInOrderInBlocksOfAtMost4096AcrossTheWrap) {
    makeFeed(10000);  // not a multiple of the block sizes: the ring wraps mid-block
    const Bytes stream = pattern(1 << 20);
    std::thread reader([&] {
        for (std::size_t at = 0; at < stream.size(); at += 3001) {
            const std::size_t n = std::min<std::size_t>(3001, stream.size() - at);
            // Pushed only when it fits, so that this run skips nothing. The block being watched is
            // counted before the feed frees its room, so it is counted as still in the ring.
            ASSERT_TRUE(testing::eventually(
                [&] { return at - watchedCount + MonitorFeed::kBlockCap <= 10000 - n; }));
            feed->push(LinkBytes(stream.data() + at, n));
        }
    });
    reader.join();
    EXPECT_TRUE(testing::eventually([&] { return watchedCount == stream.size(); }));
    EXPECT_EQ(feed->skippedBytes(), 0u);
    EXPECT_EQ(watchedBytes(), stream);
}

TEST_F(MonitorFeedTest, PastTheBoundWholeBlocksAreSkippedCountedAndSaidBeforeTheNextBlock) {
    makeFeed(10000);
    auto release = holdOwner();
    const Bytes a = pattern(4000), b = pattern(4000, 4000), c = pattern(4000, 8000), d = pattern(1000, 12000),
                e = pattern(4000, 13000);
    for (const Bytes* block : {&a, &b, &c, &d, &e}) feed->push(*block);
    EXPECT_EQ(feed->skippedBytes(), 8000u) << "c did not fit behind a and b, nor e behind d";
    release.set_value();
    EXPECT_TRUE(testing::eventually([&] { return watchedBytes().size() == 9000; }));
    owner->call([&] {
        EXPECT_EQ(events, (std::vector<std::string>{"watch 4096", "watch 3904", "skip 4000", "watch 1000", "skip 4000"}));
    });
    Bytes expected = a;
    for (const Bytes* block : {&b, &d}) expected.insert(expected.end(), block->begin(), block->end());
    EXPECT_EQ(watchedBytes(), expected);
}

TEST_F(MonitorFeedTest, DrainWatchesWhatIsQueuedBeforeItReturns) {
    makeFeed(1 << 16);
    auto release = holdOwner();
    feed->push(pattern(9000));
    release.set_value();
    owner->call([&] {
        feed->drain();
        EXPECT_EQ(watched, pattern(9000)) << "all of it, before the call returns";
        EXPECT_EQ(events, (std::vector<std::string>{"watch 4096", "watch 4096", "watch 808"}));
    });
    owner->call([] {});  // the take posted with the push finds nothing left
    EXPECT_EQ(watchedBytes().size(), 9000u);
}

TEST_F(MonitorFeedTest, ADrainAmongTheEventsOfAWatchLeavesTheTakeUnderWayToGoOn) {
    makeFeed(1 << 16);
    owner->call([&] { drainWhileWatching = true; });
    feed->push(pattern(20000));
    EXPECT_TRUE(testing::eventually([&] { return watchedCount == 20000; }));
    EXPECT_EQ(watchedBytes(), pattern(20000)) << "each byte once, in order";
}

TEST_F(MonitorFeedTest, EveryTakeEndsWithItsBatchSoTheGridsShowAFloodAsItGoes) {
    sayBatches = true;
    makeFeed(1 << 20);
    auto release = holdOwner();
    feed->push(pattern(300 * 1024));  // more than one take's budget of 256 KiB
    release.set_value();
    EXPECT_TRUE(testing::eventually([&] { return watchedCount == 300 * 1024; }));
    owner->call([&] {
        std::vector<std::string> expected(64, "watch 4096");
        expected.push_back("batch");
        expected.insert(expected.end(), 11, "watch 4096");
        expected.push_back("batch");
        EXPECT_EQ(events, expected);
        events.clear();
    });
    feed->push(pattern(10));
    EXPECT_TRUE(testing::eventually([&] { return owner->call([&] { return events.size() == 2; }); }));
    owner->call([&] { EXPECT_EQ(events, (std::vector<std::string>{"watch 10", "batch"})); });
}

TEST_F(MonitorFeedTest, AFeedGoneBeforeItsTakeRanLeavesNothingBehind) {
    makeFeed(1 << 16);
    auto release = holdOwner();
    owner->post([&] { feed.reset(); });
    feed->push(pattern(100));  // its take is queued behind the feed's end
    release.set_value();
    owner->call([] {});
    EXPECT_TRUE(owner->call([&] { return watched.empty() && !feed; }));
}

}  // namespace
}  // namespace tessaly
