#include "station/command_text.h"

#include <cstdio>
#include <utility>

#include "settings/utf16_text.h"
#include "monitor/ubx_frame.h"

namespace tessaly {
namespace {

constexpr char16_t kBackslash = u'\\';

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

class CommandTextReader {
public:
    std::vector<CommandStep> read(const std::u16string& text) {
        std::size_t i = 0;
        while (i < text.size()) {
            const char16_t c = text[i];
            if (c == kBackslash) {
                i = readEscape(text, i + 1);
                protectedLength_ = frame_.size();
            } else if (c == u';') {
                sendTrimmed();
                return std::move(steps_);
            } else if (c == u'|') {
                sendTrimmed();
                steps_.push_back({CommandStep::Kind::WaitAfterFrame, {}});
                frame_.clear();
                ++i;
            } else {
                if (c != u'\t' && !(c == u' ' && frame_.empty())) frame_.push_back(static_cast<std::uint8_t>(c));
                ++i;
            }
        }
        if (!frame_.empty()) steps_.push_back({CommandStep::Kind::SendFrame, frame_});
        return std::move(steps_);
    }

private:
    // After the backslash at `i - 1`; returns where reading goes on.
    std::size_t readEscape(const std::u16string& text, std::size_t i) {
        if (i >= text.size()) {
            frame_.push_back(0x00);
            return i;
        }
        if (text[i] == u'*') {
            frame_.push_back(0xAA);
            return i + 1;
        }
        const int high = hexDigit(text[i]);
        if (high < 0) {
            frame_.push_back(static_cast<std::uint8_t>(text[i]));
            return i + 1;
        }
        const int low = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        if (low < 0) {
            frame_.push_back(static_cast<std::uint8_t>(high));
            return i + 1;
        }
        frame_.push_back(static_cast<std::uint8_t>(high << 4 | low));
        return i + 2;
    }

    // Plain blanks at the end go, but never a byte that an escape wrote (an escaped "\20").
    void sendTrimmed() {
        while (frame_.size() > protectedLength_ && frame_.back() == 0x20) frame_.pop_back();
        if (!frame_.empty()) steps_.push_back({CommandStep::Kind::SendFrame, frame_});
    }

    CommandBytes frame_;
    // The frame's length right after the last escape anywhere earlier in the text; a "|" does
    // not reset it.
    std::size_t protectedLength_ = 0;
    std::vector<CommandStep> steps_;
};

std::string hexPair(UbxChecksum ck) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", ck.ckA, ck.ckB);
    return text;
}

}  // namespace

std::vector<CommandStep> parseCommandText(std::string_view text) {
    return CommandTextReader().read(utf16FromUtf8(text));
}

CheckedFrame checkCommandFrame(CommandBytes frame) {
    const std::size_t length = frame.size() >= kUbxHeaderSize ? ubxPayloadLength(frame) : 0;
    const std::size_t withoutChecksum = length + kUbxHeaderSize;
    if (frame.size() >= kUbxHeaderSize && frame.size() >= withoutChecksum) {
        const UbxChecksum ck = ubxChecksum(ByteView(frame).subspan(2, length + 4));
        if (frame.size() == withoutChecksum) {
            frame.push_back(ck.ckA);
            frame.push_back(ck.ckB);
        } else if (!isValidUbxFrame(frame)) {
            return {std::nullopt, hexPair(ck)};
        }
    }
    frame.push_back(0x0D);
    frame.push_back(0x0A);
    return {std::move(frame), {}};
}

std::vector<TimedStep> commandTextSteps(std::string_view text, const CommandTextOutputs& outputs) {
    std::vector<TimedStep> steps;
    std::int32_t pause = 0;
    for (CommandStep& step : parseCommandText(text)) {
        if (step.kind == CommandStep::Kind::WaitAfterFrame) {
            pause += kCommandPauseMs;
            continue;
        }
        steps.push_back({std::exchange(pause, 0), [outputs, frame = std::move(step.frame)] {
                             CheckedFrame checked = checkCommandFrame(frame);
                             if (checked.bytes) {
                                 outputs.writeToInput(*checked.bytes);
                             } else {
                                 outputs.refused(checked.expectedChecksum);
                             }
                         }});
    }
    if (pause > 0) steps.push_back({pause, {}});
    return steps;
}

}  // namespace tessaly
