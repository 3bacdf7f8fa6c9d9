#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdexcept>

#include "monitor/frame_scanner.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;
using test::bytesOf;
using test::concat;
using test::ubxFrame;

// Records what the scanner reports, in order.
class RecordingObserver : public ScanObserver {
public:
    void frameFound(ByteView frame) override {
        found.emplace_back(frame.begin(), frame.end());
        if (onFrame) onFrame(found.back());
    }
    void frameDropped(ByteView cut, DropReason reason) override {
        dropped.emplace_back(cut.begin(), cut.end());
        dropReasons.push_back(reason);
    }
    void textLineRemoved(ByteView) override { ++textLines; }
    void scanAbandoned() override { ++abandoned; }

    std::vector<Bytes> found;
    std::vector<Bytes> dropped;
    std::vector<DropReason> dropReasons;
    int textLines = 0;
    int abandoned = 0;
    std::function<void(const Bytes&)> onFrame;
};

class FrameScannerTest : public ::testing::Test {
protected:
    void feed(ByteView block) { scanner.scanBlock(block); }
    void feedInPieces(const Bytes& stream, std::size_t piece) {
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            scanner.scanBlock(ByteView(stream).subspan(at, std::min(piece, stream.size() - at)));
        }
    }

    RecordingObserver seen;
    UbxFrameScanner scanner{seen};
};

const Bytes kNav = ubxFrame(0x01, 0x07, Bytes(92, 0x11));
const Bytes kAck = ubxFrame(0x05, 0x01, Bytes{0x06, 0x8A});
const Bytes kPoll = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34};

TEST_F(FrameScannerTest, SeveralFramesInOneBlockAreFoundInOrder) {
    feed(concat({kNav, kAck, kPoll}));
    EXPECT_EQ(seen.found, (std::vector<Bytes>{kNav, kAck, kPoll}));
    EXPECT_TRUE(scanner.pending().empty());
}

TEST_F(FrameScannerTest, FrameSplitOverBlocksIsFoundWithItsLastByte) {
    for (std::size_t i = 0; i + 1 < kNav.size(); ++i) {
        feed(Bytes{kNav[i]});
        ASSERT_TRUE(seen.found.empty()) << "found after byte " << i;
    }
    feed(Bytes{kNav.back()});
    EXPECT_EQ(seen.found, std::vector<Bytes>{kNav});
}

TEST_F(FrameScannerTest, StrayBytesGoWithTheFrameBehindThem) {
    feed(concat({Bytes{0x00, 0xB5, 0x13, 0x62}, kAck}));
    EXPECT_EQ(seen.found, std::vector<Bytes>{kAck});
    EXPECT_TRUE(scanner.pending().empty());
}

TEST_F(FrameScannerTest, TextLineBetweenFramesIsRemoved) {
    feed(concat({kNav, bytesOf("$GNGGA,123519,4807.038,N*47\r\n"), kAck}));
    EXPECT_EQ(seen.found, (std::vector<Bytes>{kNav, kAck}));
    EXPECT_EQ(seen.textLines, 1);
}

TEST_F(FrameScannerTest, DollarInStrayBytesEatsThroughTheFirstCrLfEvenInsideAFrame) {
    const Bytes withCrLf = ubxFrame(0x01, 0x07, Bytes{1, 2, 0x0D, 0x0A, 3});
    feed(concat({bytesOf("x$y"), withCrLf, kAck}));
    // The line runs into the frame, whose rest is then stray bytes in front of the next frame.
    EXPECT_EQ(seen.found, std::vector<Bytes>{kAck});
    EXPECT_EQ(seen.textLines, 1);
}

TEST_F(FrameScannerTest, CrLfInsideAFrameIsHarmlessWithoutDollar) {
    const Bytes withCrLf = ubxFrame(0x01, 0x07, Bytes{1, 2, 0x0D, 0x0A, 3});
    feedInPieces(concat({withCrLf, kAck, withCrLf}), 3);
    EXPECT_EQ(seen.found, (std::vector<Bytes>{withCrLf, kAck, withCrLf}));
    EXPECT_EQ(seen.textLines, 0);
}

