// Command texts: the bytes the program itself sends to the L6 receiver, written as text. A
// backslash and one or two hexadecimal digits give a byte ("\B5"), "\*" gives 0xAA, a backslash
// before any other character gives that character; "|" ends a frame and waits a second before
// the next; ";" ends the command and starts its comment; blanks before a frame's first byte and
// every TAB are skipped; plain blanks at the end of a frame are dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/command_sequence.h"

namespace tessaly {

using CommandBytes = std::vector<std::uint8_t>;

// What a command text does, in order: send a frame, or wait a second ("|").
struct CommandStep {
    enum class Kind { SendFrame, WaitAfterFrame } kind;
    CommandBytes frame;  // SendFrame only; never empty
    bool operator==(const CommandStep&) const = default;
};

// The text is UTF-8; each character counts as its UTF-16 code units, of which the low 8 bits
// become the byte, so ASCII characters are sent as themselves.
std::vector<CommandStep> parseCommandText(std::string_view text);

// How a frame leaves: completed or checked as a UBX frame, then followed by CR LF.
struct CheckedFrame {
    std::optional<CommandBytes> bytes;  // what to write, CR LF included; absent: nothing is sent
    // When nothing is sent: a whole UBX frame whose checksum is wrong, and the right one as two
    // hexadecimal pairs ("1068"), for the face to word in the user's language.
    std::string expectedChecksum;
};
// A frame of a UBX header and payload without checksum gets its checksum appended; a longer one
// must be exactly one valid UBX frame; shorter ones (plain text) go unchecked.
CheckedFrame checkCommandFrame(CommandBytes frame);

// The firmware-version poll (UBX-MON-VER, empty payload), sent after every input open and every
// receiver command; the reply's firmware text appears in the status line.
inline constexpr std::string_view kFirmwareVersionPoll = "\\B5\\62\\0A\\04\\00\\00\\0E\\34";

// Where a command text's frames go. Called from the steps of a timed run, as their times come.
struct CommandTextOutputs {
    std::function<void(const CommandBytes& bytes)> writeToInput;  // every open input link
    std::function<void(const std::string& expectedChecksum)> refused;  // see CheckedFrame
};

// The pause after every "|".
inline constexpr std::int32_t kCommandPauseMs = 1000;

// The timed steps of a command text: every frame in turn, checked when its time comes, a pause
// of kCommandPauseMs after every "|" (one at the very end too, before whatever follows).
std::vector<TimedStep> commandTextSteps(std::string_view text, const CommandTextOutputs& outputs);

}  // namespace tessaly
