// Hands a recorded stream on in blocks of a chosen size, as a link would have delivered it, for
// the offline decodes of the input and the return stream.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>

#include "monitor/ubx_frame.h"

namespace tessaly {

// Reads `input` to its end in blocks of `blockSize` bytes (the last may be shorter) and calls
// `scan` with each. Returns the bytes read, or nothing when reading failed.
std::optional<std::uint64_t> replayInBlocks(std::istream& input, std::size_t blockSize,
                                            const std::function<void(ByteView)>& scan);

}  // namespace tessaly
