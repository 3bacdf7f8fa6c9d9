#include "monitor/csv_log.h"

#include "monitor/civil_time.h"
#include "monitor/csv_row.h"

namespace tessaly {

bool CsvLog::start(const std::string& path, const std::string& header, bool utc) {
    if (!file_.create(path)) return false;
    headerLine_ = header + "\r\n";
    utc_ = utc;
    writeRecord("");
    return true;
}

void CsvLog::writePair(const L6ChannelReport& previous, const L6ChannelReport& current) {
    if (!file_.isOpen()) return;
    const auto row = csvRow(previous, current, csvTimestampText(civilTime(clock_.now(), utc_)));
    if (row) writeRecord(*row);
}

void CsvLog::writeRecord(const std::string& row) {
    const std::string record = file_.size() == 0 ? headerLine_ + row : row;
    file_.append(ByteView(reinterpret_cast<const std::uint8_t*>(record.data()), record.size()));
}

}  // namespace tessaly
