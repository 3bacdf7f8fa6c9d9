#include "monitor/raw_capture.h"

namespace tessaly {

bool RawCapture::start(const std::string& path) {
    stop();
    file_.reset(std::fopen(path.c_str(), "wb"));
    return capturing();
}

bool RawCapture::write(ByteView block) {
    if (!file_ || block.empty()) return true;
    const bool written = std::fwrite(block.data(), 1, block.size(), file_.get()) == block.size();
    // Written through at once: the file is readable while the capture runs, and complete
    // whenever the program ends.
    const bool flushed = std::fflush(file_.get()) == 0;
    std::clearerr(file_.get());
    return written && flushed;
}

}  // namespace tessaly
