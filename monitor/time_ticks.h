// The marks of the chart's time axis: at round clock times (every 10 s, 1 min, 15 min, 1 h, ...)
// of local time or UTC, as far apart as the labels need, so that a reader finds "when" at a glance
// whether the chart shows ten minutes or a day.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

struct TimeTick {
    std::int64_t timeMs = 0;
    std::string label;  // "hh:mm", or "hh:mm:ss" when the step is under a minute
    std::string date;   // "yyyy/mm/dd" on the first tick and where a new day begins, else empty
};

// The ticks in [fromMs, toMs] on an axis `widthPx` wide, at least `minSpacingPx` apart.
std::vector<TimeTick> timeTicks(std::int64_t fromMs, std::int64_t toMs, int widthPx,
                                int minSpacingPx, bool utc);

// "yyyy/mm/dd hh:mm:ss" of a moment, local time or UTC.
std::string dateTimeText(std::int64_t epochMs, bool utc);

// "UTC" or the local zone as "UTC+09:00", from its offset at that moment.
std::string zoneText(std::int64_t epochMs, bool utc);

}  // namespace tessaly
