// The serial component moving bytes: chunking and the bound of the transmit queue, discarding
// queued output, receive notices, ReceiveBlock, line errors, breaks and an unplugged device.
#include <sys/resource.h>

#include <future>
#include <thread>

#include "tests/comm_fixture.h"

namespace tessaly::testing {

Bytes everyByteValue(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
    return bytes;
}

namespace {

using std::chrono::milliseconds;
using Kind = RecordingDevice::Event::Kind;

TEST_F(CommTest, LargeBlockIsQueuedInChunksOfBufLenTrans) {
    create(/*record=*/true);
    open();
    recorder->holdWrites();
    const Bytes block = everyByteValue(5000);
    EXPECT_TRUE(transmit(block));
    EXPECT_EQ(owner->call([&] { return comm->GetTransLength(); }), 5000);
    recorder->releaseWrites();
    EXPECT_EQ(pty.readFar(block.size(), milliseconds(3000)), block);
    // The last write is recorded just after its bytes reach the far end.
    const std::vector<std::size_t> chunks = {2048, 2048, 904};
    EXPECT_TRUE(eventually([&] { return recorder->writeSizes() == chunks; }));
    EXPECT_EQ(recorder->writeSizes(), chunks);
    EXPECT_TRUE(eventually([&] { return owner->call([&] { return comm->GetTransLength(); }) == 0; }));
}

TEST_F(CommTest, EmptyAndClosedTransmissions) {
    TCommX& c = create();
    owner->call([&] {
        EXPECT_FALSE(c.TransString("abc"));
        EXPECT_FALSE(c.TransChar('a'));
    });
    open();
    owner->call([&] {
        EXPECT_TRUE(c.TransString(""));
        EXPECT_TRUE(c.TransBlock(nullptr, 0));
        EXPECT_FALSE(c.TransBlock(nullptr, 4));
        EXPECT_EQ(c.GetTransLength(), 0);
    });
}

TEST_F(CommTest, CallerWaitsWhileThirtyTwoChunksAreOutstandingAndKeepsEventsFlowing) {
    create(/*record=*/true);
    open();
    recorder->holdWrites();
    EXPECT_TRUE(transmit(Bytes(32 * 2048, 0xA5)));

    std::promise<bool> result;
    owner->post([&] {
        const Bytes more(10, 0x5A);
        result.set_value(comm->TransBlock(more.data(), 10));
    });
    std::atomic<bool> eventRan{false};
    owner->post([&] { eventRan = true; });
    auto returned = result.get_future();
    // The second event runs while TransBlock waits: the wait processes events.
    EXPECT_TRUE(eventually([&] { return eventRan.load(); }));
    EXPECT_EQ(returned.wait_for(milliseconds(100)), std::future_status::timeout);

    recorder->releaseWrites();
    ASSERT_EQ(returned.wait_for(milliseconds(3000)), std::future_status::ready);
    EXPECT_TRUE(returned.get());
    const Bytes arrived = pty.readFar(32 * 2048 + 10, milliseconds(5000));
    ASSERT_EQ(arrived.size(), 32u * 2048 + 10);
    EXPECT_EQ(Bytes(arrived.end() - 10, arrived.end()), Bytes(10, 0x5A));
}

TEST_F(CommTest, ClearTransBufDiscardsWhatIsQueued) {
    TCommX& c = create();
    owner->call([&] { c.SetTimeOutTrans(30000); });
    open();
    // Twenty chunks, chunk k made of the byte k; the unread pty takes only the first few.
    Bytes block;
    for (std::uint8_t k = 1; k <= 20; ++k) block.insert(block.end(), 2048, k);
    EXPECT_TRUE(transmit(block));
    EXPECT_TRUE(eventually([&] {
        const auto first = owner->call([&] { return c.GetTransLength(); });
        std::this_thread::sleep_for(milliseconds(20));
        return first == owner->call([&] { return c.GetTransLength(); });
    }));
    EXPECT_GT(owner->call([&] { return c.GetTransLength(); }), 0);
    owner->call([&] { c.ClearTransBuf(); });
    EXPECT_EQ(owner->call([&] { return c.GetTransLength(); }), 0);

    EXPECT_TRUE(transmit(Bytes(4, 0xEE)));
    const Bytes arrived = pty.drainFar(milliseconds(200));
    ASSERT_GE(arrived.size(), 4u);
    EXPECT_EQ(Bytes(arrived.end() - 4, arrived.end()), Bytes(4, 0xEE));
    // What got out before the purge is in order; the chunks behind it never follow.
    for (std::size_t i = 0; i + 4 < arrived.size(); ++i) {
        EXPECT_LE(arrived[i], 10) << "at " << i;
        if (i > 0) {
            EXPECT_GE(arrived[i], arrived[i - 1]) << "at " << i;
        }
    }
}

TEST_F(CommTest, ErrorOfAWriteCutShortByClearTransBufDoesNotDeadlock) {
    create(/*record=*/true);
    std::atomic<std::int32_t> errorBits{0};
    std::atomic<bool> onOwner{false};
    owner->call([&] {
        comm->SetOnError([&](TCustomCommX&, std::int32_t bits) {
            errorBits = bits;
            onOwner = owner->onOwnerThread();
        });
    });
    open();
    recorder->holdWrites();
    EXPECT_TRUE(transmit({1, 2, 3}));
    ASSERT_TRUE(eventually([&] { return recorder->writeWaiting(); }));
    std::promise<void> cleared;
    owner->post([&] {
        comm->ClearTransBuf();
        cleared.set_value();
    });
    // The drain is under way when the write fails; its error notice must not wait for the drain.
    std::this_thread::sleep_for(milliseconds(50));
    recorder->releaseWrites(/*parityError=*/true);
    ASSERT_EQ(cleared.get_future().wait_for(milliseconds(3000)), std::future_status::ready);
    EXPECT_TRUE(eventually([&] { return errorBits.load() != 0; }));
    EXPECT_EQ(errorBits, kCommErrParity);
    EXPECT_TRUE(onOwner);
}

// The far end never reads, so the transmitter waits for the device. The close ends that wait at
// once, however long the transmit time-out.
TEST_F(CommTest, CloseWhileATransmitWaitsForTheDeviceEndsPromptly) {
    TCommX& c = create();
    owner->call([&] { c.SetTimeOutTrans(30000); });
    open();
    EXPECT_TRUE(transmit(Bytes(20 * 2048, 0x33)));
    ASSERT_TRUE(eventually([&] {
        const auto first = owner->call([&] { return c.GetTransLength(); });
        std::this_thread::sleep_for(milliseconds(20));
        return first > 0 && first == owner->call([&] { return c.GetTransLength(); });
    }));
    const auto began = std::chrono::steady_clock::now();
    close();
    EXPECT_LT(std::chrono::steady_clock::now() - began, milliseconds(500));
    EXPECT_TRUE(eventually([&] { return devicesLetGo(); }, milliseconds(500)));
}

// A receiver that takes nothing: each chunk waits TimeOutTrans for the device and the rest of it
// is dropped, so the queue empties; once the receiver reads again the port writes again.
TEST_F(CommTest, WhatDoesNotGetOutInTheTransmitTimeOutIsDroppedAndThePortGoesOn) {
    TCommX& c = create();
    owner->call([&] {
        c.SetTimeOutTrans(100);
        c.SetBufLenTrans(32 * 1024);
    });
    open();
    EXPECT_TRUE(transmit(Bytes(8 * 32 * 1024, 0x44)));
    EXPECT_TRUE(eventually([&] { return owner->call([&] { return c.GetTransLength(); }) == 0; }));
    const Bytes got = pty.drainFar(milliseconds(100));
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), 8u * 32 * 1024);
    EXPECT_TRUE(transmit({0x7E}));
    EXPECT_EQ(pty.readFar(1, milliseconds(2000)), (Bytes{0x7E}));
}

