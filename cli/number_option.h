// Reads the number after a command-line option, whole text only, within the option's range; a
// value outside it is refused with one line naming the range. A floating-point "nan" is in no
// range.
#pragma once

#include <charconv>
#include <optional>
#include <sstream>
#include <string>

namespace tessaly {

template <typename T>
std::optional<T> parseNumberOption(const std::string& name, const std::string& text, T min, T max,
                                   std::string& error) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !(value >= min && value <= max)) {
        std::ostringstream message;
        message << name << " needs a number from " << min << " to " << max << ", not '" << text << "'";
        error = message.str();
        return std::nullopt;
    }
    return value;
}

}  // namespace tessaly
