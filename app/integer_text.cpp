#include "app/integer_text.h"

#include <charconv>
#include <stdexcept>
#include <string>

namespace tessaly {

int integerFromText(std::string_view text) {
    const auto fail = [&] {
        return std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    };
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    int base = 10;
    if (rest.starts_with("$")) {
        base = 16;
        rest.remove_prefix(1);
    } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
        base = 16;
        rest.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value, base);
    if (rest.empty() || error != std::errc() || end != rest.data() + rest.size()) throw fail();
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) throw fail();
    return static_cast<int>(value);
}

}  // namespace tessaly
