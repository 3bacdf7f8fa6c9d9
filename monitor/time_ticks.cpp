#include "monitor/time_ticks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "monitor/civil_time.h"

namespace tessaly {
namespace {

// Clock-friendly steps, in seconds: up to a day for the history's own span, and whole days on
// for a report of logs far apart.
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kSteps[] = {1,    2,    5,     10,    15,    30,      60,      120,
                                   300,  600,  900,   1800,  3600,  7200,    10800,   21600,
                                   43200, kDay, 2 * kDay, 7 * kDay, 30 * kDay, 365 * kDay};

CivilTime civilOf(std::int64_t epochMs, bool utc) {
    return civilTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(epochMs)), utc);
}

std::string dateText(const CivilTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", t.year, t.month, t.day);
    return text;
}

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

}  // namespace

std::vector<TimeTick> timeTicks(std::int64_t fromMs, std::int64_t toMs, int widthPx,
                                int minSpacingPx, bool utc) {
    std::vector<TimeTick> ticks;
    if (toMs <= fromMs || widthPx <= 0) return ticks;
    const double pxPerSecond = widthPx * 1000.0 / static_cast<double>(toMs - fromMs);
    std::int64_t step = kSteps[std::size(kSteps) - 1];
    for (const std::int64_t candidate : kSteps) {
        if (candidate * pxPerSecond >= minSpacingPx) {
            step = candidate;
            break;
        }
    }
    // Round on the clock the axis shows: an hour's ticks fall on the local full hour. The zone's
    // offset at the start holds for the whole axis; a change to summer time inside it shifts
    // the later ticks by the hour, and their labels still tell the truth.
    const std::int64_t offsetMs = utcOffsetSeconds(fromMs, utc) * 1000;
    const std::int64_t stepMs = step * 1000;
    std::int64_t at = (floorDiv(fromMs + offsetMs - 1, stepMs) + 1) * stepMs - offsetMs;
    std::string lastDate;
    for (; at <= toMs; at += stepMs) {
        const CivilTime t = civilOf(at, utc);
        char label[16];
        if (step < 60) {
            std::snprintf(label, sizeof label, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        } else {
            std::snprintf(label, sizeof label, "%02d:%02d", t.hour, t.minute);
        }
        std::string date = dateText(t);
        ticks.push_back({at, label, date != lastDate ? date : std::string()});
        lastDate = std::move(date);
    }
    return ticks;
}

std::string dateTimeText(std::int64_t epochMs, bool utc) {
    const CivilTime t = civilOf(epochMs, utc);
    return dateText(t) + " " + timeOfDayText(t);
}

std::string zoneText(std::int64_t epochMs, bool utc) {
    if (utc) return "UTC";
    const std::int64_t offset = utcOffsetSeconds(epochMs, false);
    const std::int64_t minutes = std::llabs(offset) / 60;
    char text[48];
    std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", offset < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return text;
}

}  // namespace tessaly
