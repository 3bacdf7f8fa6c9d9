// A raw capture of the input stream: every byte the L6 receiver sent, in order, as it arrived,
// so that a problem seen on screen can be replayed later with `tessaly-cli decode`. Each block
// reaches the file as it comes, whole or not at all (see LogFile).
#pragma once

#include <string>

#include "monitor/log_file.h"

namespace tessaly {

class RawCapture {
public:
    // Creates (or replaces) the file. False when it cannot be created.
    bool start(const std::string& path);
    void stop() { file_.close(); }
    bool capturing() const { return file_.isOpen(); }
    // False when the block could not be written whole: it is reported once (see LogFile), and
    // the next one tries again.
    bool write(ByteView block);

    // Write failures and their end; `file().lost()` counts the bytes lost.
    void setNoticeHandler(LogFile::NoticeHandler handler) { file_.setNoticeHandler(std::move(handler)); }
    const LogFile& file() const { return file_; }

private:
    LogFile file_{LogRecord::Block};
};

}  // namespace tessaly
