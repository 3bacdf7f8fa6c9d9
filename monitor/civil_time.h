// Calendar time for the texts the user reads: the both-failed count's time of day and the CSV
// time stamps. Separators are fixed ('/', ':' and '.') whatever the locale, so CSV files stay
// machine-readable everywhere.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

struct CivilTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Local time by the time-zone rules for that moment, or UTC.
CivilTime civilTime(std::chrono::system_clock::time_point t, bool utc);

// "hh:mm:ss", 24-hour clock.
std::string timeOfDayText(const CivilTime& t);

// "yyyy/mm/dd hh:nn:ss.z": the tenths digit is cut from the milliseconds, never rounded.
std::string csvTimestampText(const CivilTime& t);

// Reads a CSV time stamp back; the fraction after the seconds may have any number of digits or
// be left out. Nothing for text that is not a time stamp or a date that does not exist.
std::optional<CivilTime> parseCsvTimestamp(std::string_view text);

// Milliseconds since 1970-01-01 UTC of a calendar time read as local time or as UTC.
std::int64_t epochMsOf(const CivilTime& t, bool utc);

// The local time's offset from UTC at that moment, in seconds (0 for UTC).
std::int64_t utcOffsetSeconds(std::int64_t epochMs, bool utc);

}  // namespace tessaly
