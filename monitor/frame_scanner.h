// Cuts UBX frames out of the receiver's input stream, block by block as the input link delivers
// it. The bytes of an unfinished frame are kept until the rest arrives; NMEA-style text lines
// ("$" through CR LF) are removed; each complete frame is checked and, when valid, handed to the
// observer. The scanner never alters the block: the caller forwards that very block afterwards.
//
// Runs on the window's thread only. An observer may clear the pending bytes while a scan is
// under way (the monitor reset); the scan then stores its own leftover when it ends.
#pragma once

#include <cstdint>
#include <vector>

#include "monitor/ubx_frame.h"

namespace tessaly {

// Why a cut failed the check.
enum class DropReason {
    Checksum,  // the declared length fits, CK_A and CK_B do not match
    Length,    // the declared length is over the frame length cap: the cut ends at the cap
};

// What the scanner finds. The views point into the scanner's work buffer and are valid only
// during the call.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // A frame that passed the length and checksum check, sync bytes through CK_B.
    virtual void frameFound(ByteView frame) = 0;
    // A cut that failed the check: it is discarded, scanning goes on after its declared end.
    virtual void frameDropped(ByteView cut, DropReason reason) { (void)cut, (void)reason; }
    // A text line, together with the stray bytes in front of its '$'. Whole when the two come to
    // at most 256 bytes, however the blocks were cut; a longer run may arrive shortened.
    virtual void textLineRemoved(ByteView line) { (void)line; }
    // frameFound threw: the rest of the block is lost and the pending bytes are as before it.
    virtual void scanAbandoned() {}
};

class UbxFrameScanner {
public:
    explicit UbxFrameScanner(ScanObserver& observer) : observer_(observer) {}

    // An empty block empties the pending bytes: a link that delivers nothing ends any frame.
    void scanBlock(ByteView block);
    void clearPending() { pending_.clear(); }
    ByteView pending() const { return pending_; }

private:
    static std::vector<std::uint8_t> keptFromLeftover(ByteView work, std::size_t start,
                                                      std::size_t firstSync, std::size_t firstDollar,
                                                      std::size_t firstCrLf);

    ScanObserver& observer_;
    // What earlier blocks left over: an unfinished frame, possibly behind a few bytes that stand
    // for the stray bytes in front of it. Never more than a frame's cap and a few bytes.
    std::vector<std::uint8_t> pending_;
};

}  // namespace tessaly
