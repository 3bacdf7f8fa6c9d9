// tessaly-cli decode: replays a recorded receiver stream through the same scanner and decoder the
// window uses, in blocks of a chosen size, prints what it found and can write the CSV log.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

// A block is read whole into memory; beyond this a block tells nothing more about the scanner.
inline constexpr std::size_t kMaxDecodeBlockSize = 16 * 1024 * 1024;

struct DecodeOptions {
    std::string inputPath;
    std::size_t blockSize = 1024;  // the input TCP link's block
    std::optional<std::string> csvPath;
    bool utc = false;
    bool returnStream = false;  // the file is a capture of the return stream
};

// Reads the arguments after "decode". On failure returns nothing and sets `error`.
std::optional<DecodeOptions> parseDecodeOptions(const std::vector<std::string>& args,
                                                std::string& error);

// Returns the process exit status: 0; 1 with a one-line message on `err` when the CSV log could
// not be written whole; 2 with a one-line message when the file or the CSV log cannot be opened.
int runDecode(const DecodeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tessaly
