// The texts the user reads while working that exist in English and Japanese: the hints of six
// controls and the messages of the link and command checks. Every other text of the window is
// English only. The language follows the user's locale and is decided once per run.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

enum class UiLanguage { English, Japanese };

enum class UiText {
    HintStatusLine = 1,
    HintSaveLog,
    HintSerialInput,
    HintTcpInput,
    HintSerialOutput,
    HintTcpOutput,
    SamePort,
    SameHostAndPort,
    CannotOpenComPort,
    CannotOpenTcpHost,
    WrongChecksum,
    CommandInvalid,
    HintStopLog,
    InputLinkLost,
    OutputLinkLost,
    CannotSaveSettings,
};

// Japanese for the locale of Japanese as used in Japan ("ja_JP", with or without an encoding or
// modifier), English for every other.
UiLanguage uiLanguageForLocale(std::string_view localeName);

// UTF-8.
std::string uiText(UiText row, UiLanguage language);

}  // namespace tessaly
