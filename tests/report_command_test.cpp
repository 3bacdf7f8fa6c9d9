// tessaly-cli report, run as a user runs it: the summary of the recorded hour both from the raw
// capture and from the CSV log decode writes of it, files that open (PNG, SVG, HTML), and bad use.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/cli_process.h"
#include "tests/test_data.h"

namespace {

struct ReportRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ReportCommand : public ::testing::Test {
protected:
    // The command's words after the program; stderr is kept apart from stdout.
    ReportRun run(const std::string& args) {
        const std::string errFile = folder.file("stderr.txt");
        const auto [status, out] = tessaly::test::runCliToEnd(args + " 2>" + errFile);
        return {status, out, readFile(errFile)};
    }
    std::string file(const std::string& name) const { return folder.file(name); }
    void writeText(const std::string& name, const std::string& text) {
        std::ofstream(file(name), std::ios::binary) << text;
    }

    tessaly::test::TempFolder folder;
};

const std::string kStream = std::string(TESSALY_DATA_DIR) + "/l6_two_channel_1h.ubx";
const std::string kHeader =
    "DateTime,VersionA,svidA,cnoA,timeTagA,groupDelayA,bitErrCorrA,chnA,msgNameA,errStatusA,PRNA,"
    "VenderIDA,MFG-IDA,SubframeA,AlertA,VersionB,svidB,cnoB,timeTagB,groupDelayB,bitErrCorrB,chnB,"
    "msgNameB,errStatusB,PRNB,VenderIDB,MFG-IDB,SubframeB,AlertB,BothError\r\n";

std::string csvLine(const std::string& time, const char* errA, const char* errB, const char* flag) {
    const std::string a = std::string("1,2,41.488,397304000,72,0,0,0,") + errA +
                          (std::string(errA) == "1" ? ",194,5,1,1,0" : ",,,,,");
    const std::string b = std::string("1,4,38.133,397304003,73,0,1,0,") + errB +
                          (std::string(errB) == "1" ? ",196,5,0,0,0" : ",,,,,");
    return "2024/05/01 " + time + "," + a + "," + b + "," + flag + "\r\n";
}

// Element names of a well-formed XML document, or an empty list with the parser's complaint.
std::vector<std::string> xmlElements(const QByteArray& xml, std::string& complaint) {
    std::vector<std::string> names;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            names.push_back(reader.name().toString().toStdString());
        }
    }
    if (reader.hasError()) {
        complaint = reader.errorString().toStdString();
        return {};
    }
    return names;
}

TEST_F(ReportCommand, RecordedHourGivesTheSameSummaryFromTheCaptureAndFromItsLog) {
    const ReportRun fromCapture = run("report " + kStream + " -o " + file("hour.png") + " --json");
    ASSERT_EQ(fromCapture.status, 0) << fromCapture.err;
    EXPECT_TRUE(fromCapture.out.starts_with("{\"seconds\": 3601, \"bothFailed\": 117, ")) << fromCapture.out;
    EXPECT_NE(fromCapture.out.find("\"prns\": [194]"), std::string::npos) << fromCapture.out;
    EXPECT_NE(fromCapture.out.find("\"prns\": [196]"), std::string::npos) << fromCapture.out;

    const ReportRun decode = run("decode " + kStream + " --csv " + file("hour.csv"));
    ASSERT_EQ(decode.status, 0) << decode.err;
    const ReportRun fromLog = run("report " + file("hour.csv") + " -o " + file("hour.svg") + " --json");
    ASSERT_EQ(fromLog.status, 0) << fromLog.err;
    EXPECT_EQ(fromLog.out, fromCapture.out);
    EXPECT_EQ(fromLog.err, "") << "the header line is not a bad row";
}

TEST_F(ReportCommand, PngStartsWithItsSignature) {
    writeText("night.csv", kHeader + csvLine("00:00:00.1", "1", "1", "0") +
                               csvLine("00:00:01.1", "2", "2", "1"));
    const ReportRun r = run("report " + file("night.csv") + " -o " + file("night.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string png = readFile(file("night.png"));
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_NE(r.out.find("Seconds evaluated        2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Longest both-failed run  1 s"), std::string::npos) << r.out;
}

TEST_F(ReportCommand, SvgIsWellFormedAndTellsThePeriodAndInputs) {
    writeText("utc.csv", kHeader + csvLine("23:59:58.5", "1", "2", "0") +
                             csvLine("23:59:59.5", "2", "2", "1"));
    const ReportRun r = run("report " + file("utc.csv") + " -o " + file("utc.svg") + " --utc");
    ASSERT_EQ(r.status, 0) << r.err;
    const QByteArray svg = QByteArray::fromStdString(readFile(file("utc.svg")));
    std::string complaint;
    const auto elements = xmlElements(svg, complaint);
    ASSERT_FALSE(elements.empty()) << complaint;
    EXPECT_EQ(elements.front(), "svg");
    EXPECT_TRUE(svg.contains("2024/05/01 23:59:58")) << "the period in UTC as logged";
    EXPECT_TRUE(svg.contains("(UTC)"));
    EXPECT_TRUE(svg.contains("utc.csv"));
    EXPECT_TRUE(svg.contains("Channel B"));
}

TEST_F(ReportCommand, HtmlHoldsTheDrawingAndTheTableAndNothingOutside) {
    writeText("a.csv", kHeader + csvLine("10:00:00.0", "1", "1", "0"));
    writeText("b.csv", kHeader + csvLine("10:00:01.0", "2", "1", "0") + "garbage\r\n" +
                           csvLine("10:00:02.0", "2", "2", "1"));
    const ReportRun r = run("report " + file("a.csv") + " " + file("b.csv") + " -o " + file("two.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "tessaly-cli report: " + file("b.csv") +
                         ": 1 lines that are not rows of the log were skipped\n");
    const std::string html = readFile(file("two.html"));
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_TRUE(html.ends_with("</html>\n"));
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("<link"), std::string::npos);
    EXPECT_EQ(html.find("<?xml"), std::string::npos);
    const std::size_t start = html.find("<svg");
    const std::size_t end = html.find("</svg>");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    std::string complaint;
    EXPECT_FALSE(xmlElements(QByteArray::fromStdString(html.substr(start, end + 6 - start)), complaint)
                     .empty())
        << complaint;
    EXPECT_NE(html.find("<tr><th>Seconds evaluated</th><td colspan=\"2\">3</td></tr>"),
              std::string::npos);
    EXPECT_NE(html.find("<tr><th>Erroneous</th><td>2</td><td>1</td></tr>"), std::string::npos);
}

TEST_F(ReportCommand, BadUseGivesOneLineAndStatus2) {
    writeText("empty.csv", kHeader);
    writeText("ok.csv", kHeader + csvLine("10:00:00.0", "1", "1", "0"));
    const std::string cases[] = {
        "report",
        "report " + file("ok.csv"),
        "report " + file("ok.csv") + " -o",
        "report " + file("ok.csv") + " -o " + file("out.jpg"),
        "report " + file("ok.csv") + " -o " + file("out.png") + " --frobnicate",
        "report " + file("missing.csv") + " -o " + file("out.png"),
        "report " + file("empty.csv") + " -o " + file("out.png"),
        "report " + file("ok.csv") + " -o " + file("no/such/folder/out.png"),
    };
    for (const std::string& args : cases) {
        const ReportRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(r.err.starts_with("tessaly-cli report: ")) << args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    }
    EXPECT_FALSE(std::ifstream(file("out.png"))) << "no picture of nothing";
}

}  // namespace
