// The sink's simulated rover: its solution over a driven clock, its answers to L6 messages, and
// the sink sending both back over a real socket on 127.0.0.1. What it sends is read back with the
// program's own return-stream monitor, as the window and the bridge will read it.
#include <gtest/gtest.h>

#include <signal.h>

#include "cli/simulated_rover.h"
#include "monitor/l6_report.h"
#include "monitor/rover_monitor.h"
#include "tests/cli_process.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::concat;

Bytes l6Message(std::uint8_t errStatus) { return test::l6Frame({.errStatus = errStatus}); }

// The solution the rover reports at `nowMs`, as the monitor reads it.
RoverSolution solutionAt(SimulatedRover& rover, std::int64_t nowMs) {
    RoverMonitor monitor;
    monitor.feed(rover.epoch(nowMs), 0);
    EXPECT_EQ(monitor.counters().navPvt, 1u);
    EXPECT_EQ(monitor.counters().gga, 1u);
    EXPECT_EQ(monitor.counters().malformed, 0u);
    EXPECT_EQ(monitor.counters().ggaFixes[static_cast<std::size_t>(monitor.solution()->fix)], 1u)
        << "GGA and NAV-PVT disagree";
    return *monitor.solution();
}

TEST(SimulatedRover, GainsFloatAndFixWithUsableL6AndLosesThemWithout) {
    SimulatedRover rover;
    EXPECT_EQ(solutionAt(rover, 0).fix, RoverFix::Fix3d);
    // One usable message a second from 1 s to 45 s; an erroneous one now and then is no gap.
    for (std::int64_t second = 1; second <= 45; ++second) {
        rover.correctionReceived(l6Message(second % 7 == 0 ? kErrStatusErroneous : kErrStatusErrorFree), true,
                                 second * 1000);
        const RoverFix fix = solutionAt(rover, second * 1000 + 500).fix;
        const RoverFix expected = second < 11 ? RoverFix::Dgnss : second < 31 ? RoverFix::Float : RoverFix::Fixed;
        EXPECT_EQ(fix, expected) << "at " << second << " s";
    }
    // The last usable message came at 45 s.
    const RoverSolution fixed = solutionAt(rover, 54999);
    EXPECT_EQ(fixed.fix, RoverFix::Fixed);
    EXPECT_EQ(fixed.hAccM, 0.014);
    EXPECT_EQ(fixed.numSv, 14u);
    EXPECT_EQ(fixed.correctionAgeS, 10.0);  // 9.999 s: the range of 5 to 10 s
    EXPECT_EQ(solutionAt(rover, 55000).fix, RoverFix::Fix3d);
    EXPECT_EQ(solutionAt(rover, 55000).correctionAgeS, std::nullopt);
    // L6 again: the 10 s before float start over.
    rover.correctionReceived(l6Message(kErrStatusErrorFree), true, 60000);
    EXPECT_EQ(solutionAt(rover, 60500).fix, RoverFix::Dgnss);
}

TEST(SimulatedRover, ErroneousOrBrokenL6IsNotUsedAndGivesNoFix) {
    SimulatedRover rover;
    Bytes broken = l6Message(kErrStatusErrorFree);
    broken[40] ^= 0x01;
    RoverMonitor monitor;
    for (std::int64_t second = 0; second < 40; ++second) {
        monitor.feed(concat({rover.correctionReceived(l6Message(kErrStatusErroneous), true, second * 1000),
                             rover.correctionReceived(l6Message(kErrStatusUnknown), true, second * 1000),
                             rover.correctionReceived(broken, false, second * 1000),
                             rover.correctionReceived(test::l6Frame({.payloadSize = 20}), true, second * 1000)}),
                     0);
    }
    EXPECT_EQ(monitor.status().l6, (CorrectionCounts{160, 0, 160, 0}));
    EXPECT_EQ(solutionAt(rover, 40000).fix, RoverFix::Fix3d);
    // An error-free report in a valid frame is used.
    monitor.feed(rover.correctionReceived(l6Message(kErrStatusErrorFree), true, 41000), 0);
    EXPECT_EQ(monitor.status().l6, (CorrectionCounts{161, 1, 160, 0}));
}

TEST(SinkCommand, RoverAnswersL6MessagesAndSendsItsSolution) {
    test::CliProcess sink({"sink", "--port", "0"});
    const std::uint16_t port = sink.listeningPort();
    ASSERT_NE(port, 0);
    test::TcpClient client(port);
    ASSERT_TRUE(client.connected());
    Bytes broken = l6Message(kErrStatusErrorFree);
    broken[100] ^= 0x01;
    client.send(concat({l6Message(kErrStatusErrorFree), l6Message(kErrStatusErroneous), broken,
                        test::navPvtFrame({})}));
    RoverMonitor monitor;
    // The answers come at once, the solution within the next second.
    while (monitor.status().l6.received < 3 || monitor.counters().gga < 1) {
        const Bytes block = client.receive();
        ASSERT_FALSE(block.empty()) << "the sink stopped sending";
        monitor.feed(block, 0);
    }
    EXPECT_EQ(monitor.status().l6, (CorrectionCounts{3, 1, 2, 0}));
    EXPECT_EQ(monitor.counters().correctionsByProtocol.size(), 1u);
    EXPECT_GE(monitor.counters().navPvt, 1u);
    EXPECT_EQ(monitor.counters().malformed, 0u);
    EXPECT_EQ(monitor.counters().framesDropped, 0u);
    EXPECT_EQ(monitor.solution()->fix, RoverFix::Dgnss);
    EXPECT_EQ(sink.stop(SIGTERM), 0);
    EXPECT_NE(sink.out().find("rover dgnss"), std::string::npos) << sink.out();
}

}  // namespace
}  // namespace tessaly
