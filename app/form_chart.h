// TFormChart, the live history chart: a window of its own, opened from the chart button beside
// "Save log", that draws the session's evaluated pairs with the report's painter. It shows the
// last 10 minutes by default and can widen to the whole session; once a second it follows the
// new seconds. It only reads the history the main window keeps, on the window's thread; the main
// window owns both and the history outlives the chart.
#pragma once

#include <QWidget>

#include <cstdint>

#include "chart/history_chart_painter.h"
#include "monitor/monitor_outputs.h"
#include "monitor/pair_history.h"

class QComboBox;
class QTimer;

namespace tessaly {

class HistoryChartWidget;

class TFormChart : public QWidget {
    Q_OBJECT
public:
    // The clock is the one that stamps the history's seconds: the chart ends at its "now".
    TFormChart(const PairHistory& history, const WallClock& clock, QWidget* parent = nullptr);

    // What the chart shows now.
    HistoryChartView currentView() const;
    HistoryChartTexts currentTexts() const;
    QComboBox* spanBox() const { return spanBox_; }

private:
    const PairHistory& history_;
    const WallClock& clock_;
    QComboBox* spanBox_ = nullptr;
    HistoryChartWidget* chart_ = nullptr;
    QTimer* follow_ = nullptr;
};

// The small icon of the chart button: a line over two axes.
QIcon chartButtonIcon();

}  // namespace tessaly
