// Conversions between the UTF-8 texts of the core and the UTF-16 code units in which the
// system's texts are measured (command texts, settings files). Both directions accept any input:
// a byte that does not start a well-formed UTF-8 sequence stands for itself (as Latin-1), and a
// lone surrogate becomes U+FFFD, so damaged text never stops a caller.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

std::u16string utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::u16string_view units);

}  // namespace tessaly
