// The CSV log file: a header line, then one row for every evaluated pair of reports while the
// log is on. Each row reaches the file as it is written, whole or not at all (see LogFile), so
// the file can be read while the monitor runs and never ends in half a row.
#pragma once

#include <string>

#include "monitor/log_file.h"
#include "monitor/monitor_outputs.h"

namespace tessaly {

class CsvLog final : public PairLog {
public:
    explicit CsvLog(const WallClock& clock) : clock_(clock) {}

    // Creates (or replaces) the file and writes the header line. False when it cannot be
    // created; the log is then off. A header that does not fit is reported like a row and goes
    // in front of the first row that fits, so the file always starts with it.
    bool start(const std::string& path, const std::string& header, bool utc);
    void stop() { file_.close(); }

    bool loggingOn() const override { return file_.isOpen(); }
    // A row that cannot be written is reported once (see LogFile) and the next row tries again.
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override;

    // Write failures and their end; `file().lost()` counts the rows lost.
    void setNoticeHandler(LogFile::NoticeHandler handler) { file_.setNoticeHandler(std::move(handler)); }
    const LogFile& file() const { return file_; }

private:
    void writeRecord(const std::string& row);

    const WallClock& clock_;
    LogFile file_{LogRecord::Row};
    std::string headerLine_;
    bool utc_ = false;
};

}  // namespace tessaly
