#include "monitor/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tessaly {

bool LogFile::create(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    path_ = path;
    end_ = 0;
    failure_.clear();
    lost_ = 0;
    return true;
}

void LogFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool LogFile::append(ByteView record) {
    if (fd_ < 0) return false;
    std::size_t written = 0;
    int error = 0;
    // One write carries the whole record unless the file cannot take it all; what a short
    // write left over is tried once more, which then tells why it stopped.
    while (written < record.size()) {
        const ssize_t n = ::write(fd_, record.data() + written, record.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            error = errno;
            break;
        } else if (n == 0) {
            error = ENOSPC;
            break;
        }
    }
    if (written == record.size()) {
        end_ += written;
        recordSuccess();
        return true;
    }
    if (written > 0) {
        // Cutting a file shorter needs no room, so this holds on a full disk too.
        const auto end = static_cast<off_t>(end_);
        if (::ftruncate(fd_, end) != 0 || ::lseek(fd_, end, SEEK_SET) != end) {
            end_ += written;  // a device or pipe: what went out stays out
        }
    }
    recordFailure(error, record.size());
    return false;
}

void LogFile::recordFailure(int error, std::size_t recordSize) {
    if (!failing()) lostBeforeFailure_ = lost_;
    lost_ += record_ == LogRecord::Row ? 1 : recordSize;
    if (failing()) return;
    failure_ = "cannot write " + path_ + ": " + std::generic_category().message(error);
    if (onNotice_) onNotice_({LogFileNotice::Kind::WriteFailed, failure_});
}

void LogFile::recordSuccess() {
    if (!failing()) return;
    failure_.clear();
    const std::uint64_t lostNow = lost_ - lostBeforeFailure_;
    const std::string unit = std::string(record_ == LogRecord::Row ? " row" : " byte") + (lostNow == 1 ? "" : "s");
    const std::string text = path_ + " written again; " + std::to_string(lostNow) + unit + " lost";
    if (onNotice_) onNotice_({LogFileNotice::Kind::Resumed, text});
}

}  // namespace tessaly
