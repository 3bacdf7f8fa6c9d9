#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "links/net/tcp_link.h"
#include "tests/tcp_peer.h"
#include "testing/link_open.h"
#include "testing/test_owner_thread.h"

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TcpPeer;
using testing::TestOwnerThread;

Bytes everyByteValue(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return bytes;
}

// A link driven from a test owner thread, recording what it handed over.
class TcpLinkTest : public ::testing::Test {
protected:
    void makeLink(TcpLinkConfig config = {}) {
        TcpLinkHandlers handlers;
        handlers.blockReceived = [this](LinkBytes block) {
            EXPECT_FALSE(owner->onOwnerThread()) << "handed on by the reader itself";
            std::lock_guard lock(mutex);
            blockSizes.push_back(block.size());
            received.insert(received.end(), block.begin(), block.end());
        };
        handlers.readerFailed = [this](const std::string& text) {
            std::lock_guard lock(mutex);
            failures.push_back(text);
        };
        link = std::make_unique<TcpLink>(config, std::make_shared<IoLoop>(), owner, handlers);
    }
    bool connect(const std::string& host, int port) {
        return testing::outcomeOf(*owner, [&](std::function<void(const std::string&)> outcome) {
                   link->TcpConnect(host, port, {}, [outcome](bool connected) { outcome(connected ? "" : "refused"); });
               }) == "";
    }
    bool connected() { return owner->call([&] { return link->connected(); }); }
    // A link whose sends give up after `ms` without progress, connected to the peer.
    bool connectWithSendTimeout(TcpPeer& peer, std::uint32_t ms) {
        TcpLinkConfig config;
        config.sendTimeoutMs = ms;
        makeLink(config);
        if (!connect("127.0.0.1", peer.port())) return false;
        peer.accept();
        return true;
    }
    std::size_t receivedSize() {
        std::lock_guard lock(mutex);
        return received.size();
    }
    // Waits (bounded) until the condition holds; the owner thread keeps running meanwhile.
    template <typename Condition>
    bool eventually(Condition condition) {
        for (int i = 0; i < 2000; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }
    void TearDown() override {
        if (link) owner->call([&] { link.reset(); });
    }

    std::shared_ptr<TestOwnerThread> owner = std::make_shared<TestOwnerThread>();
    std::unique_ptr<TcpLink> link;
    std::mutex mutex;
    Bytes received;
    std::vector<std::size_t> blockSizes;
    std::vector<std::string> failures;
};

TEST_F(TcpLinkTest, EveryByteArrivesInOrderInBlocksOfAtMostTheCap) {
    for (const std::size_t cap : {std::size_t{1024}, std::size_t{2048}}) {
        TcpPeer peer;
        TcpLinkConfig config;
        config.blockCap = cap;
        makeLink(config);
        received.clear();
        blockSizes.clear();
        ASSERT_TRUE(connect("127.0.0.1", peer.port()));
        peer.accept();
        EXPECT_TRUE(connected());
        EXPECT_EQ(link->host(), "127.0.0.1");
        EXPECT_EQ(link->port(), peer.port());
        const Bytes sent = everyByteValue(1 << 20);
        peer.send(sent);
        ASSERT_TRUE(eventually([&] { return receivedSize() == sent.size(); })) << receivedSize();
        std::lock_guard lock(mutex);
        EXPECT_EQ(received, sent);
        for (std::size_t size : blockSizes) ASSERT_LE(size, cap);
        EXPECT_GT(blockSizes.size(), sent.size() / cap - 1);
        owner->call([&] { link.reset(); });
    }
}

TEST_F(TcpLinkTest, LastBytesBeforeAnOrderlyCloseAreStillHandedOver) {
    TcpPeer peer;
    makeLink();
    ASSERT_TRUE(connect("localhost", peer.port()));
    peer.accept();
    const Bytes sent = everyByteValue(3000);
    peer.send(sent);
    peer.closeOrderly();
    ASSERT_TRUE(eventually([&] { return !connected(); }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, sent);
    EXPECT_TRUE(failures.empty());
}

TEST_F(TcpLinkTest, ResetByThePeerClosesTheLinkWithoutAMessage) {
    TcpPeer peer;
    makeLink();
    ASSERT_TRUE(connect("127.0.0.1", peer.port()));
    peer.accept();
    peer.reset();
    ASSERT_TRUE(eventually([&] { return !connected(); }));
    owner->processEvents();
    std::lock_guard lock(mutex);
    EXPECT_TRUE(failures.empty());
}

TEST_F(TcpLinkTest, AfterACloseAtMostTheBlockInHandIsHandedOver) {
    TcpPeer peer;
    makeLink();
    ASSERT_TRUE(connect("127.0.0.1", peer.port()));
    peer.accept();
    // The receiver keeps sending while the user closes the link.
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        try {
            while (sending) peer.send(everyByteValue(4096));
        } catch (const std::runtime_error&) {
            // the link closed under it
        }
    });
    ASSERT_TRUE(eventually([&] { return receivedSize() > 0; }));
    owner->call([&] {
        link->TcpClose();
        EXPECT_FALSE(link->connected());
    });
    const std::size_t atClose = receivedSize();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(receivedSize(), atClose + 1024u) << "only the block the reader held at the close";
    sending = false;
    sender.join();
}

