#include <gtest/gtest.h>

#include "app/monitor_view.h"
#include "monitor/receiver_monitor.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::L6Fields;

class MonitorViewTest : public ::testing::Test {
protected:
    MonitorViewTest() {
        view.setNameLists(NameLists::fromSettings(kDefaultSvidPrn, kDefaultMfgId));
        view.setTitles();
        view.onGridChanged = [this](Channel c) { ++changes[c == Channel::A ? 0 : 1]; };
    }
    void feed(L6Fields f) { monitor.scanBlock(test::l6Frame(f)); }
    static L6Fields onChannel(std::uint8_t chn, std::uint8_t errStatus) {
        L6Fields f;
        f.chn = chn;
        f.chName = chn;
        f.errStatus = errStatus;
        return f;
    }
    const std::string& value(Channel c, int row) const { return view.grid(c).cell(kValueColumn, row); }
    std::vector<std::string> values(Channel c) const {
        std::vector<std::string> all;
        for (int row = 0; row < kGridUsedRows; ++row) all.push_back(value(c, row));
        return all;
    }

    MonitorView view;
    ReceiverMonitor monitor{[this] {
        MonitorOutputs o;
        o.view = &view;
        o.statusLine = &view;
        return o;
    }()};
    int changes[2] = {0, 0};
};