TEST_F(CommTest, ArrivingBytesAreAnnouncedOnTheOwnerThreadAndReadInOneBlock) {
    create();
    Bytes received;
    std::vector<std::int32_t> sizes;
    bool onOwner = true;
    owner->call([&] {
        comm->SetOnReceive([&](TCustomCommX& sender, std::int32_t size) {
            onOwner = onOwner && owner->onOwnerThread() && &sender == comm.get();
            sizes.push_back(size);
            Bytes block(static_cast<std::size_t>(size));
            const std::int32_t got = sender.ReceiveBlock(block.data(), size);
            if (got > 0) received.insert(received.end(), block.begin(), block.begin() + got);
        });
    });
    open();
    pty.writeFar({'$', 'G', 'N', 0x00, 0xFF});
    EXPECT_TRUE(eventually([&] { return owner->call([&] { return received.size(); }) == 5; }));
    owner->call([&] {
        EXPECT_EQ(received, (Bytes{'$', 'G', 'N', 0x00, 0xFF}));
        EXPECT_TRUE(onOwner);
        for (const std::int32_t size : sizes) EXPECT_GT(size, 0);
    });
}

TEST_F(CommTest, BytesLeftUnreadAreAnnouncedAgainOnlyWithTheNextArrival) {
    create();
    std::vector<std::int32_t> sizes;
    owner->call([&] {
        comm->SetOnReceive([&](TCustomCommX&, std::int32_t size) { sizes.push_back(size); });
    });
    open();
    pty.writeFar({1, 2, 3});
    ASSERT_TRUE(eventually([&] { return owner->call([&] { return sizes.size(); }) == 1; }));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(owner->call([&] { return sizes.size(); }), 1u);
    pty.writeFar({4, 5});
    ASSERT_TRUE(eventually([&] { return owner->call([&] { return sizes.size(); }) == 2; }));
    EXPECT_EQ(owner->call([&] { return sizes.back(); }), 5);
}

