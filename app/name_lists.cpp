#include "app/name_lists.h"

namespace tessaly {
std::string_view trimmedOfBlanksAndControls(std::string_view text) {
    const auto isBlankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> splitNameList(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        items.emplace_back(trimmedOfBlanksAndControls(text.substr(0, comma)));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return items;
}

}  // namespace tessaly
