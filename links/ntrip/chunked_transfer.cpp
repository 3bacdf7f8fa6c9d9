#include "links/ntrip/chunked_transfer.h"

#include <algorithm>
#include <cstdio>

namespace tessaly {
namespace {

// A chunk size beyond 15 hex digits is no stream a caster sends.
constexpr int kMaxSizeDigits = 15;

int hexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ChunkedDecoder::feed(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < piece.size() && state_ != State::Broken && state_ != State::End) {
        if (state_ == State::Data) {
            // The data of a chunk is copied in one go rather than a byte at a time.
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, piece.size() - i));
            out.insert(out.end(), piece.begin() + static_cast<std::ptrdiff_t>(i),
                       piece.begin() + static_cast<std::ptrdiff_t>(i + n));
            i += n;
            left_ -= n;
            if (left_ == 0) state_ = State::DataCr;
            continue;
        }
        if (!step(piece[i++])) state_ = State::Broken;
    }
    return state_ != State::Broken;
}

bool ChunkedDecoder::step(std::uint8_t byte) {
    switch (state_) {
    case State::Size:
        if (const int digit = hexValue(byte); digit >= 0) {
            if (++sizeDigits_ > kMaxSizeDigits) return false;
            left_ = left_ * 16 + static_cast<std::uint64_t>(digit);
            return true;
        }
        if (sizeDigits_ == 0) return false;
        if (byte == ';' || byte == ' ' || byte == '\t') {
            state_ = State::Extension;  // chunk extensions mean nothing to a stream
            return true;
        }
        if (byte != '\r') return false;
        state_ = State::SizeLf;
        return true;
    case State::Extension:
        if (byte == '\r') state_ = State::SizeLf;
        return true;
    case State::SizeLf:
        if (byte != '\n') return false;
        sizeDigits_ = 0;
        if (left_ == 0) {
            state_ = State::Trailer;
            trailerLineLength_ = 0;
        } else {
            state_ = State::Data;
        }
        return true;
    case State::DataCr:
        state_ = State::DataLf;
        return byte == '\r';
    case State::DataLf:
        state_ = State::Size;
        return byte == '\n';
    case State::Trailer:
        // Trailer lines until an empty one; what they say is of no use here.
        if (byte == '\n') {
            if (trailerLineLength_ == 0) state_ = State::End;
            trailerLineLength_ = 0;
        } else if (byte != '\r') {
            ++trailerLineLength_;
        }
        return true;
    case State::Data:
    case State::End:
    case State::Broken:
        break;
    }
    return false;
}

std::vector<std::uint8_t> chunkOf(std::span<const std::uint8_t> block) {
    if (block.empty()) return {};
    char size[20];
    const int n = std::snprintf(size, sizeof size, "%zX\r\n", block.size());
    std::vector<std::uint8_t> chunk(size, size + n);
    chunk.insert(chunk.end(), block.begin(), block.end());
    chunk.push_back('\r');
    chunk.push_back('\n');
    return chunk;
}

}  // namespace tessaly
