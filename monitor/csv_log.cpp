#include "monitor/csv_log.h"

#include "monitor/civil_time.h"
#include "monitor/csv_row.h"

namespace tessaly {

bool CsvLog::start(const std::string& path, const std::string& header, bool utc) {
    stop();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    const std::string line = header + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size() ||
        std::fflush(file.get()) != 0) {
        return false;
    }
    file_ = std::move(file);
    utc_ = utc;
    return true;
}

void CsvLog::stop() { file_.reset(); }

void CsvLog::writePair(const L6ChannelReport& previous, const L6ChannelReport& current) {
    if (!file_) return;
    const auto row = csvRow(previous, current, csvTimestampText(civilTime(clock_.now(), utc_)));
    if (!row) return;
    std::fwrite(row->data(), 1, row->size(), file_.get());
    std::fflush(file_.get());
    std::clearerr(file_.get());
}

}  // namespace tessaly
