// One link endpoint for the window and the bridge: a lost link, TCP or serial, is reopened with
// the back-off once its peer is back, and every relay socket goes without Nagle's delay.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "links/link_endpoint.h"
#include "testing/serial_test_support.h"
#include "tests/tcp_peer.h"
#include "testing/link_open.h"
#include "testing/test_owner_thread.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using Clock = LinkEndpoint::Clock;

LinkAddress tcpAt(int port) {
    LinkAddress address;
    address.host = "127.0.0.1";
    address.tcpPort = port;
    return address;
}

LinkAddress serialPort(std::int32_t portNo) {
    LinkAddress address;
    address.kind = LinkAddress::Kind::Serial;
    address.portNo = portNo;
    address.bitRate = 115200;
    return address;
}

TEST(ReconnectBackoff, DoublesFromHalfASecondToEightAndStartsAgainAfterASuccess) {
    ReconnectBackoff backoff;
    const Clock::time_point t0{};
    std::vector<long long> waits;
    for (int i = 0; i < 7; ++i) waits.push_back(backoff.failed(t0).count());
    EXPECT_EQ(waits, (std::vector<long long>{500, 1000, 2000, 4000, 8000, 8000, 8000}));
    EXPECT_FALSE(backoff.due(t0 + 7999ms));
    EXPECT_TRUE(backoff.due(t0 + 8000ms));
    backoff.succeeded();
    EXPECT_EQ(backoff.failed(t0).count(), 500);
}

class LinkEndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TESSALY_PORTS_DIR", ports.path().c_str(), 1);
        LinkEndpointHooks hooks;
        hooks.blockRead = [this](LinkBytes block) {
            {
                std::lock_guard lock(readMutex);
                read.insert(read.end(), block.begin(), block.end());
            }
            if (relay.write) relay.write(block);
        };
        hooks.watch = [this](LinkBytes block) {
            watchedSizes.push_back(block.size());
            received.insert(received.end(), block.begin(), block.end());
        };
        hooks.noticed = [this](const LinkNotice& notice) { notices.push_back(notice); };
        hooks.processEvents = [this] { owner->processEvents(); };
        link = owner->call([&] { return std::make_unique<LinkEndpoint>(true, loop, owner, hooks); });
    }
    void TearDown() override {
        owner->call([&] {
            link.reset();
            other.reset();
        });
    }
    // A second endpoint on the same loop, as the program's other side, whose reads go to
    // `otherRead`.
    LinkEndpoint& openOther(const LinkAddress& address) {
        LinkEndpointHooks hooks;
        hooks.blockRead = [this](LinkBytes block) {
            std::lock_guard lock(readMutex);
            otherRead.insert(otherRead.end(), block.begin(), block.end());
        };
        hooks.noticed = [](const LinkNotice&) {};
        hooks.processEvents = [this] { owner->processEvents(); };
        owner->call([&] { other = std::make_unique<LinkEndpoint>(false, loop, owner, hooks); });
        EXPECT_EQ(testing::openLink(*owner, *other, address), "");
        return *other;
    }
    std::size_t readSize(const Bytes& bytes) {
        std::lock_guard lock(readMutex);
        return bytes.size();
    }
    // Supervises at `now` until a notice comes (the loss is seen once the reader has ended).
    LinkNotice supervisedUntilNotice(Clock::time_point now) {
        const std::size_t before = owner->call([&] { return notices.size(); });
        EXPECT_TRUE(testing::eventually([&] {
            return owner->call([&] {
                link->supervise(now);
                return notices.size() > before;
            });
        }));
        return owner->call([&] { return notices.back(); });
    }
    int noDelayOfTheSocket() {
        return owner->call([&] {
            int on = 0;
            socklen_t size = sizeof on;
            ::getsockopt(link->tcp().socketHandle(), IPPROTO_TCP, TCP_NODELAY, &on, &size);
            return on;
        });
    }
    Bytes receivedBytes() { return owner->call([&] { return received; }); }

    testing::PortsFolder ports;
    std::shared_ptr<IoLoop> loop = std::make_shared<IoLoop>();
    std::shared_ptr<testing::TestOwnerThread> owner = std::make_shared<testing::TestOwnerThread>();
    std::unique_ptr<LinkEndpoint> link;
    std::vector<LinkNotice> notices;  // owner thread
    Bytes received;                   // owner thread: what the monitor watched
    std::vector<std::size_t> watchedSizes;  // owner thread
    std::mutex readMutex;
    Bytes read;  // guarded by readMutex: what the relay was handed, on the reading thread
    Bytes otherRead;  // guarded by readMutex
    LinkWriter relay;  // set before the open: where the relay forwards what `link` read
    std::unique_ptr<LinkEndpoint> other;
};

