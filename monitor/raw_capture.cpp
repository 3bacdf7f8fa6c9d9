#include "monitor/raw_capture.h"

namespace tessaly {

bool RawCapture::start(const std::string& path) { return file_.create(path); }

bool RawCapture::write(ByteView block) {
    if (!file_.isOpen() || block.empty()) return true;
    return file_.append(block);
}

}  // namespace tessaly
