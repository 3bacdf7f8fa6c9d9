// The inputs of tessaly-cli report, read into the history the chart draws and the summary: a CSV
// log row by row, or a raw capture through the same scanner and decoder as `decode`.
//
// A raw capture holds no clock times. Its seconds are spaced by the receivers' time tags (so a
// gap in reception stays a gap) and placed so that the last one falls on the file's modification
// time, which is when the capture ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "monitor/history_summary.h"
#include "monitor/pair_history.h"

namespace tessaly {

struct InputRead {
    std::uint64_t seconds = 0;
    std::uint64_t skippedLines = 0;  // lines of a CSV log that are not rows, the header aside
};

class ReportReader {
public:
    // CSV time stamps are read as UTC when `utc`, else as local time.
    ReportReader(PairHistory& history, SummaryCounter& summary, bool utc)
        : history_(history), summary_(summary), utc_(utc) {}

    // A file whose name ends in .ubx, or that starts with a UBX frame, is a raw capture; any
    // other is a CSV log. Nothing, with `error` set, when the file cannot be read.
    std::optional<InputRead> read(const std::string& path, std::string& error);

private:
    std::optional<InputRead> readCsvLog(const std::string& path, std::string& error);
    std::optional<InputRead> readRawCapture(const std::string& path, std::string& error);
    void add(const PairSecond& second);

    PairHistory& history_;
    SummaryCounter& summary_;
    bool utc_;
};

}  // namespace tessaly