TEST_F(LinkEndpointTest, TcpLinkLostIsReopenedWhenItsServerIsBackWithoutNagle) {
    auto server = std::make_unique<testing::TcpPeer>();
    const int port = server->port();
    const LinkAddress address = tcpAt(port);
    ASSERT_EQ(testing::openLink(*owner, *link, address), "");
    server->accept();
    EXPECT_EQ(noDelayOfTheSocket(), 1) << "TCP_NODELAY on the relay socket";

    server->reset();
    server.reset();
    const Clock::time_point t0 = Clock::now();
    const LinkNotice lost = supervisedUntilNotice(t0);
    EXPECT_EQ(lost.what, LinkNotice::What::Lost);
    EXPECT_EQ(lost.retryIn, 500ms);
    EXPECT_TRUE(owner->call([&] { return link->wanted() && !link->isOpen(); }));
    const LinkNotice failed = supervisedUntilNotice(t0 + 500ms);
    EXPECT_EQ(failed.what, LinkNotice::What::RetryFailed) << "nobody listens yet";
    EXPECT_EQ(failed.retryIn, 1000ms);

    testing::TcpPeer back(port);
    owner->call([&] { link->supervise(t0 + 1400ms); });
    EXPECT_EQ(owner->call([&] { return link->state(); }), LinkState::Reconnecting) << "not due before 1.5 s";
    EXPECT_EQ(supervisedUntilNotice(t0 + 1500ms).what, LinkNotice::What::Reopened);
    back.accept();
    EXPECT_EQ(noDelayOfTheSocket(), 1) << "also on the new connection";
    back.send({1, 2, 3});
    EXPECT_TRUE(testing::eventually([&] { return receivedBytes() == Bytes{1, 2, 3}; }));
}

// The user closes the link while an attempt to open it waits (here for a caster that takes the
// connection and never answers), at the first open and at a retry: the attempt does not hold the
// owner, and the link stays closed with no notice after the close, neither then nor at later
// supervision.
TEST_F(LinkEndpointTest, CloseWhileAnAttemptWaitsLeavesTheLinkClosedWithNoNoticeAfter) {
    LinkAddress address;
    address.kind = LinkAddress::Kind::NtripClient;
    address.host = "127.0.0.1";
    address.tcpPort = std::make_unique<testing::TcpPeer>()->port();  // free, for now
    address.mount = "L6E";
    bool heard = false;  // owner thread: an outcome of an attempt reached the program
    const auto closedWhileItWaits = [&](const std::function<void()>& attempt, LinkState waiting) {
        const auto began = Clock::now();
        owner->call(attempt);
        EXPECT_LT(Clock::now() - began, 1s) << "the attempt held the owner";
        EXPECT_EQ(owner->call([&] { return link->state(); }), waiting);
        std::this_thread::sleep_for(200ms);  // the caster has taken the connection meanwhile
        owner->call([&] { link->close(); });
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(owner->call([&] { return link->state(); }), LinkState::Closed);
        owner->call([&] { link->supervise(Clock::now() + 1h); });
        EXPECT_TRUE(owner->call([&] { return notices.empty() && !heard; }));
    };
    // Nobody listens: refused, so the link waits to retry.
    EXPECT_NE(testing::outcomeOf(*owner, [&](LinkEndpoint::Opened opened) { link->openOrRetry(address, opened); }), "");
    ASSERT_TRUE(testing::eventually([&] { return owner->call([&] { return !notices.empty(); }); }));
    ASSERT_EQ(owner->call([&] { return link->state(); }), LinkState::Reconnecting);
    owner->call([&] { notices.clear(); });
    testing::TcpPeer silentCaster(address.tcpPort);
    closedWhileItWaits([&] { link->supervise(Clock::now() + 1h); }, LinkState::Reconnecting);
    closedWhileItWaits([&] { link->openOrRetry(address, [&](const std::string&) { heard = true; }); },
                       LinkState::Opening);
}

