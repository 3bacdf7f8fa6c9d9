// Calendar time for the texts the user reads: the both-failed count's time of day and the CSV
// time stamps. Separators are fixed ('/', ':' and '.') whatever the locale, so CSV files stay
// machine-readable everywhere.
#pragma once

#include <chrono>
#include <string>

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

}  // namespace tessaly