TEST_F(CommTest, NoReceiveEventAfterPortClose) {
    create();
    int events = 0;
    owner->call([&] { comm->SetOnReceive([&](TCustomCommX&, std::int32_t) { ++events; }); });
    open();
    owner->call([&] {
        pty.writeFar({'a'});
        // The receive watch's notice now waits for this thread; the port closes first.
        std::this_thread::sleep_for(milliseconds(50));
        comm->PortClose();
    });
    owner->call([] {});
    EXPECT_EQ(owner->call([&] { return events; }), 0);
}

TEST_F(CommTest, ReceiveBlockTimesOutWithNothing) {
    TCommX& c = create();
    owner->call([&] { c.SetTimeOutReceive(150); });
    open();
    owner->call([&] {
        std::uint8_t buffer[8];
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.ReceiveBlock(buffer, 8), 0);
        EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(140));
        EXPECT_EQ(c.ReceiveChar(), -1);
        EXPECT_EQ(c.ReceiveBlock(nullptr, 8), -1);
    });
    pty.writeFar({0x7F});
    EXPECT_EQ(owner->call([&] { return c.ReceiveChar(); }), 0x7F);
    close();
    std::uint8_t buffer[1];
    EXPECT_EQ(owner->call([&] { return c.ReceiveBlock(buffer, 1); }), -1);
}

TEST_F(CommTest, ReceiveBlockWaitsForTheRequestedCountAcrossArrivals) {
    TCommX& c = create();
    open();
    std::thread later([&] {
        pty.writeFar({1, 2});
        std::this_thread::sleep_for(milliseconds(30));
        pty.writeFar({3, 4});
    });
    Bytes buffer(4);
    EXPECT_EQ(owner->call([&] { return c.ReceiveBlock(buffer.data(), 4); }), 4);
    later.join();
    EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4}));
}