// A port that cannot be opened says why: what the user does about each differs.
TEST_F(LinkEndpointTest, ASerialPortThatCannotBeOpenedSaysWhy) {
    const auto failure = [&](const LinkAddress& address) { return testing::openLink(*owner, *link, address); };
    EXPECT_NE(failure(serialPort(42)).find("COM42@115200: Port could not be opened (not in the port map " +
                                           ports.path().string()),
              std::string::npos)
        << failure(serialPort(42));
    ports.link(43, ports.path() / "ttyGone");
    EXPECT_NE(failure(serialPort(43)).find("ttyGone is not there (unplugged?)"), std::string::npos);
    testing::PtyPair device;
    ports.link(44, device.nearPath());
    {
        testing::ForeignLock other(device.nearPath());
        EXPECT_NE(failure(serialPort(44)).find("(in use by another program)"), std::string::npos);
    }
    LinkAddress notATty = serialPort(0);
    notATty.device = (ports.path() / "plain-file").string();
    std::ofstream(notATty.device) << "x";
    EXPECT_NE(failure(notATty).find("serial:" + notATty.device + "@115200: Port could not be opened (not a serial device)"),
              std::string::npos)
        << failure(notATty);
    EXPECT_EQ(failure(serialPort(44)), "") << "free again";
}

TEST_F(LinkEndpointTest, UnpluggedSerialDeviceIsReopenedWhenPluggedInAgain) {
    auto device = std::make_unique<testing::PtyPair>();
    ports.link(6, device->nearPath());
    const LinkAddress address = serialPort(6);
    ASSERT_EQ(testing::openLink(*owner, *link, address), "");

    device.reset();  // unplugged
    const Clock::time_point t0 = Clock::now();
    const LinkNotice lost = supervisedUntilNotice(t0);
    EXPECT_EQ(lost.what, LinkNotice::What::Lost);
    EXPECT_NE(lost.error.find("COM6"), std::string::npos) << lost.error;

    device = std::make_unique<testing::PtyPair>();  // plugged in again, as the same port
    std::filesystem::remove(ports.portPath(6));
    ports.link(6, device->nearPath());
    EXPECT_EQ(supervisedUntilNotice(t0 + 500ms).what, LinkNotice::What::Reopened);
    device->writeFar({0xB5, 0x62});
    EXPECT_TRUE(testing::eventually([&] { return receivedBytes() == Bytes{0xB5, 0x62}; }));
}

TEST_F(LinkEndpointTest, WithoutReconnectALostLinkIsClosedAndSaidOnce) {
    auto server = std::make_unique<testing::TcpPeer>();
    const LinkAddress address = tcpAt(server->port());
    owner->call([&] { link->setReconnect(false); });
    ASSERT_EQ(testing::openLink(*owner, *link, address), "");
    server->accept();
    server->closeOrderly();
    const LinkNotice lost = supervisedUntilNotice(Clock::now());
    EXPECT_EQ(lost.what, LinkNotice::What::Lost);
    EXPECT_EQ(lost.retryIn, 0ms);
    EXPECT_EQ(owner->call([&] { return link->state(); }), LinkState::Closed);
    owner->call([&] { link->supervise(Clock::now() + 60s); });
    EXPECT_EQ(owner->call([&] { return notices.size(); }), 1u);
}

