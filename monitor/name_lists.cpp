#include "monitor/name_lists.h"

namespace tessaly {
namespace {

std::string_view trimmed(std::string_view item) {
    const auto isBlankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!item.empty() && isBlankOrControl(item.front())) item.remove_prefix(1);
    while (!item.empty() && isBlankOrControl(item.back())) item.remove_suffix(1);
    return item;
}

}  // namespace

std::vector<std::string> splitNameList(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        items.emplace_back(trimmed(text.substr(0, comma)));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return items;
}

}  // namespace tessaly
