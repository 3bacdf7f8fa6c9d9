// The file under the CSV log and the raw capture. Each record (a CSV row, a block of the input
// stream) goes to the kernel with one write, with no buffer of our own in between, so another
// process can read the file while the log runs and finds every record as soon as it was taken.
//
// A record that cannot be written whole (full disk, file size limit, device error) is taken back:
// the file is cut to the end of the last whole record, so it never ends in half a CSV row or half
// a block, and the record is counted as lost. The next record is tried as usual, so writing
// resumes by itself once there is room again. The owner hears of a failure once, when writing
// stops, and once more when it resumes; in between it can ask whether the file is failing.
//
// Owned by one thread (the window's, or the bridge loop's); the notice runs on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "monitor/ubx_frame.h"

namespace tessaly {

// What a record is, for the counts in the notices: lost rows are counted, lost blocks by bytes.
enum class LogRecord { Row, Block };

struct LogFileNotice {
    enum class Kind { WriteFailed, Resumed } kind;
    // One line for the user: "cannot write PATH: REASON" when writing stops,
    // "PATH written again; N rows lost" (or "N bytes lost") when it resumes.
    std::string text;
};

class LogFile {
public:
    using NoticeHandler = std::function<void(const LogFileNotice&)>;

    explicit LogFile(LogRecord record) : record_(record) {}
    ~LogFile() { close(); }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates (or empties) the file; false when it cannot be opened. The counts start afresh.
    bool create(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // False when the record could not be written whole; the file then ends as it did before.
    bool append(ByteView record);
    // Bytes up to the end of the last whole record.
    std::uint64_t size() const { return end_; }

    // Whether the last record failed; its reason, until one is written again.
    bool failing() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    // Since the file was created, counted as the notices count them.
    std::uint64_t lost() const { return lost_; }
    const std::string& path() const { return path_; }

    void setNoticeHandler(NoticeHandler handler) { onNotice_ = std::move(handler); }

private:
    void recordFailure(int error, std::size_t recordSize);
    void recordSuccess();

    LogRecord record_;
    int fd_ = -1;
    std::string path_;
    std::uint64_t end_ = 0;
    std::string failure_;
    std::uint64_t lost_ = 0;
    std::uint64_t lostBeforeFailure_ = 0;  // lost_ when the current failure began
    NoticeHandler onNotice_;
};

}  // namespace tessaly
