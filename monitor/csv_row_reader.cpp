#include "monitor/csv_row_reader.h"

#include <array>
#include <charconv>

#include "monitor/civil_time.h"

namespace tessaly {
namespace {

constexpr std::size_t kRowFields = 30;
constexpr std::size_t kBlockFields = 14;
// Places within a report block.
constexpr std::size_t kSvidField = 1;
constexpr std::size_t kCnoField = 2;
constexpr std::size_t kTimeTagField = 3;
constexpr std::size_t kChnField = 6;
constexpr std::size_t kErrStatusField = 8;
constexpr std::size_t kPrnField = 9;  // the first of the five header fields

using Fields = std::array<std::string_view, kRowFields>;

bool splitFields(std::string_view line, Fields& fields) {
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        if (count == kRowFields) return false;
        fields[count++] = line.substr(start, comma - start);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return count == kRowFields;
}

template <typename T>
std::optional<T> wholeNumber(std::string_view text, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint8_t> byteField(std::string_view text) {
    const auto value = wholeNumber<unsigned>(text, 255);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

// A block of the channel whose receiver channel number is `chn`: empty when the channel had no
// report, else every report field a number and the header fields only for an error-free report.
bool readBlock(const std::string_view* block, std::uint8_t chn, ChannelSecond& second) {
    bool anyFilled = false;
    for (std::size_t i = 0; i < kBlockFields; ++i) anyFilled = anyFilled || !block[i].empty();
    if (!anyFilled) return true;
    for (std::size_t i = 0; i < kPrnField; ++i) {
        if (i == kCnoField || i == kTimeTagField) continue;
        if (!byteField(block[i])) return false;
    }
    const auto cno = cnoMilliOf(block[kCnoField]);
    const auto errStatus = wholeNumber<unsigned>(block[kErrStatusField], 3);
    if (!cno || !wholeNumber<std::uint32_t>(block[kTimeTagField], UINT32_MAX) || !errStatus ||
        *errStatus == kErrStatusUnknown || *byteField(block[kChnField]) != chn) {
        return false;
    }
    const bool errorFree = *errStatus == kErrStatusErrorFree;
    for (std::size_t i = kPrnField; i < kBlockFields; ++i) {
        if (errorFree ? !byteField(block[i]) : !block[i].empty()) return false;
    }
    second.cnoMilli = *cno;
    second.errStatus = static_cast<std::uint8_t>(*errStatus);
    second.svid = *byteField(block[kSvidField]);
    if (errorFree) second.prn = *byteField(block[kPrnField]);
    return true;
}

}  // namespace

std::optional<std::int32_t> cnoMilliOf(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto units = wholeNumber<std::int32_t>(whole, 1000000);
    if (!units || decimals.size() > 3 || (point != std::string_view::npos && decimals.empty())) {
        return std::nullopt;
    }
    std::int32_t milli = *units * 1000;
    std::int32_t scale = 100;
    for (const char c : decimals) {
        if (c < '0' || c > '9') return std::nullopt;
        milli += (c - '0') * scale;
        scale /= 10;
    }
    return milli;
}

std::optional<PairSecond> parseCsvRow(std::string_view line, bool utc) {
    Fields fields;
    if (!splitFields(line, fields)) return std::nullopt;
    const auto stamp = parseCsvTimestamp(fields[0]);
    if (!stamp) return std::nullopt;
    PairSecond second;
    second.timeMs = epochMsOf(*stamp, utc);
    if (!readBlock(&fields[1], 0, second.a) || !readBlock(&fields[1 + kBlockFields], 1, second.b)) {
        return std::nullopt;
    }
    // Both blocks may be empty: the very first report of a stream, channel A's, is evaluated
    // against no report at all, and neither block holds it.
    const std::string_view flag = fields[kRowFields - 1];
    if (flag != "0" && flag != "1") return std::nullopt;
    second.bothFailed = flag == "1";
    return second;
}

}  // namespace tessaly
