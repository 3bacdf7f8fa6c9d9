#include "app/port_text.h"

#include <cstdint>
#include <limits>

namespace tessaly {

std::int32_t portNumberFromText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] < '0' || text[at] > '9')) ++at;
    if (at == text.size()) return 0;
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return 0;
    }
    return static_cast<std::int32_t>(value);
}

std::string tidyPortText(std::string_view text) {
    std::string_view head = text.substr(0, 6);
    // Blanks and control characters are everything up to and including the space.
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!head.empty() && isBlank(head.front())) head.remove_prefix(1);
    while (!head.empty() && isBlank(head.back())) head.remove_suffix(1);
    return std::string(head);
}

}  // namespace tessaly
