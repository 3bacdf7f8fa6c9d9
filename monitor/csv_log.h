// The CSV log file: a header line, then one row for every evaluated pair of reports while the
// log is on. Rows go to the file at once, so it can be read while the monitor runs.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "monitor/monitor_outputs.h"

namespace tessaly {

class CsvLog final : public PairLog {
public:
    explicit CsvLog(const WallClock& clock) : clock_(clock) {}

    // Creates (or replaces) the file and writes the header line. False when it cannot be
    // created; the log is then off.
    bool start(const std::string& path, const std::string& header, bool utc);
    void stop();

    bool loggingOn() const override { return file_ != nullptr; }
    // A row that cannot be written is not reported; the next row is tried again.
    void writePair(const L6ChannelReport& previous, const L6ChannelReport& current) override;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const WallClock& clock_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    bool utc_ = false;
};

}  // namespace tessaly
