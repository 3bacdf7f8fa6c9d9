#include "app/form_chart.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "monitor/time_ticks.h"

namespace tessaly {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
// The choices of the span box; 0 is the whole session.
constexpr std::int64_t kSpansMs[] = {10 * kMinuteMs, 60 * kMinuteMs, 360 * kMinuteMs, 0};
const char* const kSpanNames[] = {"Last 10 minutes", "Last hour", "Last 6 hours", "Whole session"};

std::int64_t epochMs(const WallClock& clock) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(clock.now().time_since_epoch()).count();
}

HistoryChartTexts currentTextsOf(const PairHistory& history) {
    if (history.empty()) return {QStringLiteral("L6 reception"), QStringLiteral("No evaluated pairs yet")};
    return {QStringLiteral("L6 reception"),
            QStringLiteral("This session, since ") +
                QString::fromStdString(dateTimeText(history[0].timeMs, false))};
}

}  // namespace

// Paints the chart over its whole area.
class HistoryChartWidget : public QWidget {
public:
    explicit HistoryChartWidget(const TFormChart& form, const PairHistory& history, QWidget* parent)
        : QWidget(parent), form_(form), history_(history) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(560, 320);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintHistoryChart(painter, rect(), history_, form_.currentView(), form_.currentTexts());
    }

private:
    const TFormChart& form_;
    const PairHistory& history_;
};

TFormChart::TFormChart(const PairHistory& history, const WallClock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), clock_(clock) {
    setObjectName(QStringLiteral("FormChart"));
    setWindowTitle(QStringLiteral("Tessaly Monitor - history"));
    spanBox_ = new QComboBox(this);
    spanBox_->setObjectName(QStringLiteral("ComboBoxSpan"));
    for (const char* name : kSpanNames) spanBox_->addItem(QString::fromLatin1(name));
    chart_ = new HistoryChartWidget(*this, history_, this);
    chart_->setObjectName(QStringLiteral("HistoryChart"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Show"), this));
    bar->addWidget(spanBox_);
    bar->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->addLayout(bar);
    column->addWidget(chart_, 1);
    resize(1000, 560);

    connect(spanBox_, &QComboBox::currentIndexChanged, chart_, qOverload<>(&QWidget::update));
    // Once a second: the chart's right edge is now, so it moves on even while nothing arrives.
    follow_ = new QTimer(this);
    follow_->setInterval(1000);
    connect(follow_, &QTimer::timeout, chart_, qOverload<>(&QWidget::update));
    follow_->start();
}

HistoryChartView TFormChart::currentView() const {
    HistoryChartView view;
    view.toMs = epochMs(clock_);
    if (!history_.empty()) view.toMs = std::max(view.toMs, history_.back().timeMs + 1000);
    const std::int64_t span = kSpansMs[std::clamp(spanBox_->currentIndex(), 0, 3)];
    if (span > 0) {
        view.fromMs = view.toMs - span;
    } else {
        // The whole session, but never less than a minute wide.
        view.fromMs = view.toMs - kMinuteMs;
        if (!history_.empty()) view.fromMs = std::min(view.fromMs, history_[0].timeMs);
    }
    return view;
}

HistoryChartTexts TFormChart::currentTexts() const { return currentTextsOf(history_); }

QIcon chartButtonIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 2.5));
    p.drawLine(5, 4, 5, 27);
    p.drawLine(5, 27, 28, 27);
    p.setPen(QPen(QColor(0x15, 0x65, 0xC0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF line[] = {{8, 20}, {13, 13}, {18, 17}, {23, 8}, {28, 11}};
    p.drawPolyline(line, 5);
    p.end();
    return QIcon(pixmap);
}

}  // namespace tessaly