TEST_F(FrameScannerTest, DollarInsideAFrameDoesNotCutIt) {
    const Bytes withDollar = ubxFrame(0x02, 0x13, bytesOf("ab$cd"));
    feed(concat({withDollar, bytesOf("$GPTXT*00\r\n"), kAck}));
    EXPECT_EQ(seen.found, (std::vector<Bytes>{withDollar, kAck}));
}

TEST_F(FrameScannerTest, BadChecksumIsDroppedAndTheNextFrameFound) {
    Bytes bad = kNav;
    bad[bad.size() - 1] ^= 0xFF;
    feed(concat({bad, kAck}));
    EXPECT_EQ(seen.found, std::vector<Bytes>{kAck});
    EXPECT_EQ(seen.dropped, std::vector<Bytes>{bad});
    EXPECT_EQ(seen.dropReasons, std::vector<DropReason>{DropReason::Checksum});
}

TEST_F(FrameScannerTest, FalseSyncCostsEverythingUpToItsDeclaredEnd) {
    // A stray sync pair declaring 20 payload bytes swallows the 10-byte frame behind it.
    const Bytes falseSync = {0xB5, 0x62, 0x33, 0x44, 20, 0};
    const Bytes filler(28 - falseSync.size() - kAck.size(), 0x00);
    feed(concat({falseSync, kAck, filler, kPoll}));
    EXPECT_EQ(seen.found, std::vector<Bytes>{kPoll});
    ASSERT_EQ(seen.dropped.size(), 1u);
    EXPECT_EQ(seen.dropped[0].size(), 28u);
    EXPECT_EQ(seen.dropReasons, std::vector<DropReason>{DropReason::Checksum}) << "its length was within the cap";
}

TEST_F(FrameScannerTest, OverlongLengthConsumesExactly4096Bytes) {
    for (std::uint16_t declared : {4089, 0xFFFF}) {
        RecordingObserver observer;
        UbxFrameScanner s(observer);
        Bytes head = {0xB5, 0x62, 0x02, 0x73, static_cast<std::uint8_t>(declared & 0xFF),
                      static_cast<std::uint8_t>(declared >> 8)};
        // A frame lies inside the 4096 bytes, another one right after them.
        Bytes body = concat({head, kAck});
        body.resize(kUbxFrameLengthCap, 0x00);
        const Bytes stream = concat({body, kPoll});
        for (std::size_t at = 0; at < stream.size(); at += 1000) {
            s.scanBlock(ByteView(stream).subspan(at, std::min<std::size_t>(1000, stream.size() - at)));
        }
        EXPECT_EQ(observer.found, std::vector<Bytes>{kPoll}) << declared;
        ASSERT_EQ(observer.dropped.size(), 1u);
        EXPECT_EQ(observer.dropped[0].size(), kUbxFrameLengthCap);
        EXPECT_EQ(observer.dropReasons, std::vector<DropReason>{DropReason::Length}) << declared;
    }
}

TEST_F(FrameScannerTest, LargestPassingFrameHas4088PayloadBytes) {
    const Bytes largest = ubxFrame(0x02, 0x15, Bytes(4088, 0x24));
    feedInPieces(largest, 1024);
    EXPECT_EQ(seen.found, std::vector<Bytes>{largest});
}

TEST_F(FrameScannerTest, EmptyBlockLosesAHalfReceivedFrame) {
    feed(ByteView(kNav).first(50));
    feed(Bytes{});
    EXPECT_TRUE(scanner.pending().empty());
    feed(ByteView(kNav).subspan(50));
    feed(kAck);
    EXPECT_EQ(seen.found, std::vector<Bytes>{kAck});
}

