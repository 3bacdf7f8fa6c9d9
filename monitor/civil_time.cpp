#include "monitor/civil_time.h"

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

}  // namespace tessaly
