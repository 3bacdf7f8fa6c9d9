// The history chart, drawn with QPainter onto whatever it paints on: the live chart window, an
// image or an SVG file of the report. One drawing for both, so a field report looks like what the
// user watched. From top to bottom: the title with the period, channel A's C/N0 line with its
// satellite marks and its error-status band, the same for channel B, the both-failed seconds on a
// row of their own, the time axis and a legend.
//
// Needs a QGuiApplication (for the fonts); no window.
#pragma once

#include <QRect>
#include <QString>

#include <cstdint>

#include "monitor/pair_history.h"

class QPainter;

namespace tessaly {

struct HistoryChartView {
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;  // excluded
    bool utc = false;
};

struct HistoryChartTexts {
    QString title;     // before the period in the first line
    QString subtitle;  // the second line, e.g. the input files
};

void paintHistoryChart(QPainter& painter, const QRect& area, const PairHistory& history,
                       const HistoryChartView& view, const HistoryChartTexts& texts);

}  // namespace tessaly
