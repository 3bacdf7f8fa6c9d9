#include "monitor/history_summary.h"

#include <algorithm>
#include <charconv>

namespace tessaly {
namespace {

void addChannel(ChannelSummary& channel, const ChannelSecond& second) {
    if (!second.present()) return;
    channel.minCnoMilli =
        channel.reports == 0 ? second.cnoMilli : std::min(channel.minCnoMilli, second.cnoMilli);
    ++channel.reports;
    channel.cnoMilliSum += second.cnoMilli;
    if (second.errStatus == kErrStatusErroneous) ++channel.erroneous;
    if (!second.errorFree()) return;
    ++channel.errorFree;
    if (std::find(channel.prns.begin(), channel.prns.end(), second.prn) == channel.prns.end()) {
        channel.prns.push_back(second.prn);
    }
}

std::string decimals3(double value) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

std::string prnList(const std::vector<int>& prns, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < prns.size(); ++i) {
        if (i) text += separator;
        text += std::to_string(prns[i]);
    }
    return text;
}

std::string channelJson(const ChannelSummary& c) {
    const bool any = c.reports > 0;
    return "{\"reports\": " + std::to_string(c.reports) +
           ", \"errorFree\": " + std::to_string(c.errorFree) +
           ", \"erroneous\": " + std::to_string(c.erroneous) +
           ", \"meanCno\": " + (any ? decimals3(c.meanCno()) : "null") +
           ", \"minCno\": " + (any ? decimals3(c.minCno()) : "null") + ", \"prns\": [" +
           prnList(c.prns, ", ") + "]}";
}

std::string cnoCell(const ChannelSummary& c, double value) {
    return c.reports ? decimals3(value) + " dBHz" : "-";
}

}  // namespace

void SummaryCounter::add(const PairSecond& second) {
    ++summary_.seconds;
    if (second.bothFailed) {
        ++summary_.bothFailed;
        summary_.longestBothFailedRun = std::max(summary_.longestBothFailedRun, ++bothFailedRun_);
    } else {
        bothFailedRun_ = 0;
    }
    addChannel(summary_.a, second.a);
    addChannel(summary_.b, second.b);
}

std::string summaryJson(const HistorySummary& s) {
    return "{\"seconds\": " + std::to_string(s.seconds) +
           ", \"bothFailed\": " + std::to_string(s.bothFailed) +
           ", \"longestBothFailedRun_s\": " + std::to_string(s.longestBothFailedRun) +
           ", \"channels\": {\"A\": " + channelJson(s.a) + ", \"B\": " + channelJson(s.b) + "}}";
}

std::vector<SummaryRow> summaryRows(const HistorySummary& s) {
    const auto count = [](std::uint64_t n) { return std::to_string(n); };
    return {
        {"Seconds evaluated", count(s.seconds), ""},
        {"Both failed", count(s.bothFailed) + " s", ""},
        {"Longest both-failed run", count(s.longestBothFailedRun) + " s", ""},
        {"", "Channel A", "Channel B"},
        {"Reports", count(s.a.reports), count(s.b.reports)},
        {"Error-free", count(s.a.errorFree), count(s.b.errorFree)},
        {"Erroneous", count(s.a.erroneous), count(s.b.erroneous)},
        {"Mean C/N0", cnoCell(s.a, s.a.meanCno()), cnoCell(s.b, s.b.meanCno())},
        {"Lowest C/N0", cnoCell(s.a, s.a.minCno()), cnoCell(s.b, s.b.minCno())},
        {"PRNs", prnList(s.a.prns, " "), prnList(s.b.prns, " ")},
    };
}

std::string summaryTable(const HistorySummary& s) {
    const std::vector<SummaryRow> rows = summaryRows(s);
    std::size_t labelWidth = 0;
    std::size_t aWidth = 0;
    for (const SummaryRow& row : rows) {
        labelWidth = std::max(labelWidth, row.label.size());
        if (!row.b.empty()) aWidth = std::max(aWidth, row.a.size());
    }
    std::string text;
    for (const SummaryRow& row : rows) {
        std::string line = row.label + std::string(labelWidth + 2 - row.label.size(), ' ') + row.a;
        if (!row.b.empty()) line += std::string(aWidth + 2 - row.a.size(), ' ') + row.b;
        text += line + "\n";
    }
    return text;
}

}  // namespace tessaly
