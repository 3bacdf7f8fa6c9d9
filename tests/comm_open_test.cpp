// The serial component's life cycle: defaults, opening, closing, refusals, and properties that
// take effect while open.
#include <sys/file.h>

#include "tests/comm_fixture.h"

namespace tessaly::testing {
namespace {

std::string openFailure(TestOwnerThread& owner, TCommX& comm) {
    try {
        owner.call([&] { comm.PortOpen(); });
    } catch (const ECommError& error) {
        return error.what();
    }
    return "(opened)";
}

TEST_F(CommTest, NewComponentHasTheDefaults) {
    TCommX& c = create();
    owner->call([&] {
        EXPECT_EQ(c.PortNo(), 1);
        EXPECT_EQ(c.BitRate(), 9600);
        EXPECT_EQ(c.CharSize(), 8);
        EXPECT_EQ(c.ParityBit(), TCommParityBits::cpbNone);
        EXPECT_EQ(c.StopBit(), TCommStopBits::csb1);
        EXPECT_EQ(c.FlowCtrl(), TCommFlowCtrls::cfcRtsCts);
        EXPECT_EQ(c.TimeOutTrans(), 3000);
        EXPECT_EQ(c.TimeOutReceive(), 3000);
        EXPECT_EQ(c.XonChar(), 17);
        EXPECT_EQ(c.XoffChar(), 19);
        EXPECT_EQ(c.BufLenTrans(), 2048);
        EXPECT_EQ(c.BufLenReceive(), 2048);
        EXPECT_EQ(c.Handle(), ~std::uintptr_t{0});
        EXPECT_FALSE(c.OnReceive());
        EXPECT_EQ(c.GetTransLength(), 0);
        EXPECT_EQ(c.GetReceiveLength(), 0);
    });
}

TEST_F(CommTest, OpensTheMappedDeviceAndClosesTwiceHarmlessly) {
    create();
    open();
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(transmit({'o', 'k'}));
    EXPECT_EQ(pty.readFar(2, std::chrono::milliseconds(2000)), (Bytes{'o', 'k'}));
    close();
    EXPECT_FALSE(isOpen());
    close();
    EXPECT_FALSE(isOpen());
    EXPECT_TRUE(devicesLetGo());
    // Closed means free: it opens again at once.
    open();
    EXPECT_TRUE(isOpen());
}

TEST_F(CommTest, SecondOpenIsRefusedAndLeavesThePortWorking) {
    create();
    open();
    EXPECT_EQ(openFailure(*owner, *comm), "Port has been opened already");
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(transmit({0x55}));
    EXPECT_EQ(pty.readFar(1, std::chrono::milliseconds(2000)), (Bytes{0x55}));
}

TEST_F(CommTest, PortWithoutDeviceOrOutOfRangeCannotBeOpened) {
    TCommX& c = create();
    for (const std::int32_t portNo : {2, 0, -1, 100, 120}) {
        owner->call([&] { c.SetPortNo(portNo); });
        EXPECT_EQ(openFailure(*owner, c), "Port could not be opened") << "port " << portNo;
        EXPECT_FALSE(isOpen());
    }
    ports.link(3, ports.path() / "no-such-device");
    owner->call([&] { c.SetPortNo(3); });
    EXPECT_EQ(openFailure(*owner, c), "Port could not be opened");
}

TEST_F(CommTest, PortHeldElsewhereCannotBeOpened) {
    create();
    {
        ForeignLock otherProgram(pty.nearPath());
        EXPECT_EQ(openFailure(*owner, *comm), "Port could not be opened");
        EXPECT_FALSE(isOpen());
    }
    open();
    // The program's other link is refused too.
    std::unique_ptr<TCommX> other;
    owner->call([&] { other = std::make_unique<TCommX>(CommEnvironment{owner, loop, {}, {}, [&](std::int32_t) {
                                                           return ports.portPath(1);
                                                       }}); });
    EXPECT_EQ(openFailure(*owner, *other), "Port could not be opened");
    owner->call([&] { other.reset(); });
}

TEST_F(CommTest, BitRateBelowTenFailsWithItsOwnMessageAndLeavesNothingRunning) {
    TCommX& c = create();
    owner->call([&] { c.SetBitRate(9); });
    EXPECT_EQ(openFailure(*owner, c), "Error was generated with configuration of Baud rate");
    EXPECT_FALSE(isOpen());
    EXPECT_TRUE(devicesLetGo());
    // The port is not left claimed.
    ForeignLock nobodyHoldsIt(pty.nearPath());
}

TEST_F(CommTest, RefusedBitRateWhileOpenKeepsThePortRunning) {
    TCommX& c = create();
    open();
    EXPECT_THROW(owner->call([&] { c.SetBitRate(0); }), ECommError);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(owner->call([&] { return c.BitRate(); }), 0);  // stored, as any refused value
    EXPECT_TRUE(transmit({1, 2, 3}));
    EXPECT_EQ(pty.readFar(3, std::chrono::milliseconds(2000)), (Bytes{1, 2, 3}));
    owner->call([&] { c.SetBitRate(115200); });
}

TEST_F(CommTest, SettingsWrittenWhileClosedAreAppliedAtOpen) {
    TCommX& c = create(/*record=*/true);
    owner->call([&] {
        c.SetBitRate(115200);
        c.SetParityBit(TCommParityBits::cpbEven);
        c.SetStopBit(TCommStopBits::csb2);
        c.SetCharSize(7);
        c.SetFlowCtrl(TCommFlowCtrls::cfcXonXoff);
        c.SetXonChar(0x11);
        c.SetXoffChar(0x13);
    });
    EXPECT_FALSE(recorder);  // nothing touched a device
    open();
    const SerialLineSettings s = recorder->lastSettings();
    EXPECT_EQ(s.bitRate, 115200);
    EXPECT_EQ(s.parity, SerialLineSettings::Parity::Even);
    EXPECT_EQ(s.stopBits, SerialLineSettings::StopBits::Two);
    EXPECT_EQ(s.charSize, 7);
    EXPECT_EQ(s.handshake, SerialLineSettings::Handshake::XonXoff);
    EXPECT_EQ(s.xonLimit, 512);
}

TEST_F(CommTest, ReceiveBufferSizeSetsTheXonXoffLimits) {
    TCommX& c = create(/*record=*/true);
    owner->call([&] { c.SetFlowCtrl(TCommFlowCtrls::cfcXonXoff); });
    open();
    owner->call([&] { c.SetBufLenReceive(4000); });
    EXPECT_EQ(recorder->lastSettings().xonLimit, 1000);
    EXPECT_EQ(recorder->lastSettings().xoffLimit, 1000);
}

TEST_F(CommTest, OneAndAHalfStopBitsNeedFiveDataBits) {
    TCommX& c = create();
    open();
    try {
        owner->call([&] { c.SetStopBit(TCommStopBits::csb1p5); });
        ADD_FAILURE() << "accepted";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(),
                     "Error was generated with configuration of the number of communication stop bits");
    }
    EXPECT_TRUE(isOpen());
}

TEST_F(CommTest, WritingThePortNumberWhileOpenReopensOnTheNewNumber) {
    PtyPair second;
    ports.link(2, second.nearPath());
    TCommX& c = create();
    open();
    owner->call([&] { c.SetPortNo(2); });
    EXPECT_TRUE(isOpen());
    EXPECT_TRUE(transmit({'2'}));
    EXPECT_EQ(second.readFar(1, std::chrono::milliseconds(2000)), (Bytes{'2'}));
    // The first port was given up.
    ForeignLock firstIsFree(pty.nearPath());
}

TEST_F(CommTest, ClosingLowersDtrBeforeRts) {
    create(/*record=*/true);
    open();
    close();
    std::vector<RecordingDevice::Event::Kind> lines;
    for (const auto& event : recorder->events()) {
        if (event.kind != RecordingDevice::Event::Kind::Write &&
            event.kind != RecordingDevice::Event::Kind::PurgeOutput) {
            lines.push_back(event.kind);
        }
    }
    EXPECT_EQ(lines, (std::vector{RecordingDevice::Event::Kind::DtrDown,
                                  RecordingDevice::Event::Kind::RtsDown}));
}

TEST_F(CommTest, ModemLinesOfAClosedPortReadFalse) {
    TCommX& c = create();
    owner->call([&] {
        EXPECT_FALSE(c.IsCtsSignal());
        EXPECT_FALSE(c.IsDsrSignal());
        EXPECT_FALSE(c.IsRingSignal());
        EXPECT_FALSE(c.IsRlsdSignal());
        c.SetRtsSignal(true);
        c.SetDtrSignal(true);
        c.SendBreak();  // returns at once when closed
        EXPECT_EQ(c.ReceiveChar(), -1);
    });
}

TEST_F(CommTest, DestroyingTheComponentWhileOpenEndsItsWorkOnTheLoop) {
    create();
    open();
    pty.writeFar({'x'});  // a notice may be on its way while the component goes
    owner->call([&] { comm.reset(); });
    EXPECT_TRUE(devicesLetGo());
}

TEST_F(CommTest, WorkOnTheLoopEndsWhenTheOwnerThreadShutsDown) {
    create();
    std::atomic<int> notices{0};
    owner->call([&] { comm->SetOnReceive([&](TCustomCommX&, std::int32_t) { ++notices; }); });
    open();
    // The owner thread is busy, so the receive watch's notice waits for it; then it goes.
    owner->post([&] {
        pty.writeFar({'x'});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        owner->shutdown();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(notices, 0);
    comm->PortClose();  // the owner thread is gone; this thread stands in for it
    comm.reset();
    EXPECT_TRUE(devicesLetGo());
}

}  // namespace
}  // namespace tessaly::testing
