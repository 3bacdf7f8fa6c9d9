// tessaly-cli decode, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "monitor/csv_row.h"
#include "tests/cli_process.h"
#include "tests/test_data.h"

namespace {

using tessaly::test::CliRun;

// `shellPrefix` runs before the program in the same shell, to set a limit for it.
CliRun runCli(const std::string& args, const std::string& shellPrefix = "") {
    return tessaly::test::runCliToEnd(args + " 2>&1", shellPrefix);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The rows without their time stamps.
std::vector<std::string> rowsOf(const std::string& csv) {
    std::vector<std::string> rows;
    std::size_t at = csv.find("\r\n");
    while (at != std::string::npos && at + 2 < csv.size()) {
        const std::size_t next = csv.find("\r\n", at + 2);
        const std::string line = csv.substr(at + 2, next - at - 2);
        rows.push_back(line.substr(line.find(',')));
        at = next;
    }
    return rows;
}

const std::string kL6Stream = std::string(TESSALY_DATA_DIR) + "/l6_two_channel_1h.ubx";

TEST(DecodeCommand, BadUseGivesOneLineAndStatus2) {
    for (const std::string& args : std::vector<std::string>{
             "decode", "decode /nonexistent/stream.ubx", "decode " + kL6Stream + " --block 0",
          "decode " + kL6Stream + " --block x", "decode " + kL6Stream + " --block",
          "decode " + kL6Stream + " --frobnicate", "decode " + kL6Stream + " --csv /nonexistent/x.csv",
          "decode " + kL6Stream + " --block 16777217", "decode " + kL6Stream + " --block 100000000000",
          "frobnicate"}) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << args << ": " << run.out;
    }
}

TEST(DecodeCommand, HelpNamesTheCommands) {
    const CliRun run = runCli("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("decode FILE"), std::string::npos);
    EXPECT_NE(runCli("--version").out.find("Ver1.08"), std::string::npos);
}

TEST(DecodeCommand, SummaryAndCsvOfARecordedStream) {
    const auto dir = std::filesystem::temp_directory_path() / ("tessaly-decode-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    const CliRun run = runCli("decode " + kL6Stream + " --csv " + (dir / "1024.csv").string());
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* line : {"Valid UBX frames: 7134", "class 02 ID 73: 7133", "class 0A ID 04: 1",
                             "Text lines removed: 179", "Both-failed count: 117",
                             "Firmware: FWVER=QZS 1.01", "Frames dropped: 0"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
    }
    const std::string csv = readFile(dir / "1024.csv");
    EXPECT_TRUE(csv.starts_with(std::string(tessaly::kDefaultCsvHeader) + "\r\n"));
    const auto rows = rowsOf(csv);
    EXPECT_GT(rows.size(), 3500u);
    for (const std::string& row : rows) ASSERT_EQ(std::count(row.begin(), row.end(), ','), 29) << row;

    for (const char* block : {"1", "4096"}) {
        const auto other = dir / (std::string(block) + ".csv");
        ASSERT_EQ(runCli("decode " + kL6Stream + " --utc --block " + block + " --csv " + other.string()).status, 0);
        EXPECT_EQ(rowsOf(readFile(other)), rows) << "block " << block;
    }
    std::filesystem::remove_all(dir);
}

// A file size limit fails the writes as a full disk does; the program must not die of its signal.
TEST(DecodeCommand, CsvThatCannotBeWrittenWholeEndsWithOneLineAndStatus1) {
    const tessaly::test::TempFolder folder;
    const std::string csvPath = folder.file("log.csv");
    for (const auto& [csv, limit, reason] : {std::tuple{csvPath, "ulimit -f 200; ", "File too large"},
                                             std::tuple{std::string("/dev/full"), "", "No space left on device"}}) {
        const CliRun run = runCli("decode " + kL6Stream + " --csv " + csv, limit);
        EXPECT_EQ(run.status, 1);
        const std::string lastLine = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
        EXPECT_TRUE(lastLine.starts_with("tessaly-cli decode: cannot write " + csv + ": " + reason + "; ")) << run.out;
    }
    const std::string written = readFile(csvPath);
    EXPECT_GT(written.size(), 90000u);
    EXPECT_TRUE(written.ends_with("\r\n")) << "no half row at the end";
    for (const std::string& row : rowsOf(written)) ASSERT_EQ(std::count(row.begin(), row.end(), ','), 29) << row;
}

TEST(DecodeCommand, DroppedFramesAreCountedByReason) {
    using tessaly::test::Bytes;
    const Bytes good = tessaly::test::ubxFrame(0x05, 0x01, Bytes{0x06, 0x8A});
    Bytes badChecksum = good, overlong = {0xB5, 0x62, 0x02, 0x73, 0x88, 0x13};  // 5000 bytes declared
    badChecksum.back() ^= 0xFF;
    overlong.resize(tessaly::kUbxFrameLengthCap, 0x00);
    const Bytes stream = tessaly::test::concat({badChecksum, good, overlong, badChecksum, good});
    const tessaly::test::TempFolder folder;
    std::ofstream(folder.file("damaged.ubx"), std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    const CliRun run = runCli("decode " + folder.file("damaged.ubx"));
    EXPECT_NE(run.out.find("Frames dropped: 3 (wrong checksum: 2, length over 4096 bytes: 1)"), std::string::npos)
        << run.out;
}

}  // namespace
