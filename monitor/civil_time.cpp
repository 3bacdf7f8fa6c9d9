#include "monitor/civil_time.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace tessaly {

CivilTime civilTime(std::chrono::system_clock::time_point t, bool utc) {
    using namespace std::chrono;
    const auto sinceEpoch = t.time_since_epoch();
    auto seconds = duration_cast<std::chrono::seconds>(sinceEpoch);
    if (seconds > sinceEpoch) seconds -= std::chrono::seconds(1);  // floor for times before 1970
    const auto millis = duration_cast<milliseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm parts{};
    if (utc) {
        gmtime_r(&whole, &parts);
    } else {
        localtime_r(&whole, &parts);
    }
    return CivilTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     static_cast<int>(millis)};
}

std::string timeOfDayText(const CivilTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

std::string csvTimestampText(const CivilTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond / 100);
    return text;
}

namespace {

// Reads exactly `count` digits at `at`, moving past them.
std::optional<int> digitsAt(std::string_view text, std::size_t& at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    at += count;
    return value;
}

bool separatorAt(std::string_view text, std::size_t& at, char separator) {
    if (at >= text.size() || text[at] != separator) return false;
    ++at;
    return true;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<CivilTime> parseCsvTimestamp(std::string_view text) {
    std::size_t at = 0;
    CivilTime t;
    const auto year = digitsAt(text, at, 4);
    if (!year || !separatorAt(text, at, '/')) return std::nullopt;
    const auto month = digitsAt(text, at, 2);
    if (!month || !separatorAt(text, at, '/')) return std::nullopt;
    const auto day = digitsAt(text, at, 2);
    if (!day || !separatorAt(text, at, ' ')) return std::nullopt;
    const auto hour = digitsAt(text, at, 2);
    if (!hour || !separatorAt(text, at, ':')) return std::nullopt;
    const auto minute = digitsAt(text, at, 2);
    if (!minute || !separatorAt(text, at, ':')) return std::nullopt;
    const auto second = digitsAt(text, at, 2);
    if (!second) return std::nullopt;
    t = CivilTime{*year, *month, *day, *hour, *minute, *second, 0};
    if (separatorAt(text, at, '.')) {
        // Tenths, hundredths and thousandths count; further digits are only read past.
        int scale = 100;
        const std::size_t first = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            t.millisecond += (text[at] - '0') * scale;
            scale /= 10;
            ++at;
        }
        if (at == first) return std::nullopt;
    }
    if (at != text.size() || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > daysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 60) {
        return std::nullopt;
    }
    return t;
}

std::int64_t epochMsOf(const CivilTime& t, bool utc) {
    std::tm parts{};
    parts.tm_year = t.year - 1900;
    parts.tm_mon = t.month - 1;
    parts.tm_mday = t.day;
    parts.tm_hour = t.hour;
    parts.tm_min = t.minute;
    parts.tm_sec = t.second;
    parts.tm_isdst = -1;  // the zone's rules decide whether summer time applied
    const std::time_t whole = utc ? timegm(&parts) : std::mktime(&parts);
    return static_cast<std::int64_t>(whole) * 1000 + t.millisecond;
}

std::int64_t utcOffsetSeconds(std::int64_t epochMs, bool utc) {
    if (utc) return 0;
    const std::time_t whole = static_cast<std::time_t>(epochMs / 1000);
    std::tm parts{};
    localtime_r(&whole, &parts);
    return parts.tm_gmtoff;
}

}  // namespace tessaly
