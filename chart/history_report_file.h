// The report's files: the history chart as a PNG image or an SVG drawing, or one HTML page that
// holds the drawing inline and the summary table, with nothing outside it to fetch. No window is
// needed, only a QGuiApplication for the fonts.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

#include "chart/history_chart_painter.h"
#include "monitor/history_summary.h"

namespace tessaly {

struct ChartPicture {
    const PairHistory& history;
    HistoryChartView view;
    HistoryChartTexts texts;
    QSize size;
};

// Each returns false when the file cannot be written.
bool writeChartPng(const QString& path, const ChartPicture& picture);
bool writeChartSvg(const QString& path, const ChartPicture& picture);
bool writeReportHtml(const QString& path, const ChartPicture& picture,
                     const std::vector<SummaryRow>& summary);

// The SVG document of the chart.
QByteArray chartSvg(const ChartPicture& picture);

}  // namespace tessaly
