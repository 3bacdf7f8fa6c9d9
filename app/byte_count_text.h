// An amount of bytes as a short line shows it: "512 B", "4.2 kB", "5.3 MB", "1.2 GB" (powers of
// 1000, one decimal above bytes), so that a count of gigabytes still fits beside the status text.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

std::string byteCountText(std::uint64_t bytes);

}  // namespace tessaly
