// The texts of the window's port and bit-rate combo boxes: the number read out of what the user
// typed or chose, and the tidy bare port name a chosen port list entry is cut back to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The first run of decimal digits in the text, as a number: "COM12" gives 12, "115200" gives
// 115200, "-5" gives 5. 0 when there is no digit or the number does not fit in 32 bits.
std::int32_t portNumberFromText(std::string_view text);

// What the port combo box shows after an entry was chosen: the entry's first 6 characters
// without blanks and control characters at either end ("COM3", "COM12").
std::string tidyPortText(std::string_view text);

}  // namespace tessaly