TEST_F(FrameScannerTest, ThrowingConsumerLosesTheRestOfTheBlockOnly) {
    feed(ByteView(kAck).first(4));  // pending before the block
    const Bytes pendingBefore(scanner.pending().begin(), scanner.pending().end());
    seen.onFrame = [](const Bytes& frame) {
        if (frame[2] == 0x05) throw std::runtime_error("view failed");
    };
    feed(concat({test::slice(kAck, 4), kNav}));
    EXPECT_EQ(seen.abandoned, 1);
    EXPECT_EQ(Bytes(scanner.pending().begin(), scanner.pending().end()), pendingBefore);
    ASSERT_EQ(seen.found, std::vector<Bytes>{kAck}) << "kNav behind the failing frame is lost";

    // The pending bytes are those before the failed block, so the same rest completes the frame.
    seen.onFrame = nullptr;
    feed(test::slice(kAck, 4));
    EXPECT_EQ(seen.found, (std::vector<Bytes>{kAck, kAck}));
    EXPECT_TRUE(scanner.pending().empty());
}

TEST_F(FrameScannerTest, ResetDuringAScanKeepsTheScansOwnLeftover) {
    seen.onFrame = [&](const Bytes&) { scanner.clearPending(); };
    feed(ByteView(kNav).first(30));
    feed(concat({test::slice(kNav, 30), kAck,
                 test::slice(kPoll, 0, 5)}));
    EXPECT_EQ(Bytes(scanner.pending().begin(), scanner.pending().end()),
              Bytes(kPoll.begin(), kPoll.begin() + 5));
    feed(ByteView(kPoll).subspan(5));
    EXPECT_EQ(seen.found, (std::vector<Bytes>{kNav, kAck, kPoll}));
}

// The return stream's sentences are read, not only removed: a line must not be shortened because
// it came in small blocks.
TEST(FrameScannerTextLines, LineArrivesWholeHoweverTheBlocksAreCut) {
    struct LineObserver : ScanObserver {
        void frameFound(ByteView) override {}
        void textLineRemoved(ByteView line) override { lines.emplace_back(line.begin(), line.end()); }
        std::vector<Bytes> lines;
    };
    const std::string sentence =
        "$GNGGA,114423.00,3426.40646,N,13224.88693,E,4,12,0.50,203.7,M,30.1,M,1.0,0000*4B\r\n";
    const Bytes stream = concat({kAck, bytesOf(std::string(100, 'x') + sentence), kAck});
    for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{64}}) {
        LineObserver seen;
        UbxFrameScanner scanner(seen);
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            scanner.scanBlock(ByteView(stream).subspan(at, std::min(piece, stream.size() - at)));
        }
        ASSERT_EQ(seen.lines.size(), 1u) << piece;
        EXPECT_EQ(seen.lines[0], bytesOf(std::string(100, 'x') + sentence)) << piece;
    }
}

TEST_F(FrameScannerTest, PendingBytesStayBoundedOnAStreamWithoutFrames) {
    std::mt19937 random(7);
    Bytes noise(64 * 1024);
    for (int round = 0; round < 64; ++round) {
        for (auto& b : noise) {
            b = static_cast<std::uint8_t>(random());
            if (b == 0xB5) b = 0xB4;  // no sync pair ever
        }
        feed(noise);
        ASSERT_LE(scanner.pending().size(), kUbxFrameLengthCap + 64);
    }
    // The stray bytes did not hide a frame that follows them.
    feed(kAck);
    EXPECT_EQ(seen.found.back(), kAck);
}

