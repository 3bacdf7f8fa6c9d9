// Reads the number after a command-line option, whole text only, within a range.
#pragma once

#include <charconv>
#include <optional>
#include <string>

namespace tessaly {

template <typename T>
std::optional<T> parseNumberOption(const std::string& text, T min, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tessaly
