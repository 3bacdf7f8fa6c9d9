#include "monitor/history_chart_data.h"

#include <algorithm>
#include <array>

namespace tessaly {
namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr int kCnoStep = 5;
constexpr int kMinCnoSpan = 15;

BandState bandOf(const ChannelSecond& second) {
    if (!second.present()) return BandState::NoReport;
    return second.errStatus == kErrStatusErroneous ? BandState::Erroneous : BandState::ErrorFree;
}

void foldInto(ChannelColumn& column, const ChannelSecond& second) {
    const BandState state = bandOf(second);
    column.band = std::max(column.band, state);
    ++(state == BandState::ErrorFree   ? column.errorFree
       : state == BandState::Erroneous ? column.erroneous
                                       : column.noReport);
    if (!second.present()) return;
    if (!column.hasCno) {
        column.minCnoMilli = column.maxCnoMilli = second.cnoMilli;
        column.hasCno = true;
    } else {
        column.minCnoMilli = std::min(column.minCnoMilli, second.cnoMilli);
        column.maxCnoMilli = std::max(column.maxCnoMilli, second.cnoMilli);
    }
}

std::string satelliteLabel(int svid, int prn) {
    const std::string sv = "SV " + std::to_string(svid);
    return prn ? "PRN " + std::to_string(prn) + " / " + sv : sv;
}

// Follows one channel's satellite through the period and marks where it changes.
class SatelliteTracker {
public:
    explicit SatelliteTracker(Channel channel) : channel_(channel) {}

    void add(const ChannelSecond& second, std::int64_t timeMs, std::vector<SatelliteMark>& marks) {
        if (!second.present()) return;
        const int prn = second.errorFree() ? second.prn : 0;
        const bool first = svid_ < 0;
        const bool svidChanged = !first && second.svid != svid_;
        const bool prnChanged = !first && prn && prn_ && prn != prn_;
        if (first || svidChanged || prnChanged) {
            svid_ = second.svid;
            prn_ = prn;
            markIndex_ = marks.size();
            marks.push_back({timeMs, channel_, satelliteLabel(svid_, prn_), first});
        } else if (prn && !prn_) {
            // The first error-free report after a change names the PRN: the change's own mark
            // says it, rather than a second mark a moment later.
            prn_ = prn;
            marks[markIndex_].label = satelliteLabel(svid_, prn_);
        }
    }

private:
    Channel channel_;
    int svid_ = -1;
    int prn_ = 0;
    std::size_t markIndex_ = 0;
};

void setCnoRange(ChartData& data) {
    bool any = false;
    std::int32_t low = 0;
    std::int32_t high = 0;
    for (const ChartColumn& column : data.columns) {
        for (const ChannelColumn* c : {&column.a, &column.b}) {
            if (!c->hasCno) continue;
            low = any ? std::min(low, c->minCnoMilli) : c->minCnoMilli;
            high = any ? std::max(high, c->maxCnoMilli) : c->maxCnoMilli;
            any = true;
        }
    }
    if (!any) return;
    // Half a dBHz of room, so that the line never runs along the frame.
    low = std::max(low - 500, 0);
    high += 500;
    data.cnoLow = low / 1000 / kCnoStep * kCnoStep;
    data.cnoHigh = (high + kCnoStep * 1000 - 1) / 1000 / kCnoStep * kCnoStep;
    while (data.cnoHigh - data.cnoLow < kMinCnoSpan) {
        data.cnoHigh += kCnoStep;
        if (data.cnoHigh - data.cnoLow < kMinCnoSpan && data.cnoLow >= kCnoStep) {
            data.cnoLow -= kCnoStep;
        }
    }
}

}  // namespace

int columnOf(const ChartData& data, std::int64_t timeMs) {
    const std::int64_t span = std::max<std::int64_t>(data.toMs - data.fromMs, 1);
    const std::int64_t offset = timeMs - data.fromMs;
    const std::int64_t count = static_cast<std::int64_t>(data.columns.size());
    // Floor division: a moment just before the period lies in column -1, not 0.
    const std::int64_t scaled = offset * count;
    return static_cast<int>(scaled >= 0 ? scaled / span : (scaled - span + 1) / span);
}

ChartData chartData(const PairHistory& history, std::int64_t fromMs, std::int64_t toMs,
                    int columnCount) {
    ChartData data;
    data.fromMs = fromMs;
    data.toMs = std::max(toMs, fromMs + 1);
    columnCount = std::max(columnCount, 1);
    data.columns.resize(static_cast<std::size_t>(columnCount));
    std::array<SatelliteTracker, 2> trackers = {SatelliteTracker(Channel::A),
                                                SatelliteTracker(Channel::B)};
    for (std::size_t i = history.firstAtOrAfter(fromMs); i < history.size(); ++i) {
        const PairSecond& second = history[i];
        if (second.timeMs >= data.toMs) break;
        ++data.seconds;
        if (second.bothFailed) ++data.bothFailedSeconds;
        // A second is a second long: where a column is shorter it fills each column it spans,
        // and a zoomed-in band has no gaps between its seconds.
        const int first = columnOf(data, second.timeMs);
        const int last = std::min(columnOf(data, second.timeMs + kSecondMs - 1), columnCount - 1);
        for (int c = first; c <= std::max(first, last); ++c) {
            ChartColumn& column = data.columns[static_cast<std::size_t>(c)];
            foldInto(column.a, second.a);
            foldInto(column.b, second.b);
            column.bothFailed = column.bothFailed || second.bothFailed;
        }
        trackers[0].add(second.a, second.timeMs, data.marks);
        trackers[1].add(second.b, second.timeMs, data.marks);
    }
    setCnoRange(data);
    return data;
}

}  // namespace tessaly
