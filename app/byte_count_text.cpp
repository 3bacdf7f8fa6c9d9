#include "app/byte_count_text.h"

#include <cstdio>

namespace tessaly {

std::string byteCountText(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + " B";
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
    double amount = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // 999.95 would print as "1000.0": such an amount is shown in the next unit.
    while (amount >= 999.95 && unit + 1 < std::size(kUnits)) {
        amount /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", amount, kUnits[unit]);
    return text;
}

}  // namespace tessaly
