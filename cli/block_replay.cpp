#include "cli/block_replay.h"

#include <istream>
#include <vector>

namespace tessaly {

std::optional<std::uint64_t> replayInBlocks(std::istream& input, std::size_t blockSize,
                                            const std::function<void(ByteView)>& scan) {
    std::vector<std::uint8_t> block(blockSize);
    std::uint64_t total = 0;
    while (input) {
        input.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(input.gcount());
        // An empty block would empty the scanner's pending bytes: the end of the file is not a block.
        if (got == 0) break;
        scan(ByteView(block.data(), got));
        total += got;
    }
    if (input.bad()) return std::nullopt;
    return total;
}

}  // namespace tessaly
