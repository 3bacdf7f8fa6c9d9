#include "app/command_buttons.h"

#include "app/name_lists.h"

namespace tessaly {
namespace {

std::string_view trimmed(std::string_view text) { return trimmedOfBlanksAndControls(text); }

// The first character, whole even when it takes several UTF-8 bytes.
std::string firstCharacter(std::string_view text) {
    if (text.empty()) return {};
    std::size_t length = 1;
    while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) ++length;
    return std::string(text.substr(0, length));
}

}  // namespace

std::string commandButtonComment(std::string_view commandText) {
    const std::size_t semicolon = commandText.find(';');
    if (semicolon == std::string_view::npos) return {};
    return std::string(trimmed(commandText.substr(semicolon + 1)));
}

CommandButtonLayout layoutCommandButtons(const std::array<std::string, 4>& commandTexts) {
    CommandButtonLayout layout;
    int position = kCommandButtonsLeft;
    for (std::size_t i = 0; i < commandTexts.size(); ++i) {
        const std::string comment = commandButtonComment(commandTexts[i]);
        CommandButtonLook& look = layout.buttons[i];
        if (comment.empty()) continue;
        const std::size_t colon = comment.find(':');
        const std::string_view captionPart =
            trimmed(std::string_view(comment).substr(0, colon));
        if (colon != std::string::npos) look.hint = std::string(trimmed(std::string_view(comment).substr(colon + 1)));
        // A comment that starts with ":" has no caption part: the button still needs a face.
        look.caption = captionPart.empty() ? "?" : firstCharacter(captionPart);
        look.visible = true;
        look.left = position;
        // Neighbours share one pixel column.
        position += kCommandButtonWidth - 1;
    }
    layout.statusLineLeft = position + 8;
    return layout;
}

}  // namespace tessaly