TEST_F(TcpLinkTest, WritesReachThePeerAndDoNothingWhenClosed) {
    TcpPeer peer;
    makeLink();
    const Bytes nothing = {1, 2, 3};
    owner->call([&] { link->TcpWrite(nothing); });  // never connected: nothing happens
    ASSERT_TRUE(connect("127.0.0.1", peer.port()));
    peer.accept();
    const Bytes sent = everyByteValue(200000);
    owner->call([&] { link->TcpWrite(sent); });
    EXPECT_EQ(peer.receive(sent.size()), sent);
    owner->call([&] { link->TcpClose(); });
    owner->call([&] { link->TcpWrite(sent); });
    EXPECT_TRUE(peer.receive(1).empty());
}

// A peer that stops reading never holds the writer: the block waits on the loop, and once the
// peer took nothing for the send time-out what it took is its whole stream on that connection
// (the rest of the block, and every later one, would follow a hole), so the connection ends and
// the link says so once.
TEST_F(TcpLinkTest, PeerThatStopsReadingEndsTheConnectionWithNoHoleInItsStream) {
    TcpPeer peer;
    ASSERT_TRUE(connectWithSendTimeout(peer, 100));
    const Bytes big = everyByteValue(32 << 20);
    owner->call([&] { link->TcpWrite(big); });  // the socket buffers fill; the peer reads nothing
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return !failures.empty();
    }));
    EXPECT_FALSE(connected());
    owner->call([&] { link->TcpWrite(Bytes{1, 2, 3}); });
    const Bytes got = peer.receive(big.size() + 3);  // until the connection ends
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), big.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), big.begin())) << "a prefix of the stream, nothing after a hole";
    std::lock_guard lock(mutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("the peer took no bytes for 100 ms"), std::string::npos) << failures[0];
}

// The window's thread writes the receiver commands and, through the relay, the loop writes every
// block: neither may wait for a peer. A peer that falls behind by more than the queue holds is
// ended, said once, instead of holding the writer or losing a block in the middle of its stream.
TEST_F(TcpLinkTest, APeerThatFallsBehindNeverHoldsTheWriterAndIsEndedWhole) {
    TcpPeer peer;
    TcpLinkConfig config;
    config.sendTimeoutMs = 60000;  // only the queue's bound can end this connection
    config.writeQueueCap = 1 << 20;
    makeLink(config);
    ASSERT_TRUE(connect("127.0.0.1", peer.port()));
    peer.accept();
    Bytes stream;
    std::size_t blocks = 0;
    while (connected() && blocks < 10000) {
        const Bytes block = everyByteValue(64 * 1024);
        owner->call([&] { link->TcpWrite(block); });  // returns with the peer reading nothing
        if (connected()) stream.insert(stream.end(), block.begin(), block.end());
        ++blocks;
    }
    ASSERT_FALSE(connected()) << "the queue's bound ended it";
    const Bytes got = peer.receive(stream.size() + 1);  // until the connection ends
    EXPECT_LE(got.size(), stream.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), stream.begin())) << "a prefix of the stream, nothing after a hole";
    std::lock_guard lock(mutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("the peer did not keep up"), std::string::npos) << failures[0];
}

