// The texts the user reads while working that exist in English and Japanese: the hints of six
// controls, the messages of the link and command checks, the questions before a command that
// clears the receiver, its answers and the pieces of the rover line. Every other text of the
// window is English only. The language follows the user's locale and is decided once per run.
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
    // A settings path that names a FIFO, device or folder: read as empty, never written.
    CannotUseSettings,
    // After the status line: relayed bytes the monitor skipped; "%1" is their amount.
    MonitorSkipped,
    // The rover line under the grids; "%1" and "%2" stand for numbers.
    RoverPrefix,
    RoverNoFix,
    Rover2dFix,
    Rover3dFix,
    RoverDgnss,
    RoverFloat,
    RoverFixed,
    RoverFixUnknown,
    RoverNoPosition,
    RoverSatellites,
    RoverL6Used,
    RoverCorrectionAge,
    RoverSilent,
    // The questions before a command that clears what the receiver keeps; "%1" is the command's name.
    ConfirmClearNavigationData,
    ConfirmClearConfiguration,
    // The receiver's answer to a command, after the status line; "%1" is the command's name.
    CommandAcknowledged,
    CommandRefusedByReceiver,
    CommandUnanswered,
};

// Japanese for the locale of Japanese as used in Japan ("ja_JP", with or without an encoding or
// modifier), English for every other.
UiLanguage uiLanguageForLocale(std::string_view localeName);

// UTF-8.
std::string uiText(UiText row, UiLanguage language);

}  // namespace tessaly
