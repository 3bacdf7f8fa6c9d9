// The TCP server serving each client apart, as the command-line simulators use it, over real
// sockets on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "links/net/tcp_server_link.h"
#include "testing/test_owner_thread.h"

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// A plain client socket with reads that give up after a while, so a fault fails instead of hangs.
class Client {
public:
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<std::uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Client() { close(); }
    bool connected() const { return fd_ >= 0; }
    void send(const Bytes& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
    // Up to `count` bytes, fewer when nothing more came for `quiet`.
    Bytes receive(std::size_t count, std::chrono::milliseconds quiet = 3000ms) {
        Bytes got;
        std::uint8_t buffer[4096];
        while (got.size() < count) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(quiet.count())) <= 0) break;
            const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 251);
    return bytes;
}

// A server on a free port recording what each client sent and the notices, by client.
class TcpServerLinkTest : public ::testing::Test {
protected:
    void start(bool apart, TcpServerConfig config = {}) {
        TcpServerHandlers handlers;
        handlers.blockReceived = [this](LinkBytes block) {
            std::lock_guard lock(mutex);
            firstOnly.insert(firstOnly.end(), block.begin(), block.end());
        };
        if (apart) {
            handlers.clientBlock = [this](TcpClientId id, LinkBytes block) {
                std::lock_guard lock(mutex);
                EXPECT_TRUE(peers.contains(id)) << "a block before its client's coming";
                received[id].insert(received[id].end(), block.begin(), block.end());
            };
        }
        handlers.clientCame = [this](TcpClientId id, const std::string& peer) {
            std::lock_guard lock(mutex);
            EXPECT_FALSE(peers.contains(id));
            peers[id] = peer;
            order.push_back(id);
        };
        handlers.clientLeft = [this](TcpClientId id, bool dropped) {
            std::lock_guard lock(mutex);
            left[id] = dropped;
        };
        server = std::make_unique<TcpServerLink>(config, std::make_shared<IoLoop>(), owner, handlers);
        std::string error;
        ASSERT_TRUE(owner->call([&] { return server->listen("127.0.0.1", 0, error); })) << error;
        ASSERT_NE(server->port(), 0);
    }
    void TearDown() override {
        if (server) owner->call([&] { server->close(); });
        owner->shutdown();
        server.reset();
        // Joins the owner's thread: a notice it is still taking is done before the records go.
        owner.reset();
    }
    // Lets the owner take the notices until `done` holds, for a few seconds at most.
    template <typename Done>
    bool waitFor(Done done) {
        for (int i = 0; i < 5000; ++i) {
            owner->call([] {});
            {
                std::lock_guard lock(mutex);
                if (done()) return true;
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    TcpClientId idOf(std::size_t nth) {
        std::lock_guard lock(mutex);
        return order.at(nth);
    }
    // Whether the client left, and whether it was dropped for not reading.
    std::optional<bool> leftAs(TcpClientId id) {
        std::lock_guard lock(mutex);
        const auto found = left.find(id);
        return found == left.end() ? std::nullopt : std::optional(found->second);
    }

    std::shared_ptr<testing::TestOwnerThread> owner = std::make_shared<testing::TestOwnerThread>();
    std::unique_ptr<TcpServerLink> server;
    std::mutex mutex;
    std::map<TcpClientId, Bytes> received;
    std::map<TcpClientId, std::string> peers;
    std::map<TcpClientId, bool> left;
    std::vector<TcpClientId> order;
    Bytes firstOnly;
};

TEST_F(TcpServerLinkTest, InterleavedStreamsOfTwoClientsAreEachHandedOnApartByteForByte) {
    start(true);
    Client a(server->port());
    ASSERT_TRUE(a.connected());
    ASSERT_TRUE(waitFor([&] { return order.size() == 1; }));
    Client b(server->port());
    ASSERT_TRUE(b.connected());
    ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
    const Bytes streamA = pattern(300'000, 1), streamB = pattern(200'000, 2);
    // Pieces of changing sizes, taking turns, so the server reads the two at once.
    std::size_t atA = 0, atB = 0;
    for (std::size_t size = 1; atA < streamA.size() || atB < streamB.size(); size = size * 3 % 7919 + 1) {
        const std::size_t takeA = std::min(size, streamA.size() - atA), takeB = std::min(size / 2 + 1, streamB.size() - atB);
        if (takeA > 0) a.send(Bytes(streamA.begin() + atA, streamA.begin() + atA + takeA));
        if (takeB > 0) b.send(Bytes(streamB.begin() + atB, streamB.begin() + atB + takeB));
        atA += takeA;
        atB += takeB;
    }
    const TcpClientId idA = idOf(0), idB = idOf(1);
    EXPECT_NE(idA, idB);
    ASSERT_TRUE(waitFor([&] { return received[idA].size() >= streamA.size() && received[idB].size() >= streamB.size(); }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(received[idA], streamA);
    EXPECT_EQ(received[idB], streamB);
    EXPECT_TRUE(firstOnly.empty()) << "served apart, nothing goes the bridge's way";
    EXPECT_EQ(server->bytesNotForwarded(), 0u);
    EXPECT_EQ(peers[idA].rfind("127.0.0.1:", 0), 0u) << peers[idA];
}

TEST_F(TcpServerLinkTest, AWriteToOneClientReachesOnlyThatClient) {
    start(true);
    Client a(server->port()), b(server->port());
    ASSERT_TRUE(a.connected() && b.connected());
    ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
    const Bytes onlyA = pattern(5000, 3), toAll = pattern(700, 4);
    const TcpClientId idA = idOf(0);
    server->writeTo(idA, onlyA);
    server->writeTo(idA + 1000, pattern(10, 5));  // no such client: nothing, nowhere
    server->write(toAll);
    Bytes expectedA = onlyA;
    expectedA.insert(expectedA.end(), toAll.begin(), toAll.end());
    // Which socket is which client: the one that has the bytes for one of them.
    Bytes gotFirst = a.receive(expectedA.size() + 1, 300ms), gotSecond = b.receive(expectedA.size() + 1, 300ms);
    if (gotFirst.size() < gotSecond.size()) std::swap(gotFirst, gotSecond);
    EXPECT_EQ(gotFirst, expectedA);
    EXPECT_EQ(gotSecond, toAll);
}

TEST_F(TcpServerLinkTest, ALeavingClientIsToldWithItsIdAndANonReaderAsDropped) {
    TcpServerConfig config;
    config.clientQueueCap = 64 * 1024;
    start(true, config);
    Client reader(server->port());
    ASSERT_TRUE(waitFor([&] { return order.size() == 1; }));
    Client sleeper(server->port());
    ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
    const TcpClientId readerId = idOf(0), sleeperId = idOf(1);
    reader.close();
    ASSERT_TRUE(waitFor([&] { return left.contains(readerId); }));
    EXPECT_EQ(leftAs(readerId), false);
    // The sleeper reads nothing: the kernel's buffers fill, then the server's queue.
    for (int i = 0; i < 400 && !leftAs(sleeperId); ++i) {
        server->writeTo(sleeperId, pattern(64 * 1024, 6));
        owner->call([] {});
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(waitFor([&] { return left.contains(sleeperId); }));
    EXPECT_EQ(leftAs(sleeperId), true);
    EXPECT_EQ(server->clientsDropped(), 1u);
}

TEST_F(TcpServerLinkTest, NotServedApartOnlyTheFirstClientsBytesAreHandedOn) {
    start(false);
    Client first(server->port());
    ASSERT_TRUE(waitFor([&] { return order.size() == 1; }));
    Client second(server->port());
    ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
    second.send(pattern(333, 7));
    first.send(pattern(1000, 8));
    ASSERT_TRUE(waitFor([&] { return firstOnly.size() >= 1000 && server->bytesNotForwarded() >= 333; }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(firstOnly, pattern(1000, 8));
    EXPECT_EQ(server->bytesNotForwarded(), 333u);
    EXPECT_TRUE(received.empty());
}

TEST_F(TcpServerLinkTest, PortsOutOfRangeAreRefused) {
    start(true);
    TcpServerLink other({}, std::make_shared<IoLoop>(), owner, {});
    std::string error;
    for (const int port : {-1, 65536}) {
        EXPECT_FALSE(owner->call([&] { return other.listen("127.0.0.1", port, error); }));
        EXPECT_NE(error.find("no such address"), std::string::npos) << error;
    }
    EXPECT_EQ(other.port(), 0);
}

}  // namespace
}  // namespace tessaly