// A rover that reads slowly, a block far beyond what the sockets buffer taking four times the
// time-out, still takes bytes within every time-out: it gets all of them, and the link stays up.
// (The time-out leaves room for a sanitizer build, where each burst takes longer to take.)
TEST_F(TcpLinkTest, PeerThatReadsSlowlyGetsEveryByte) {
    TcpPeer peer;
    ASSERT_TRUE(connectWithSendTimeout(peer, 600));
    const Bytes big = everyByteValue(24 << 20);
    Bytes got;
    std::thread reader([&] {
        while (got.size() < big.size()) {
            const Bytes burst = peer.receive(std::min<std::size_t>(1 << 20, big.size() - got.size()));
            if (burst.empty()) break;
            got.insert(got.end(), burst.begin(), burst.end());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    owner->call([&] { link->TcpWrite(big); });
    reader.join();
    EXPECT_TRUE(got == big) << got.size() << " of " << big.size();
    EXPECT_TRUE(connected());
    std::lock_guard lock(mutex);
    EXPECT_TRUE(failures.empty()) << failures.front();
}

// Each failed connect says why, in words the user can act on.
TEST_F(TcpLinkTest, FailedConnectsReturnFalseAndSayWhy) {
    makeLink();
    int closedPort;
    {
        TcpPeer gone;
        closedPort = gone.port();
    }
    const auto why = [&] { return owner->call([&] { return link->connectError(); }); };
    EXPECT_FALSE(connect("127.0.0.1", closedPort)) << "refused";
    EXPECT_TRUE(why().starts_with("connection refused")) << why();
    EXPECT_FALSE(connect("", 2101)) << "empty host";
    EXPECT_EQ(why(), "no host given");
    EXPECT_FALSE(connect("127.0.0.1", 0)) << "port 0";
    EXPECT_FALSE(connect("127.0.0.1", 65536)) << "beyond 16 bits";
    EXPECT_EQ(why(), "the port is not 1 to 65535");
    EXPECT_FALSE(connect("no-such-receiver.invalid", 2101)) << "name not resolved";
    EXPECT_TRUE(why().starts_with("unknown host") || why().starts_with("the host name could not be looked up")) << why();
    EXPECT_FALSE(connected());
    EXPECT_EQ(link->host(), "no-such-receiver.invalid");
}

TEST_F(TcpLinkTest, ReconnectStartsAFreshConnection) {
    TcpPeer first, second;
    makeLink();
    ASSERT_TRUE(connect("127.0.0.1", first.port()));
    first.accept();
    ASSERT_TRUE(connect("127.0.0.1", second.port()));
    second.accept();
    EXPECT_EQ(first.receive(1).size(), 0u) << "the old connection was closed";
    second.send({9, 8, 7});
    ASSERT_TRUE(eventually([&] { return receivedSize() == 3; }));
}

TEST(TcpReaderErrorText, LineBreaksBecomeOneLine) {
    EXPECT_EQ(tcpReaderErrorText("TCP ", "Socket Error # 110\r\nConnection timed out"),
              "TCP Socket Error # 110 : Connection timed out");
    EXPECT_EQ(tcpReaderErrorText("TCP2 ", "one\r\ntwo\r\nthree"), "TCP2 one : two three");
    EXPECT_EQ(tcpReaderErrorText("TCP ", "plain"), "TCP plain");
}

}  // namespace
}  // namespace tessaly
