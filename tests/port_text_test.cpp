// What the window's port combo boxes read out of a text, and what a chosen entry is cut back to.
#include <gtest/gtest.h>

#include "app/port_text.h"

namespace tessaly {
namespace {

TEST(PortNumberFromText, TakesTheFirstRunOfDigits) {
    const struct {
        const char* text;
        std::int32_t portNo;
    } cases[] = {
        {"COM12", 12},
        {"COM3  u-blox GNSS receiver (COM3)", 3},
        {"115200", 115200},
        {"", 0},
        {"COM", 0},
        {"-5", 5},
        {"COM7x8", 7},
        {"2147483647", 2147483647},
        {"COM2147483648", 0},
        {"99999999999999999999", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(portNumberFromText(c.text), c.portNo) << '"' << c.text << '"';
}

TEST(TidyPortText, CutsAChosenEntryBackToItsPortName) {
    EXPECT_EQ(tidyPortText("COM3  u-blox GNSS receiver (ttyACM0)"), "COM3");
    EXPECT_EQ(tidyPortText("COM12 Bluetooth serial port"), "COM12");
    EXPECT_EQ(tidyPortText("\tCOM4\r\n"), "COM4");
    EXPECT_EQ(tidyPortText(""), "");
}

}  // namespace
}  // namespace tessaly
