#include "monitor/raw_capture.h"

namespace tessaly {

bool RawCapture::start(const std::string& path) {
    stop();
    file_.reset(std::fopen(path.c_str(), "wb"));
    return capturing();
}

void RawCapture::write(ByteView block) {
    if (!file_ || block.empty()) return;
    std::fwrite(block.data(), 1, block.size(), file_.get());
    // Written through at once: the file is readable while the capture runs, and complete
    // whenever the program ends.
    std::fflush(file_.get());
    std::clearerr(file_.get());
}

}  // namespace tessaly