// The scan written the plain way: searched again on every pass, no bound on the pending bytes.
class ReferenceScanner {
public:
    explicit ReferenceScanner(ScanObserver& observer) : observer_(observer) {}
    void scanBlock(ByteView block) {
        if (block.empty()) {
            pending_.clear();
            return;
        }
        pending_.insert(pending_.end(), block.begin(), block.end());
        bool removed = true;
        while (removed && !pending_.empty()) {
            removed = false;
            const auto find = [&](std::initializer_list<std::uint8_t> pattern) -> std::size_t {
                const auto it = std::search(pending_.begin(), pending_.end(), pattern.begin(), pattern.end());
                return it == pending_.end() ? 0 : static_cast<std::size_t>(it - pending_.begin()) + 1;
            };
            const std::size_t u = find({0xB5, 0x62}), d = find({'$'}), c = find({0x0D, 0x0A});
            if (d > 0 && (u == 0 || d < u) && c > d) {
                observer_.textLineRemoved(ByteView(pending_).first(c + 1));
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(c + 1));
                removed = true;
            } else if (u > 0 && pending_.size() >= u + 5) {
                const std::size_t declared = (pending_[u + 3] | pending_[u + 4] << 8) + 8;
                const std::size_t n = std::min<std::size_t>(declared, 4096);
                if (pending_.size() >= u + n - 1) {
                    const Bytes frame(pending_.begin() + static_cast<std::ptrdiff_t>(u - 1),
                                      pending_.begin() + static_cast<std::ptrdiff_t>(u - 1 + n));
                    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(u - 1 + n));
                    if (isValidUbxFrame(frame)) {
                        observer_.frameFound(frame);
                    } else {
                        observer_.frameDropped(frame, declared > n ? DropReason::Length : DropReason::Checksum);
                    }
                    removed = true;
                }
            }
        }
    }

private:
    ScanObserver& observer_;
    Bytes pending_;
};

// Streams from pieces that provoke every rule: frames, damaged frames, text lines, lone '$',
// CR, LF, sync halves, false sync pairs and long runs of stray bytes.
Bytes provokingStream(std::mt19937& random, std::size_t pieces) {
    Bytes stream;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (std::size_t i = 0; i < pieces; ++i) {
        Bytes piece;
        switch (pick(10)) {
            case 0: piece = kNav; break;
            case 1: piece = ubxFrame(0x02, 0x73, Bytes{0x0D, 0x0A, '$', 0xB5}); break;
            case 2: piece = kAck; piece[pick(static_cast<int>(piece.size()))] ^= 0x40; break;
            case 3: piece = bytesOf("$GNTXT,01*6F\r\n"); break;
            case 4: piece = Bytes{'$'}; break;
            case 5: piece = Bytes{0x0D}; break;
            case 6: piece = Bytes{0x0A}; break;
            case 7: piece = Bytes{0xB5}; break;
            case 8: piece = {0xB5, 0x62, 0x01, 0x02, static_cast<std::uint8_t>(pick(256)),
                             static_cast<std::uint8_t>(pick(3))};
                    break;
            default:
                piece.resize(static_cast<std::size_t>(pick(300)));
                for (auto& b : piece) b = static_cast<std::uint8_t>(pick(4) == 0 ? "$\r\n\xB5"[pick(4)] : pick(256));
        }
        stream.insert(stream.end(), piece.begin(), piece.end());
    }
    return stream;
}

TEST(FrameScannerEquivalence, SameResultsAsThePlainScanForAnyCutOfAnyStream) {
    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        const Bytes stream = provokingStream(random, 60);
        RecordingObserver fast, plain;
        UbxFrameScanner scanner(fast);
        ReferenceScanner reference(plain);
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t piece = std::min<std::size_t>(1 + random() % 700, stream.size() - at);
            const ByteView block = ByteView(stream).subspan(at, piece);
            scanner.scanBlock(block);
            reference.scanBlock(block);
            at += piece;
        }
        ASSERT_EQ(fast.found, plain.found) << "round " << round;
        ASSERT_EQ(fast.dropped, plain.dropped) << "round " << round;
        ASSERT_EQ(fast.dropReasons, plain.dropReasons) << "round " << round;
        ASSERT_EQ(fast.textLines, plain.textLines) << "round " << round;
    }
}

}  // namespace
}  // namespace tessaly
