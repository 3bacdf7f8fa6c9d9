// Which command texts change the L6 receiver in a way the user cannot take back with another
// click, so that the window asks first. Judged from the bytes that would leave, not from the
// button's caption: a renamed button or a hand-written text is judged the same.
#pragma once

#include <string_view>

#include "monitor/ubx_frame.h"

namespace tessaly {

// Ordered by how much the receiver loses.
enum class CommandRisk {
    None,
    // A reset that clears more than the ephemeris (the warm start's bit 0 of navBbrMask): the
    // receiver starts from nothing and needs minutes to receive again.
    ClearsNavigationData,
    // A configuration command with a non-zero clearMask: the saved settings go back to defaults.
    ClearsConfiguration,
};

// One whole UBX frame (sync bytes through checksum); anything else is harmless.
CommandRisk frameRisk(ByteView frame);

// The gravest risk among the frames the text would send; a frame that would be refused for its
// checksum never leaves and counts for nothing.
CommandRisk commandRisk(std::string_view commandText);

}  // namespace tessaly
