// The chart button: a small button between the log's file name and "Save log" that opens the
// live history chart in a window of its own.
#include <QPushButton>

#include "app/form_chart.h"
#include "app/form_main.h"

namespace tessaly {

void TFormMain::createChartButton() {
    ButtonChart = new QPushButton(this);
    ButtonChart->setObjectName(QStringLiteral("ButtonChart"));
    ButtonChart->setGeometry(388, 5, 22, 22);
    ButtonChart->setIcon(chartButtonIcon());
    ButtonChart->setIconSize(QSize(16, 16));
    ButtonChart->setToolTip(QStringLiteral("History chart"));
}

void TFormMain::ButtonChartClick() {
    if (!formChart_) formChart_ = new TFormChart(station_->history(), wallClock_, this);
    formChart_->show();
    formChart_->raise();
    formChart_->activateWindow();
}

}  // namespace tessaly
