// Rows of the CSV log read back for the report; anything that is not a row as the log writes it
// is turned away rather than counted wrong.
#include <gtest/gtest.h>

#include <string>

#include "monitor/civil_time.h"
#include "monitor/csv_row_reader.h"

namespace tessaly {
namespace {

const std::string kStamp = "2024/05/01 12:34:56.7";
const std::string kErrorFreeA = "1,2,41.488,397304000,72,0,0,0,1,194,5,1,1,0";
const std::string kErroneousB = "1,4,38.133,397304003,73,0,1,0,2,,,,,";
const std::string kEmpty = ",,,,,,,,,,,,,";

std::string row(const std::string& a, const std::string& b, const std::string& flag) {
    return kStamp + "," + a + "," + b + "," + flag;
}

TEST(CsvRowReader, ReadsARowAsTheLogWritesIt) {
    const auto second = parseCsvRow(row(kErrorFreeA, kErroneousB, "0"), true);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->timeMs, 1714566896700);
    EXPECT_EQ(second->a.cnoMilli, 41488);
    EXPECT_EQ(second->a.errStatus, 1);
    EXPECT_EQ(second->a.prn, 194);
    EXPECT_EQ(second->a.svid, 2);
    EXPECT_EQ(second->b.cnoMilli, 38133);
    EXPECT_EQ(second->b.errStatus, 2);
    EXPECT_EQ(second->b.prn, 0);
    EXPECT_FALSE(second->bothFailed);
}

TEST(CsvRowReader, AnEmptyBlockIsAMissedReport) {
    const auto second = parseCsvRow(row(kEmpty, kErroneousB, "1"), true);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->a.present());
    EXPECT_TRUE(second->b.present());
    EXPECT_TRUE(second->bothFailed);
}

TEST(CsvRowReader, ARowWithNeitherBlockIsStillASecond) {
    // What the log writes for the first report of a stream when it is channel A's.
    const auto second = parseCsvRow(row(kEmpty, kEmpty, "0"), true);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->a.present());
    EXPECT_FALSE(second->b.present());
    EXPECT_FALSE(second->bothFailed);
}

TEST(CsvRowReader, LocalTimeStampsFollowTheZoneRules) {
    const auto local = parseCsvRow(row(kErrorFreeA, kErroneousB, "0"), false);
    ASSERT_TRUE(local);
    const CivilTime back = civilTime(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(local->timeMs)), false);
    EXPECT_EQ(csvTimestampText(back), kStamp);
}

struct BadRow {
    const char* what;
    std::string line;
};

TEST(CsvRowReader, TurnsAwayWhatIsNotARow) {
    const std::string a = kErrorFreeA;
    const std::string b = kErroneousB;
    const BadRow cases[] = {
        {"the header line", "DateTime,VersionA,svidA,cnoA,timeTagA,groupDelayA,bitErrCorrA,chnA,"
                            "msgNameA,errStatusA,PRNA,VenderIDA,MFG-IDA,SubframeA,AlertA,VersionB,"
                            "svidB,cnoB,timeTagB,groupDelayB,bitErrCorrB,chnB,msgNameB,errStatusB,"
                            "PRNB,VenderIDB,MFG-IDB,SubframeB,AlertB,BothError"},
        {"an empty line", ""},
        {"a row cut off", row(a, b, "0").substr(0, 70)},
        {"one field short", row(a, b, "0").substr(0, row(a, b, "0").size() - 2)},
        {"one field more", row(a, b, "0") + ",0"},
        {"no such day", "2024/02/30 12:00:00.0," + a + "," + b + ",0"},
        {"a time without seconds", "2024/05/01 12:34," + a + "," + b + ",0"},
        {"letters in the C/N0", row("1,2,4x.488,397304000,72,0,0,0,1,194,5,1,1,0", b, "0")},
        {"four decimals of C/N0", row("1,2,41.4881,397304000,72,0,0,0,1,194,5,1,1,0", b, "0")},
        {"a negative svid", row("1,-2,41.488,397304000,72,0,0,0,1,194,5,1,1,0", b, "0")},
        {"a PRN over 255", row("1,2,41.488,397304000,72,0,0,0,1,394,5,1,1,0", b, "0")},
        {"error status 0 in a filled block", row("1,2,41.488,397304000,72,0,0,0,0,,,,,", b, "0")},
        {"error status 4", row("1,2,41.488,397304000,72,0,0,0,4,,,,,", b, "0")},
        {"an erroneous report with a PRN", row(a, "1,4,38.133,397304003,73,0,1,0,2,196,5,0,0,0", "0")},
        {"an error-free report without one", row("1,2,41.488,397304000,72,0,0,0,1,,,,,", b, "0")},
        {"channel B's report in block A", row(b, kEmpty, "0")},
        {"a block half empty", row("1,2,41.488,,,,,,1,194,5,1,1,0", b, "0")},
        {"a flag of 2", row(a, b, "2")},
        {"no flag", row(a, b, "")},
    };
    for (const BadRow& c : cases) {
        EXPECT_FALSE(parseCsvRow(c.line, false)) << c.what << ": " << c.line;
    }
}

TEST(CsvRowReader, CnoTextInThousandths) {
    EXPECT_EQ(cnoMilliOf("41.488"), 41488);
    EXPECT_EQ(cnoMilliOf("0.062"), 62);
    EXPECT_EQ(cnoMilliOf("45.5"), 45500);
    EXPECT_EQ(cnoMilliOf("45"), 45000);
    EXPECT_FALSE(cnoMilliOf("45."));
    EXPECT_FALSE(cnoMilliOf(".5"));
    EXPECT_FALSE(cnoMilliOf("4,5"));
    EXPECT_FALSE(cnoMilliOf(""));
}

TEST(CsvTimestamp, ReadsTenthsAndLongerFractions) {
    auto t = parseCsvTimestamp("2024/12/31 23:59:59.9");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->millisecond, 900);
    t = parseCsvTimestamp("2024/02/29 00:00:00.123456");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->millisecond, 123);
    EXPECT_TRUE(parseCsvTimestamp("2024/02/29 00:00:00"));
    EXPECT_FALSE(parseCsvTimestamp("2023/02/29 00:00:00.0"));
    EXPECT_FALSE(parseCsvTimestamp("2024/13/01 00:00:00.0"));
    EXPECT_FALSE(parseCsvTimestamp("2024/12/01 24:00:00.0"));
    EXPECT_FALSE(parseCsvTimestamp("2024/12/01 00:00:00."));
    EXPECT_FALSE(parseCsvTimestamp("2024-12-01 00:00:00.0"));
    EXPECT_FALSE(parseCsvTimestamp("2024/12/01 00:00:00.0 "));
}

}  // namespace
}  // namespace tessaly
