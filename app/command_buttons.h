// How the four command buttons show their command texts: the comment after a text's first ";"
// gives its button a one-letter caption and a hint ("H:Hot start"); a text without comment hides
// its button, and the visible buttons close up from the left, the status line after them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tessaly {

struct CommandButtonLook {
    bool visible = false;
    std::string caption;  // one character
    std::string hint;
    int left = 0;
};

struct CommandButtonLayout {
    std::array<CommandButtonLook, 4> buttons;
    int statusLineLeft = 0;
};

inline constexpr int kCommandButtonsLeft = 8;  // the left edge of the channel A grid
inline constexpr int kCommandButtonWidth = 16;

// The comment of a command text: everything after its first ";", escaped or not, trimmed.
std::string commandButtonComment(std::string_view commandText);

CommandButtonLayout layoutCommandButtons(const std::array<std::string, 4>& commandTexts);

}  // namespace tessaly
