// A raw capture of the input stream: every byte the L6 receiver sent, in order, as it arrived,
// so that a problem seen on screen can be replayed later with `tessaly-cli decode`.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "monitor/ubx_frame.h"

namespace tessaly {

class RawCapture {
public:
    // Creates (or replaces) the file. False when it cannot be created.
    bool start(const std::string& path);
    void stop() { file_.reset(); }
    bool capturing() const { return file_ != nullptr; }
    // False when the block could not be written whole; the next one is tried again.
    bool write(ByteView block);

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace tessaly
