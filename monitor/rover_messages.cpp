#include "monitor/rover_messages.h"

#include <array>
#include <charconv>
#include <cmath>
#include <vector>

namespace tessaly {
namespace {

std::uint16_t u16At(ByteView payload, std::size_t at) {
    return static_cast<std::uint16_t>(payload[at] | payload[at + 1] << 8);
}

std::uint32_t u32At(ByteView payload, std::size_t at) {
    return static_cast<std::uint32_t>(payload[at]) | static_cast<std::uint32_t>(payload[at + 1]) << 8 |
           static_cast<std::uint32_t>(payload[at + 2]) << 16 | static_cast<std::uint32_t>(payload[at + 3]) << 24;
}

// The payload of a valid frame when it has exactly the documented size.
std::optional<ByteView> payloadOfSize(ByteView frame, std::size_t size) {
    if (frame.size() != size + kUbxFrameOverhead) return std::nullopt;
    return frame.subspan(kUbxHeaderSize, size);
}

RoverFix navPvtFix(std::uint8_t fixType, std::uint8_t flags) {
    constexpr std::uint8_t kGnssFixOk = 0x01;
    constexpr std::uint8_t kDiffSoln = 0x02;
    if (fixType > 5) return RoverFix::Unknown;
    // Dead reckoning alone and a time-only fix give no position from the satellites; a fix
    // outside the receiver's masks is one it does not stand by.
    if (!(flags & kGnssFixOk) || fixType == 0 || fixType == 1 || fixType == 5) return RoverFix::None;
    switch (flags >> 6) {
        case 1: return RoverFix::Float;
        case 2: return RoverFix::Fixed;
        case 3: return RoverFix::Unknown;
        default: break;
    }
    if (flags & kDiffSoln) return RoverFix::Dgnss;
    return fixType == 2 ? RoverFix::Fix2d : RoverFix::Fix3d;
}

RoverFix ggaFix(unsigned quality) {
    switch (quality) {
        case 1: return RoverFix::Fix3d;  // a single-point fix
        case 2: return RoverFix::Dgnss;
        case 3: return RoverFix::Fix3d;  // a precise-service fix, still without corrections
        case 4: return RoverFix::Fixed;
        case 5: return RoverFix::Float;
        // 0 no fix; 6 dead reckoning, 7 manual input, 8 simulator: no fix from the satellites.
        default: return RoverFix::None;
    }
}

std::vector<std::string_view> fieldsOf(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        fields.push_back(text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        if (comma == std::string_view::npos) return fields;
        from = comma + 1;
    }
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// An empty field is an absent value; anything else must be a number.
template <typename Number>
bool parseOptional(std::string_view text, std::optional<Number>& value) {
    if (text.empty()) return true;
    Number parsed{};
    if (!parseWhole(text, parsed)) return false;
    value = parsed;
    return true;
}

std::optional<unsigned> hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

// The text between "$" and "*" when the two hex digits after "*" are the XOR of its characters.
std::optional<std::string_view> checkedBody(std::string_view sentence) {
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r')) sentence.remove_suffix(1);
    if (sentence.size() < 4 || sentence.front() != '$' || sentence[sentence.size() - 3] != '*') return std::nullopt;
    const auto high = hexDigit(sentence[sentence.size() - 2]);
    const auto low = hexDigit(sentence[sentence.size() - 1]);
    if (!high || !low) return std::nullopt;
    const std::string_view body = sentence.substr(1, sentence.size() - 4);
    unsigned checksum = 0;
    for (const char c : body) checksum ^= static_cast<unsigned char>(c);
    if (checksum != (*high << 4 | *low)) return std::nullopt;
    return body;
}

std::string fixedText(double value, int decimals) {
    std::array<char, 64> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value,
                                         std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(text.data(), end) : std::string("?");
}

}  // namespace

const char* roverFixName(RoverFix fix) {
    switch (fix) {
        case RoverFix::None: return "none";
        case RoverFix::Fix2d: return "2d";
        case RoverFix::Fix3d: return "3d";
        case RoverFix::Dgnss: return "dgnss";
        case RoverFix::Float: return "float";
        case RoverFix::Fixed: return "fixed";
        case RoverFix::Unknown: break;
    }
    return "unknown";
}

std::optional<double> correctionAgeForCode(unsigned code) {
    // Codes 1 to 12 stand for 0-1, 1-2, 2-5, 5-10, 10-15, 15-20, 20-30, 30-45, 45-60, 60-90,
    // 90-120 and 120 or more seconds.
    constexpr std::array<double, 13> kUpperEnd = {0, 1, 2, 5, 10, 15, 20, 30, 45, 60, 90, 120, 120};
    if (code == 0 || code >= kUpperEnd.size()) return std::nullopt;
    return kUpperEnd[code];
}

std::optional<RoverSolution> decodeNavPvt(ByteView frame) {
    const auto payload = payloadOfSize(frame, kNavPvtPayloadSize);
    if (!payload) return std::nullopt;
    RoverSolution solution;
    solution.fix = navPvtFix((*payload)[20], (*payload)[21]);
    solution.numSv = (*payload)[23];
    solution.hAccM = u32At(*payload, 40) / 1000.0;
    solution.correctionAgeS = correctionAgeForCode((u16At(*payload, 78) >> 1) & 0x0F);
    return solution;
}

std::optional<CorrectionReport> decodeRxmCor(ByteView frame) {
    const auto payload = payloadOfSize(frame, kRxmCorPayloadSize);
    if (!payload) return std::nullopt;
    const std::uint32_t statusInfo = u32At(*payload, 4);
    CorrectionReport report;
    report.protocol = static_cast<std::uint8_t>(statusInfo & 0x1F);
    report.errStatus = static_cast<std::uint8_t>(statusInfo >> 5 & 0x03);
    report.msgUsed = static_cast<std::uint8_t>(statusInfo >> 7 & 0x03);
    report.msgType = u16At(*payload, 8);
    report.msgSubType = u16At(*payload, 10);
    return report;
}

bool isGgaSentence(std::string_view sentence) {
    // "$", a two-letter talker, "GGA" and the first field separator.
    return sentence.size() >= 7 && sentence[0] == '$' && sentence.substr(3, 4) == "GGA,";
}

std::optional<RoverSolution> decodeGga(std::string_view sentence) {
    const auto body = checkedBody(sentence);
    if (!body) return std::nullopt;
    const std::vector<std::string_view> fields = fieldsOf(*body);
    constexpr std::size_t kQuality = 6, kNumSv = 7, kAge = 13, kFieldCount = 15;
    if (fields.size() < kFieldCount) return std::nullopt;
    unsigned quality = 0;
    if (!parseWhole(fields[kQuality], quality) || quality > 8) return std::nullopt;
    RoverSolution solution;
    solution.fix = ggaFix(quality);
    if (!parseOptional(fields[kNumSv], solution.numSv)) return std::nullopt;
    if (!parseOptional(fields[kAge], solution.correctionAgeS)) return std::nullopt;
    if (solution.correctionAgeS && !(std::isfinite(*solution.correctionAgeS) && *solution.correctionAgeS >= 0)) {
        return std::nullopt;
    }
    return solution;
}

std::string roverMetresText(double metres) { return fixedText(metres, 3); }

std::string roverSecondsText(double seconds) {
    return fixedText(seconds, std::floor(seconds) == seconds ? 0 : 1);
}

}  // namespace tessaly