TEST_F(LinkEndpointTest, RelayGoesOnWhileTheOwnerIsBusyAndTheMonitorCatchesUpInOrder) {
    testing::TcpPeer server;
    const LinkAddress address = tcpAt(server.port());
    ASSERT_EQ(testing::openLink(*owner, *link, address), "");
    server.accept();
    Bytes stream(300000);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 13 + i / 509);

    std::promise<void> release;  // the window is busy (a dialog, a long redraw)
    owner->post([done = release.get_future().share()] { done.wait(); });
    server.send(stream);
    const auto readSize = [&] {
        std::lock_guard lock(readMutex);
        return read.size();
    };
    EXPECT_TRUE(testing::eventually([&] { return readSize() == stream.size(); })) << "the relay never waits for the owner";
    {
        std::lock_guard lock(readMutex);
        EXPECT_EQ(read, stream);
    }
    release.set_value();
    EXPECT_TRUE(testing::eventually([&] { return receivedBytes().size() == stream.size(); }));
    EXPECT_EQ(receivedBytes(), stream);
    owner->call([&] {
        EXPECT_LE(*std::max_element(watchedSizes.begin(), watchedSizes.end()), MonitorFeed::kBlockCap);
        EXPECT_EQ(link->watchSkipped(), 0u);
    });
}

// A correction stream from a caster, relayed to a receiver on a serial port that cannot keep
// up for a while: the serial transmit queue fills, the TCP side goes on reading (the loop that
// reads it also runs the port's transmitter, so it must not wait for the owner), and every byte
// reaches the receiver in order once it reads again.
TEST_F(LinkEndpointTest, TcpStreamReachesABusySerialPortWholeAndInOrder) {
    testing::PtyPair receiver;
    ports.link(7, receiver.nearPath());
    const LinkAddress serial = serialPort(7);
    relay = openOther(serial).writer();
    testing::TcpPeer caster;
    const LinkAddress address = tcpAt(caster.port());
    ASSERT_EQ(testing::openLink(*owner, *link, address), "");
    caster.accept();

    Bytes stream(400000);  // several times the transmit queue
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 29 + i / 251);
    caster.send(stream);
    EXPECT_TRUE(testing::eventually([&] { return readSize(read) == stream.size(); }))
        << "the TCP side stopped reading while the serial port was full";
    EXPECT_TRUE(receiver.readFar(stream.size(), 20s) == stream);
}

// A receiver floods its serial port while the window's thread is busy (a dialog, a long redraw):
// the TCP link on the same loop keeps relaying meanwhile, and once the owner is free every
// serial byte is read and relayed, in order.
TEST_F(LinkEndpointTest, SerialFloodWhileTheOwnerIsBusyLosesNoByteAndTheTcpSideKeepsRelaying) {
    testing::PtyPair receiver;
    ports.link(8, receiver.nearPath());
    const LinkAddress serial = serialPort(8);
    ASSERT_EQ(testing::openLink(*owner, *link, serial), "");
    testing::TcpPeer rover;
    const LinkAddress address = tcpAt(rover.port());
    openOther(address);
    rover.accept();

    std::promise<void> release;
    owner->post([busy = release.get_future().share()] { busy.wait(); });
    Bytes flood(200000);
    for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<std::uint8_t>(i * 71 + i / 499);
    std::thread farWriter([&] { receiver.writeFar(flood); });
    std::this_thread::sleep_for(50ms);  // the first notice is out on the busy owner
    const Bytes returned(30000, 0x24);
    rover.send(returned);
    EXPECT_TRUE(testing::eventually([&] { return readSize(otherRead) == returned.size(); }))
        << "the TCP side waited for the owner";
    release.set_value();
    farWriter.join();
    EXPECT_TRUE(testing::eventually([&] { return readSize(read) == flood.size(); }, 20s));
    std::lock_guard lock(readMutex);
    EXPECT_TRUE(read == flood) << "read " << read.size() << " bytes";
    EXPECT_EQ(otherRead, returned);
}

}  // namespace
}  // namespace tessaly
