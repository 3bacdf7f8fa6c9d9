// The numbers of a logged period at a glance: how many seconds were evaluated, in how many both
// channels failed and for how long at most in a row, and per channel how many reports came, how
// many were error-free or erroneous, their C/N0 and the PRNs received. Counted second by second
// as the report reads its inputs, so it covers all of them even when the history keeps only the
// last day.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/pair_history.h"

namespace tessaly {

struct ChannelSummary {
    std::uint64_t reports = 0;
    std::uint64_t errorFree = 0;
    std::uint64_t erroneous = 0;
    std::int64_t cnoMilliSum = 0;
    std::int32_t minCnoMilli = 0;  // meaningful once there is a report
    // The PRNs of the error-free reports, in the order they first came.
    std::vector<int> prns;

    double meanCno() const { return reports ? cnoMilliSum / 1000.0 / reports : 0; }
    double minCno() const { return minCnoMilli / 1000.0; }
};

struct HistorySummary {
    std::uint64_t seconds = 0;
    std::uint64_t bothFailed = 0;
    std::uint64_t longestBothFailedRun = 0;  // evaluated pairs in a row
    ChannelSummary a;
    ChannelSummary b;
};

class SummaryCounter {
public:
    void add(const PairSecond& second);
    const HistorySummary& summary() const { return summary_; }

private:
    HistorySummary summary_;
    std::uint64_t bothFailedRun_ = 0;
};

// One JSON object on one line:
// {"seconds": N, "bothFailed": N, "longestBothFailedRun_s": N, "channels": {"A": {...}, "B": {...}}}
// A channel without reports has null for its C/N0 figures.
std::string summaryJson(const HistorySummary& summary);

// The summary as rows of a small table: a label, then channel A's and channel B's cell (the
// whole-period figures have their value in the first cell and an empty second one).
struct SummaryRow {
    std::string label;
    std::string a;
    std::string b;
};
std::vector<SummaryRow> summaryRows(const HistorySummary& summary);

// The table as plain text with aligned columns, for the terminal.
std::string summaryTable(const HistorySummary& summary);

}  // namespace tessaly
