#include "monitor/frame_scanner.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tessaly {
namespace {

constexpr std::size_t kAbsent = std::numeric_limits<std::size_t>::max();
constexpr std::uint8_t kDollar = '$';
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// Stray bytes in front of an unfinished frame are kept as they are up to this many; beyond it
// they are replaced by the few bytes that have the same effect on every later pass. An unfinished
// text line is such a run too: the bound leaves room for the longest line a receiver sends (an
// NMEA sentence has at most 82 characters) and the stray bytes in front of it, so that a line
// reaches the observer whole however the stream was cut into blocks.
constexpr std::size_t kStrayBytesKeptVerbatim = 256;

std::size_t findByte(const std::uint8_t* buf, std::size_t from, std::size_t end, std::uint8_t b) {
    if (from >= end) return kAbsent;
    const void* hit = std::memchr(buf + from, b, end - from);
    return hit ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buf) : kAbsent;
}

std::size_t findPair(const std::uint8_t* buf, std::size_t from, std::size_t end, std::uint8_t first,
                     std::uint8_t second) {
    while (from + 1 < end) {
        const std::size_t at = findByte(buf, from, end - 1, first);
        if (at == kAbsent) return kAbsent;
        if (buf[at + 1] == second) return at;
        from = at + 1;
    }
    return kAbsent;
}

// The first occurrence of a pattern at or after the buffer's start. The passes only ever remove
// bytes from the front, so an occurrence found earlier stays the first one until the start moves
// past it; searching again only then keeps a block of many frames linear.
template <typename Search>
class FirstOccurrence {
public:
    explicit FirstOccurrence(Search search) : search_(search) {}
    std::size_t at(std::size_t start) {
        if (!searched_ || (found_ != kAbsent && found_ < start)) {
            found_ = search_(start);
            searched_ = true;
        }
        return found_;
    }

private:
    Search search_;
    bool searched_ = false;
    std::size_t found_ = kAbsent;
};

}  // namespace

void UbxFrameScanner::scanBlock(ByteView block) {
    if (block.empty()) {
        pending_.clear();
        return;
    }
    std::vector<std::uint8_t> work;
    work.reserve(pending_.size() + block.size());
    work.insert(work.end(), pending_.begin(), pending_.end());
    work.insert(work.end(), block.begin(), block.end());
    const std::size_t pendingBefore = pending_.size();

    const std::uint8_t* buf = work.data();
    const std::size_t end = work.size();
    FirstOccurrence sync([&](std::size_t from) { return findPair(buf, from, end, kUbxSync1, kUbxSync2); });
    FirstOccurrence dollar([&](std::size_t from) { return findByte(buf, from, end, kDollar); });
    FirstOccurrence crLf([&](std::size_t from) { return findPair(buf, from, end, kCr, kLf); });

    std::size_t start = 0;
    try {
        // One text line or one frame leaves the front of the buffer per pass, the text line
        // first; the passes end when one removes nothing.
        while (start < end) {
            const std::size_t u = sync.at(start);
            const std::size_t d = dollar.at(start);
            const std::size_t c = crLf.at(start);
            if (d != kAbsent && (u == kAbsent || d < u) && c != kAbsent && c > d) {
                const std::size_t lineEnd = c + 2;
                observer_.textLineRemoved(ByteView(buf + start, lineEnd - start));
                start = lineEnd;
                continue;
            }
            if (u == kAbsent || end - u < kUbxHeaderSize) break;
            const std::size_t declared = ubxPayloadLength(ByteView(buf + u, kUbxHeaderSize)) + kUbxFrameOverhead;
            const std::size_t cut = std::min(declared, kUbxFrameLengthCap);
            if (end - u < cut) break;
            const ByteView frame(buf + u, cut);
            // A false sync pair costs every byte up to the end its bogus length declares.
            start = u + cut;
            if (isValidUbxFrame(frame)) {
                observer_.frameFound(frame);
            } else {
                observer_.frameDropped(frame, declared > cut ? DropReason::Length : DropReason::Checksum);
            }
        }
    } catch (...) {
        pending_.assign(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(pendingBefore));
        observer_.scanAbandoned();
        return;
    }
    pending_ = keptFromLeftover(ByteView(work), start, sync.at(start), dollar.at(start), crLf.at(start));
}

// The leftover of a finished scan is the unfinished frame from the first sync pair on (or, with
// no sync pair, the last byte, which may pair with the next block's first), behind stray bytes
// that no pass could remove. Those stray bytes matter to later passes only through three facts:
// whether they hold a CR LF, whether they hold a '$' (always after that CR LF, or the text-line
// rule would have removed them), and whether they end in a CR that may pair with an LF still to
// come. A long run of them is replaced by bytes with the same three facts, so a stream that never
// carries a frame keeps the pending bytes small, and every later result stays the same.
std::vector<std::uint8_t> UbxFrameScanner::keptFromLeftover(ByteView work, std::size_t start,
                                                            std::size_t firstSync,
                                                            std::size_t firstDollar,
                                                            std::size_t firstCrLf) {
    const std::size_t keepFrom = firstSync != kAbsent ? firstSync : work.size() - 1;
    if (start >= work.size() || keepFrom - start <= kStrayBytesKeptVerbatim) {
        return {work.begin() + static_cast<std::ptrdiff_t>(start), work.end()};
    }
    const bool strayCrLf = firstCrLf != kAbsent && firstCrLf + 1 < keepFrom;
    const bool strayDollar = firstDollar != kAbsent && firstDollar < keepFrom;
    const bool endsInCr = work[keepFrom - 1] == kCr;
    std::vector<std::uint8_t> kept;
    if (strayCrLf) kept.insert(kept.end(), {kCr, kLf});
    if (strayDollar) kept.push_back(kDollar);
    if (!strayCrLf && endsInCr) kept.push_back(kCr);
    kept.insert(kept.end(), work.begin() + static_cast<std::ptrdiff_t>(keepFrom), work.end());
    return kept;
}

}  // namespace tessaly
