// The texts of the port selectors: a port number read out of a text, a port list entry built
// from a number and a friendly name, and the tidy bare port name a chosen entry is cut back to.
// Pure functions, used by the port list, the window's port and bit-rate combo boxes and the CLI.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The first run of decimal digits in the text, as a number: "COM12" gives 12, "115200" gives
// 115200, "-5" gives 5. 0 when there is no digit or the number does not fit in 32 bits.
std::int32_t portNumberFromText(std::string_view text);

// "COM" and the number, then the friendly name (when there is one) so that it starts at the
// seventh character: "COM3  u-blox GNSS receiver (ttyACM0)", "COM12 Bluetooth ...".
std::string portListEntry(std::int32_t portNo, std::string_view friendlyName);

// What the port combo box shows after an entry was chosen: the entry's first 6 characters
// without blanks and control characters at either end ("COM3", "COM12").
std::string tidyPortText(std::string_view text);

}  // namespace tessaly
