#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <sys/resource.h>

#include <csignal>

#include "monitor/civil_time.h"
#include "monitor/csv_log.h"
#include "monitor/csv_row.h"
#include "monitor/raw_capture.h"
#include "tests/fake_outputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

L6ChannelReport reportOf(std::uint8_t chn, std::uint8_t errStatus) {
    L6ChannelReport r;
    r.version = 1;
    r.svid = chn == 0 ? 2 : 4;
    r.cno = 45.5f;
    r.timeTag = 4000000000u;
    r.groupDelay = 72;
    r.bitErrCorr = 3;
    r.chn = chn;
    r.errStatus = errStatus;
    r.chName = chn;
    r.prn = chn == 0 ? 194 : 196;
    r.vendorId = 5;
    r.facilityId = 1;
    r.subframeIndicator = 1;
    r.alertFlag = 0;
    return r;
}

std::size_t commas(const std::string& s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), ',')); }

TEST(CsvRow, PairOfErrorFreeReports) {
    const auto row = csvRow(reportOf(0, 1), reportOf(1, 1), "2024/05/01 12:34:56.7");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row,
              "2024/05/01 12:34:56.7,"
              "1,2,45.500,4000000000,72,3,0,0,1,194,5,1,1,0,"
              "1,4,45.500,4000000000,72,3,1,0,1,196,5,1,1,0,0\r\n");
}

TEST(CsvRow, ErroneousReportLeavesItsHeaderFieldsEmpty) {
    const auto row = csvRow(reportOf(0, 2), reportOf(1, 2), "t");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, "t,1,2,45.500,4000000000,72,3,0,0,2,,,,,,1,4,45.500,4000000000,72,3,1,0,2,,,,,,1\r\n");
    EXPECT_EQ(commas(*row), 29u);
}

TEST(CsvRow, MissingChannelIsAnEmptyBlockButCountsForTheFlag) {
    // B missed: A evaluated against the A before it; only block A is filled.
    auto row = csvRow(reportOf(0, 1), reportOf(0, 2), "t");
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->ends_with("1,194,5,1,1,0" + std::string(15, ',') + "0\r\n")) << *row;
    EXPECT_EQ(commas(*row), 29u);
    // A missed: B evaluated against the B before it; only block B is filled.
    row = csvRow(reportOf(1, 2), reportOf(1, 2), "t");
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->starts_with("t" + std::string(15, ',') + "1,4,")) << *row;
    EXPECT_EQ(row->substr(row->size() - 4), ",1\r\n");
    EXPECT_EQ(commas(*row), 29u);
}

TEST(CsvRow, UnknownOnBothWritesNothingAndUnknownBlockIsEmpty) {
    EXPECT_FALSE(csvRow(reportOf(0, 0), reportOf(1, 0), "t"));
    // The first A after a reset against the all-zero report: both blocks empty.
    const auto row = csvRow(L6ChannelReport{}, reportOf(0, 1), "t");
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, "t" + std::string(28, ',') + ",0\r\n");
}

TEST(CsvRow, ReportWithoutHeaderRepeatsTheLastHeaderWithAlert255) {
    L6ChannelReport a = reportOf(0, 1);
    a.alertFlag = kAlertNoHeader;
    EXPECT_EQ(csvReportBlock(a), "1,2,45.500,4000000000,72,3,0,0,1,194,5,1,1,255");
}

TEST(CsvRow, CnoHasThreeDecimalsInAtLeastFiveCharacters) {
    L6ChannelReport r = reportOf(0, 2);
    r.cno = 9.5f;
    EXPECT_EQ(csvReportBlock(r).substr(0, 10), "1,2,9.500,");
    r.cno = 0.0f;
    EXPECT_EQ(csvReportBlock(r).substr(0, 10), "1,2,0.000,");
    r.cno = 255.99609375f;  // the largest raw value, 0xFFFF / 256
    EXPECT_EQ(csvReportBlock(r).substr(0, 12), "1,2,255.996,");
    r.cno = 45.12890625f;  // 0x2D21 / 256: the third decimal is rounded
    EXPECT_EQ(csvReportBlock(r).substr(0, 11), "1,2,45.129,");
    r.cno = 45.0625f;  // 0x2D10 / 256, exactly halfway: to even, as printf does
    EXPECT_EQ(csvReportBlock(r).substr(0, 11), "1,2,45.062,");
}

class CsvTimeTest : public ::testing::Test {
protected:
    void SetUp() override { setZone("UTC0"); }
    void TearDown() override { setZone("UTC0"); }
    static void setZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    static std::chrono::system_clock::time_point at(long long millis) {
        return std::chrono::system_clock::time_point(std::chrono::milliseconds(millis));
    }
};