TEST_F(MonitorViewTest, ErrorFreeReportFillsEveryRowOfItsChannelOnly) {
    L6Fields f = onChannel(0, 1);
    f.svid = 2;
    f.timeTag = 4294967295u;
    f.bitErrCorr = 12;
    f.header = {0x1A, 0xCF, 0xFC, 0x1D, 194, 0b101'01'00'1, 0x80};  // vendor 5, facility 1
    feed(f);
    EXPECT_EQ(values(Channel::A),
              (std::vector<std::string>{"A", "1", "4294967295", "Error-free", "12", "2  (PRN 194)", "0",
                                        "45.500  (45.50)", "L6D", "72", "194", "5 (CLAS)",
                                        "1 (Hitachi-Ota)", "1 (first data part)", "1 (not available)"}));
    EXPECT_EQ(values(Channel::B), std::vector<std::string>(kGridUsedRows, ""));
    EXPECT_EQ(view.grid(Channel::B).cell(kTitleColumn, 7), "C/NO[dBHz]");
    EXPECT_EQ(changes[1], 0);
}

TEST_F(MonitorViewTest, PrnFromTheListOnlyWhileRowTenIsEmpty) {
    feed(onChannel(1, 1));  // row 10 was empty when row 5 was written
    EXPECT_EQ(value(Channel::B, kRowSvid), "2  (PRN 194)");
    feed(onChannel(1, 1));  // now row 10 holds the header's PRN
    EXPECT_EQ(value(Channel::B, kRowSvid), "2");
    L6Fields bad = onChannel(1, 2);
    bad.bitErrCorr = 7;
    feed(bad);
    EXPECT_EQ(value(Channel::B, kRowBitErrCorr), "-");
    for (int row = kRowPrn; row <= kRowAlert; ++row) EXPECT_EQ(value(Channel::B, row), "") << row;
    L6Fields next = onChannel(1, 1);
    next.svid = 10;
    feed(next);
    EXPECT_EQ(value(Channel::B, kRowSvid), "10  (PRN 202)");
}

TEST_F(MonitorViewTest, SvidWithoutListEntryShowsTheNumberOnly) {
    for (std::uint8_t svid : {0, 11, 255}) {
        view.clearValues();
        L6Fields f = onChannel(0, 2);
        f.svid = svid;
        feed(f);
        EXPECT_EQ(value(Channel::A, kRowSvid), std::to_string(svid));
    }
    L6Fields f = onChannel(2, 2);  // receiver channels 2 and 3 never get the list's PRN
    f.svid = 1;
    feed(f);
    EXPECT_EQ(value(Channel::B, kRowSvid), "1");
}

TEST_F(MonitorViewTest, ReportWithoutHeaderLeavesHeaderRowsAndStatusThreeLeavesRowThree) {
    feed(onChannel(0, 1));
    const auto before = values(Channel::A);
    L6Fields noHeader = onChannel(0, 1);
    noHeader.header = {0, 0, 0, 0, 99, 0xFF, 0xFF};
    feed(noHeader);
    for (int row = kRowPrn; row <= kRowAlert; ++row) EXPECT_EQ(value(Channel::A, row), before[row]) << row;

    feed(onChannel(0, 2));
    feed(onChannel(0, 3));
    EXPECT_EQ(value(Channel::A, kRowErrorStatus), "Erroneous");
    EXPECT_EQ(value(Channel::A, kRowBitErrCorr), "-");
}

TEST_F(MonitorViewTest, ChannelNameComesFromChNameAndMessageNameFromMsgName) {
    L6Fields f = onChannel(1, 1);
    f.chName = 0;
    f.msgName = 1;
    feed(f);
    EXPECT_EQ(value(Channel::B, 0), "A");
    EXPECT_EQ(value(Channel::B, 8), "L6E");
    EXPECT_EQ(value(Channel::B, 12), "1 (Hitachi-Ota)");
}

TEST_F(MonitorViewTest, CnoRowUsesTheUsersDecimalSeparatorAndPadsTheAverage) {
    view.setDecimalSeparator(",");
    L6Fields f = onChannel(0, 1);
    f.cnoRaw = 0x0980;  // 9.5 dBHz
    feed(f);
    EXPECT_EQ(value(Channel::A, 7), "9,500  ( 9,50)");
}

TEST_F(MonitorViewTest, SilentChannelIsEmptiedOnceAtTheFifthTick) {
    feed(onChannel(0, 1));
    feed(onChannel(1, 1));
    for (int tick = 1; tick <= 4; ++tick) {
        view.timerTick();
        if (tick == 3) feed(onChannel(1, 1));  // channel B speaks again in time
    }
    EXPECT_EQ(value(Channel::A, 0), "A");
    view.timerTick();
    EXPECT_EQ(values(Channel::A), std::vector<std::string>(kGridUsedRows, ""));
    EXPECT_EQ(value(Channel::B, 0), "B") << "B reported two ticks ago";
    EXPECT_EQ(view.grid(Channel::A).cell(kTitleColumn, 0), "Channel name");

    // Later ticks do not empty it again: a report that arrives stays.
    const int changesBefore = changes[0];
    for (int tick = 0; tick < 20; ++tick) view.timerTick();
    EXPECT_EQ(changes[0], changesBefore);
}

TEST_F(MonitorViewTest, WarningIconFromOpenUntilTheFirstGoodPair) {
    std::uint32_t clock = 1000;
    view.setLastIdleCheck(clock);
    EXPECT_FALSE(view.idleCheck(clock += 100, true, monitor)) << "not more than 100 ms since the last";
    // Input open, no pair yet: reception 0 differs from the icon state 1.
    EXPECT_EQ(view.idleCheck(clock += 1, true, monitor), StatusIconKind::Warning);
    EXPECT_FALSE(view.idleCheck(clock += 200, true, monitor)) << "shown once";
    feed(onChannel(0, 2));
    feed(onChannel(1, 1));
    EXPECT_EQ(view.idleCheck(clock += 200, true, monitor), StatusIconKind::Good);
    feed(onChannel(0, 2));
    feed(onChannel(1, 2));
    EXPECT_EQ(view.idleCheck(clock += 200, true, monitor), StatusIconKind::Warning);

    // The input link closed with its Close button: the good icon at the next check.
    view.markInputClosed();
    EXPECT_EQ(view.idleCheck(clock += 200, false, monitor), StatusIconKind::Good);
    EXPECT_FALSE(monitor.decoder().receptionGood());
    EXPECT_FALSE(view.idleCheck(clock += 200, false, monitor));
}

TEST_F(MonitorViewTest, IdleCheckSpacingSurvivesTheClockWrap) {
    view.setLastIdleCheck(0xFFFFFFF0u);
    EXPECT_FALSE(view.idleCheck(0x00000050u, true, monitor)) << "96 ms across the wrap";
    EXPECT_TRUE(view.idleCheck(0x00000060u, true, monitor)) << "112 ms across the wrap";
}

TEST(CellHighlight, ColoursSignalTrouble) {
    const struct {
        int column, row;
        const char* text;
        CellHighlight expected;
    } cases[] = {
        {1, kRowErrorStatus, "Error-free", CellHighlight::None},
        {1, kRowErrorStatus, "Unknown", CellHighlight::Red},
        {1, kRowErrorStatus, "Erroneous", CellHighlight::Red},
        {1, kRowErrorStatus, "", CellHighlight::None},
        {1, kRowBitErrCorr, "0", CellHighlight::None},
        {1, kRowBitErrCorr, "-", CellHighlight::None},
        {1, kRowBitErrCorr, "1", CellHighlight::Yellow},
        {1, kRowBitErrCorr, "12", CellHighlight::Yellow},
        {1, kRowAlert, "1 (not available)", CellHighlight::Red},
        {1, kRowAlert, "0 (available)", CellHighlight::None},
        {1, kRowAlert, "", CellHighlight::None},
        {0, kRowErrorStatus, "Error status", CellHighlight::None},
        {1, kRowSvid, "1", CellHighlight::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cellHighlight(c.column, c.row, c.text), c.expected) << c.row << " " << c.text;
    }
}

TEST(NameLists, SplitTrimsAndNumbersItems) {
    EXPECT_EQ(splitNameList(" 193 , 194,"), (std::vector<std::string>{"193", "194"}));
    EXPECT_EQ(splitNameList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitNameList(",a"), (std::vector<std::string>{"", "a"}));
    EXPECT_EQ(splitNameList("\t x\r\n"), (std::vector<std::string>{"x"}));
    EXPECT_TRUE(splitNameList("").empty());

    const NameLists lists = NameLists::fromSettings(kDefaultSvidPrn, kDefaultMfgId);
    EXPECT_FALSE(lists.prnOfSvid(0));
    EXPECT_EQ(lists.prnOfSvid(1), "193");
    EXPECT_EQ(lists.prnOfSvid(10), "202");
    EXPECT_FALSE(lists.prnOfSvid(11));
    EXPECT_EQ(lists.nameOfFacility(0), "Hitachi-Ota");
    EXPECT_EQ(lists.nameOfFacility(3), "Kobe");
    EXPECT_FALSE(lists.nameOfFacility(4));
}

}  // namespace
}  // namespace tessaly
