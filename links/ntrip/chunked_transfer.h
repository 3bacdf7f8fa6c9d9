// HTTP chunked transfer coding, which a revision-2 NTRIP caster may use for the stream it sends
// and expects for the stream a source pushes. The decoder is a small state machine that takes
// the body in whatever pieces the socket delivers: a chunk's size line, its data and its line end
// may each be cut anywhere.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessaly {

class ChunkedDecoder {
public:
    // Appends the stream bytes of `piece` to `out`. False once the coding is broken (a size that
    // is not hexadecimal or too large, data not followed by CR LF); the rest is then not stream.
    bool feed(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out);
    // The last chunk (size 0) came: the sender ended the stream.
    bool ended() const { return state_ == State::End; }

private:
    enum class State { Size, Extension, SizeLf, Data, DataCr, DataLf, Trailer, End, Broken };
    bool step(std::uint8_t byte);

    State state_ = State::Size;
    std::uint64_t left_ = 0;  // of the current chunk's data, or its size while it is read
    int sizeDigits_ = 0;
    int trailerLineLength_ = 0;
};

// One chunk holding `block`; nothing for an empty block (an empty chunk would end the stream).
std::vector<std::uint8_t> chunkOf(std::span<const std::uint8_t> block);

}  // namespace tessaly