TEST_F(CsvTimeTest, TenthsAreCutNotRounded) {
    // 2024-05-01 12:34:56.789 UTC
    EXPECT_EQ(csvTimestampText(civilTime(at(1714566896789), true)), "2024/05/01 12:34:56.7");
    EXPECT_EQ(csvTimestampText(civilTime(at(1714566896099), true)), "2024/05/01 12:34:56.0");
}

TEST_F(CsvTimeTest, LocalTimeFollowsTheZoneIncludingDaylightSaving) {
    setZone("CET-1CEST,M3.5.0,M10.5.0/3");
    // Summer: two hours ahead of UTC; winter: one.
    EXPECT_EQ(csvTimestampText(civilTime(at(1714566896789), false)), "2024/05/01 14:34:56.7");
    EXPECT_EQ(csvTimestampText(civilTime(at(1704112496789), false)), "2024/01/01 13:34:56.7");
    EXPECT_EQ(csvTimestampText(civilTime(at(1714566896789), true)), "2024/05/01 12:34:56.7");
}

TEST_F(CsvTimeTest, LogFileHasHeaderThenOneRowPerWrittenPair) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tessaly-csv-" + std::to_string(::getpid()) + ".csv");
    test::RecordingOutputs clock;
    clock.clockTime = at(1714566896789);
    CsvLog log(clock);
    ASSERT_FALSE(log.loggingOn());
    ASSERT_TRUE(log.start(path.string(), "H1,H2", true));
    EXPECT_TRUE(log.loggingOn());
    // Each row can be read by another reader as soon as it is written, while the log runs.
    std::string expected = "H1,H2\r\n";
    EXPECT_EQ(readAll(path), expected);
    log.writePair(reportOf(0, 1), reportOf(1, 2));
    expected += *csvRow(reportOf(0, 1), reportOf(1, 2), "2024/05/01 12:34:56.7");
    EXPECT_EQ(readAll(path), expected);
    log.writePair(reportOf(0, 0), reportOf(1, 0));  // writes nothing
    log.writePair(reportOf(0, 2), reportOf(1, 2));
    expected += *csvRow(reportOf(0, 2), reportOf(1, 2), "2024/05/01 12:34:56.7");
    EXPECT_EQ(readAll(path), expected);
    log.stop();
    EXPECT_FALSE(log.loggingOn());
    std::filesystem::remove(path);
}

// Runs `writes` with every write past `bytes` failing as on a full disk (the signal it would send
// ignored, as the programs ignore it).
void withFileSizeLimit(rlim_t bytes, const std::function<void()>& writes) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small = {bytes, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    writes();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
}

TEST_F(CsvTimeTest, FullDiskIsReportedOnceTheFileEndsInAWholeRowAndWritingResumes) {
    const test::TempFolder folder;
    const std::string path = folder.file("log.csv"), rawPath = folder.file("capture.ubx");
    test::RecordingOutputs clock;
    CsvLog log(clock);
    RawCapture raw;
    std::vector<std::string> notices;
    const auto record = [&](const LogFileNotice& notice) { notices.push_back(notice.text); };
    log.setNoticeHandler(record);
    raw.setNoticeHandler(record);
    const std::string row = *csvRow(reportOf(0, 1), reportOf(1, 1), "1970/01/01 00:00:00.0");
    ASSERT_TRUE(log.start(path, "H", true));
    ASSERT_TRUE(raw.start(rawPath));
    withFileSizeLimit(3 + 2 * row.size() + row.size() / 2, [&] {
        for (int i = 0; i < 4; ++i) log.writePair(reportOf(0, 1), reportOf(1, 1));
        raw.write(std::vector<std::uint8_t>(row.size(), 1));
        raw.write(std::vector<std::uint8_t>(row.size() * 3, 2));  // a block is taken back whole too
    });
    EXPECT_EQ(readAll(path), "H\r\n" + row + row) << "the third row did not fit and was taken back";
    log.writePair(reportOf(0, 1), reportOf(1, 1));
    raw.write(std::vector<std::uint8_t>(10, 3));
    EXPECT_EQ(readAll(path), "H\r\n" + row + row + row);
    EXPECT_EQ(readAll(rawPath), std::string(row.size(), 1) + std::string(10, 3));
    EXPECT_EQ(notices, (std::vector<std::string>{"cannot write " + path + ": File too large",
                                                 "cannot write " + rawPath + ": File too large",
                                                 path + " written again; 2 rows lost",
                                                 rawPath + " written again; " + std::to_string(row.size() * 3) +
                                                     " bytes lost"}));
}

TEST_F(CsvTimeTest, LogThatCannotBeCreatedStaysOff) {
    test::RecordingOutputs clock;
    CsvLog log(clock);
    EXPECT_FALSE(log.start("/nonexistent-folder/x.csv", "H", false));
    EXPECT_FALSE(log.loggingOn());
}

}  // namespace
}  // namespace tessaly
