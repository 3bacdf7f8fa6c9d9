// Reading an integer typed into a field the way the TCP port fields are read: an optional sign,
// decimal digits (or hexadecimal after "$" or "0x"), leading blanks allowed, nothing after.
#pragma once

#include <string_view>

namespace tessaly {

// Throws std::invalid_argument with "'<text>' is not a valid integer value".
int integerFromText(std::string_view text);

}  // namespace tessaly