TEST_F(CommTest, EveryByteValuePassesBothWaysUnchangedAndInOrder) {
    TCommX& c = create();
    const Bytes pattern = everyByteValue(1 << 20);
    Bytes received;
    owner->call([&] {
        c.SetOnReceive([&](TCustomCommX& sender, std::int32_t size) {
            const std::size_t at = received.size();
            received.resize(at + static_cast<std::size_t>(size));
            const std::int32_t got = sender.ReceiveBlock(received.data() + at, size);
            received.resize(at + static_cast<std::size_t>(std::max(got, 0)));
        });
    });
    open();

    std::thread farWriter([&] { pty.writeFar(pattern); });
    EXPECT_TRUE(eventually([&] { return owner->call([&] { return received.size(); }) >= pattern.size(); },
                           milliseconds(20000)));
    farWriter.join();
    owner->call([&] { EXPECT_TRUE(received == pattern) << "received " << received.size() << " bytes"; });

    Bytes arrived;
    std::thread farReader([&] { arrived = pty.readFar(pattern.size(), milliseconds(20000)); });
    EXPECT_TRUE(transmit(pattern));
    farReader.join();
    EXPECT_EQ(arrived.size(), pattern.size());
    EXPECT_TRUE(arrived == pattern);
}

TEST_F(CommTest, LineErrorsAndBreaksReachTheirEvents) {
    create(/*record=*/true);
    std::vector<std::int32_t> errors;
    int breaks = 0;
    owner->call([&] {
        comm->SetOnError([&](TCustomCommX&, std::int32_t bits) { errors.push_back(bits); });
        comm->SetOnBreak([&](TCustomCommX&) { ++breaks; });
    });
    open();
    recorder->addLineEvents({.overrun = 1, .parity = 0, .frame = 2, .brk = 1});
    pty.writeFar({0x00});  // errors and breaks come with a byte that wakes the receive watch
    ASSERT_TRUE(eventually([&] { return owner->call([&] { return breaks; }) == 1; }));
    owner->call([&] { EXPECT_EQ(errors, (std::vector<std::int32_t>{kCommErrOverrun | kCommErrFrame})); });

    // Asking for the queue length resets the error flags without reporting them.
    recorder->addLineEvents({.overrun = 0, .parity = 3, .frame = 0, .brk = 0});
    owner->call([&] { comm->GetReceiveLength(); });
    pty.writeFar({0x01});
    std::this_thread::sleep_for(milliseconds(50));
    owner->call([&] { EXPECT_EQ(errors.size(), 1u); });
}

TEST_F(CommTest, HalfDuplexFramesABurstWithOneRtsRaiseAndOneDrop) {
    TCommX& c = create(/*record=*/true);
    owner->call([&] {
        c.SetFlowCtrl(TCommFlowCtrls::cfcHalfHigh);
        c.SetBufLenTrans(16);
    });
    open();
    EXPECT_TRUE(transmit(Bytes(48, 'h')));
    EXPECT_EQ(pty.readFar(48, milliseconds(3000)).size(), 48u);
    ASSERT_TRUE(eventually([&] {
        const auto events = recorder->events();
        return !events.empty() && events.back().kind == Kind::RtsDown;
    }));
    std::vector<Kind> kinds;
    for (const auto& event : recorder->events()) {
        if (event.kind != Kind::PurgeOutput) kinds.push_back(event.kind);
    }
    EXPECT_EQ(kinds, (std::vector{Kind::RtsUp, Kind::Write, Kind::Write, Kind::Write, Kind::RtsDown}));
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(CommTest, UnpluggedDeviceIsReportedOnceWithoutSpinning) {
    create();
    std::vector<std::int32_t> errors;
    owner->call([&] { comm->SetOnError([&](TCustomCommX&, std::int32_t bits) { errors.push_back(bits); }); });
    open();
    pty.closeFar();
    ASSERT_TRUE(eventually([&] { return owner->call([&] { return errors.size(); }) == 1; }));
    const double cpuBefore = processCpuSeconds();
    std::this_thread::sleep_for(milliseconds(300));
    // A thread spinning on the hang-up would burn the whole 300 ms.
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.1);
    owner->call([&] {
        EXPECT_EQ(errors, (std::vector<std::int32_t>{kCommErrDeviceLost}));
        std::uint8_t buffer[4];
        EXPECT_EQ(comm->ReceiveBlock(buffer, 4), -1);
        comm->PortClose();
    });
    EXPECT_FALSE(isOpen());
}

}  // namespace
}  // namespace tessaly::testing
