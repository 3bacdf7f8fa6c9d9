// The report's inputs read into the history: a raw capture's seconds spaced by the receivers'
// time tags and ending at the file's time, CSV logs row by row, told apart by name or content.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "cli/report_inputs.h"
#include "tests/test_data.h"

namespace tessaly {
namespace {

using test::Bytes;

constexpr std::int64_t kFileTimeMs = 1714566896000;  // 2024/05/01 12:34:56 UTC

Bytes report(std::uint8_t chn, std::uint32_t timeTag, std::uint8_t errStatus = 1) {
    test::L6Fields f;
    f.chn = chn;
    f.chName = chn;
    f.svid = chn == 0 ? 2 : 4;
    f.timeTag = timeTag;
    f.errStatus = errStatus;
    return test::l6Frame(f);
}

class ReportInputs : public ::testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = folder.file(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const timespec times[2] = {{kFileTimeMs / 1000, 0}, {kFileTimeMs / 1000, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }
    std::optional<InputRead> read(const std::string& path) {
        ReportReader reader(history, summary, true);
        return reader.read(path, error);
    }

    test::TempFolder folder;
    PairHistory history;
    SummaryCounter summary;
    std::string error;
};

TEST_F(ReportInputs, RawCaptureEndsAtTheFileTimeSpacedByTheTimeTags) {
    const std::string path = write("night.ubx", test::concat({
        report(0, 1000), report(1, 1003),
        report(0, 2000), report(1, 2003),
        report(0, 3000, 2),  // channel B missed: this A report is logged with the next one
        report(0, 4000), report(1, 4003),
        report(0, 10000), report(1, 10003),  // five seconds of silence before this one
    }));
    const auto got = read(path);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(got->seconds, 6u);  // the first A report is evaluated alone as well
    ASSERT_EQ(history.size(), 6u);
    const std::int64_t expected[] = {-9003, -9000, -8000, -7003, -6000, 0};
    for (std::size_t i = 0; i < history.size(); ++i) {
        EXPECT_EQ(history[i].timeMs - kFileTimeMs, expected[i]) << i;
    }
    EXPECT_EQ(history[3].a.errStatus, 2) << "the lone report sits at its own second";
    EXPECT_EQ(summary.summary().seconds, 6u);
}

TEST_F(ReportInputs, TimeTagsRunOnAcrossTheEndOfTheWeek) {
    const std::uint32_t week = 604800000;
    const std::string path = write("week.ubx", test::concat({
        report(0, week - 1997), report(1, week - 1994),
        report(0, week - 997), report(1, week - 994),
        report(0, 3), report(1, 6),
    }));
    ASSERT_TRUE(read(path)) << error;
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[2].timeMs - history[1].timeMs, 1000);
    EXPECT_EQ(history[3].timeMs - history[2].timeMs, 1000);
}

TEST_F(ReportInputs, ACaptureIsKnownByItsFirstBytesWhateverItsName) {
    const std::string path = write("capture.log", test::concat({report(0, 1000), report(1, 1003)}));
    const auto got = read(path);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(got->seconds, 2u);
    EXPECT_EQ(got->skippedLines, 0u);
}

TEST_F(ReportInputs, CsvLogRowByRowWithItsOtherLinesCounted) {
    const std::string a = "1,2,41.488,397304000,72,0,0,0,1,194,5,1,1,0";
    const std::string b = "1,4,38.133,397304003,73,0,1,0,2,,,,,";
    const std::string path = write("night.csv", test::bytesOf(
        "DateTime,...\r\n"
        "2024/05/01 12:00:00.1," + a + "," + b + ",0\r\n"
        "\r\n"
        "2024/05/01 12:00:01.1," + a + "," + b + "\r\n"  // cut short
        "2024/05/01 12:00:02.1," + a + "," + b + ",0"));  // the last line without its CR LF
    const auto got = read(path);
    ASSERT_TRUE(got) << error;
    EXPECT_EQ(got->seconds, 2u);
    EXPECT_EQ(got->skippedLines, 1u);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].timeMs, 1714564800100);
    EXPECT_EQ(history[1].timeMs, 1714564802100);
}

TEST_F(ReportInputs, AMissingFileIsAnError) {
    EXPECT_FALSE(read(folder.file("absent.csv")));
    EXPECT_EQ(error, "cannot read " + folder.file("absent.csv"));
    EXPECT_FALSE(read(folder.file("absent.ubx")));
}

}  // namespace
}  // namespace tessaly
