#include "chart/history_chart_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

#include "monitor/history_chart_data.h"
#include "monitor/time_ticks.h"

namespace tessaly {
namespace {

const QColor kErrorFree(0x43, 0xA0, 0x47);
const QColor kErroneous(0xE5, 0x39, 0x35);
const QColor kNoReport(0x78, 0x78, 0x78);
const QColor kBothFailed(0xA0, 0x10, 0x10);
const QColor kCnoLine(0x15, 0x65, 0xC0);
const QColor kSatellite(0x7B, 0x1F, 0xA2);
const QColor kGrid(0xE4, 0xE4, 0xE4);
const QColor kFrame(0xA0, 0xA0, 0xA0);
const QColor kText(0x20, 0x20, 0x20);
const QColor kMuted(0x70, 0x70, 0x70);

constexpr int kMargin = 12;
constexpr int kGutter = 84;  // room for "Both failed" and the C/N0 numbers
constexpr int kRightMargin = 20;
constexpr int kHeaderHeight = 44;
constexpr int kPanelTitleHeight = 16;
constexpr int kBandGap = 3;
constexpr int kBandHeight = 12;
constexpr int kPanelGap = 12;
constexpr int kBothHeight = 14;
constexpr int kAxisHeight = 36;
constexpr int kLegendHeight = 18;
constexpr int kMinTickSpacing = 90;
// The C/N0 line is broken where a channel was silent for longer than this.
constexpr std::int64_t kLineGapMs = 2500;

QFont chartFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

struct Layout {
    QRect header;
    QRect plot[2];
    QRect band[2];
    QRect both;
    QRect axis;
    QRect legend;
};

Layout layOut(const QRect& area) {
    Layout l;
    const int left = area.left() + kMargin;
    const int plotLeft = area.left() + kGutter;
    const int plotWidth = std::max(area.right() - kRightMargin - plotLeft, 10);
    l.header = QRect(left, area.top() + kMargin, area.width() - 2 * kMargin, kHeaderHeight);
    const int fixed = 2 * kMargin + kHeaderHeight +
                      2 * (kPanelTitleHeight + kBandGap + kBandHeight + kPanelGap) + kBothHeight +
                      kAxisHeight + kLegendHeight;
    const int plotHeight = std::max((area.height() - fixed) / 2, 30);
    int y = l.header.bottom() + 1;
    for (int c = 0; c < 2; ++c) {
        y += kPanelTitleHeight;
        l.plot[c] = QRect(plotLeft, y, plotWidth, plotHeight);
        y += plotHeight + kBandGap;
        l.band[c] = QRect(plotLeft, y, plotWidth, kBandHeight);
        y += kBandHeight + kPanelGap;
    }
    l.both = QRect(plotLeft, y, plotWidth, kBothHeight);
    l.axis = QRect(plotLeft, y + kBothHeight, plotWidth, kAxisHeight);
    l.legend = QRect(left, l.axis.bottom() + 1, area.width() - 2 * kMargin, kLegendHeight);
    return l;
}

double xOf(const ChartData& data, const QRect& plot, std::int64_t timeMs) {
    return plot.left() + static_cast<double>(timeMs - data.fromMs) * plot.width() /
                             static_cast<double>(data.toMs - data.fromMs);
}

// Runs of equal columns as one rectangle each: a day's band is a few hundred shapes, not
// thousands, which keeps the SVG small.
template <typename KeyOf, typename Draw>
void forEachRun(const ChartData& data, KeyOf keyOf, Draw draw) {
    const int count = static_cast<int>(data.columns.size());
    for (int start = 0; start < count;) {
        const auto key = keyOf(data.columns[static_cast<std::size_t>(start)]);
        int end = start + 1;
        while (end < count && keyOf(data.columns[static_cast<std::size_t>(end)]) == key) ++end;
        draw(key, start, end);
        start = end;
    }
}

void drawHeader(QPainter& p, const QRect& r, const ChartData& data, const HistoryChartView& view,
                const HistoryChartTexts& texts) {
    const QString period = QString::fromStdString(dateTimeText(data.fromMs, view.utc)) +
                           QStringLiteral(" \u2013 ") +
                           QString::fromStdString(dateTimeText(data.toMs, view.utc)) +
                           (view.utc ? QStringLiteral("  (") : QStringLiteral("  (local time, ")) +
                           QString::fromStdString(zoneText(data.fromMs, view.utc)) + QLatin1Char(')');
    p.setPen(kText);
    p.setFont(chartFont(15, true));
    p.drawText(QRect(r.left(), r.top(), r.width(), 22), Qt::AlignLeft | Qt::AlignVCenter,
               texts.title.isEmpty() ? period : texts.title + QStringLiteral("   ") + period);
    p.setFont(chartFont(12));
    const QString counts = QStringLiteral("%1 s evaluated, %2 s both failed")
                               .arg(data.seconds)
                               .arg(data.bothFailedSeconds);
    const int countsWidth = QFontMetrics(p.font()).horizontalAdvance(counts);
    const QRect line2(r.left(), r.top() + 24, r.width(), 18);
    p.setPen(kMuted);
    p.drawText(line2, Qt::AlignRight | Qt::AlignVCenter, counts);
    const QString subtitle = QFontMetrics(p.font()).elidedText(texts.subtitle, Qt::ElideMiddle,
                                                               r.width() - countsWidth - 24);
    p.drawText(line2, Qt::AlignLeft | Qt::AlignVCenter, subtitle);
}

void drawTimeGrid(QPainter& p, const QRect& plot, const ChartData& data,
                  const std::vector<TimeTick>& ticks) {
    p.setPen(QPen(kGrid, 1));
    for (const TimeTick& tick : ticks) {
        const int x = static_cast<int>(std::lround(xOf(data, plot, tick.timeMs)));
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
}

double yOf(const QRect& plot, const ChartData& data, std::int32_t cnoMilli) {
    const double low = data.cnoLow * 1000.0;
    const double high = data.cnoHigh * 1000.0;
    const double clamped = std::clamp(static_cast<double>(cnoMilli), low, high);
    return plot.bottom() + 0.5 - (clamped - low) / (high - low) * plot.height();
}

void drawCnoAxis(QPainter& p, const QRect& plot, const ChartData& data) {
    const int span = data.cnoHigh - data.cnoLow;
    const int step = plot.height() * 5 / std::max(span, 1) >= 16 ? 5 : 10;
    p.setFont(chartFont(11));
    for (int value = data.cnoLow; value <= data.cnoHigh; value += step) {
        const int y = static_cast<int>(std::lround(yOf(plot, data, value * 1000)));
        p.setPen(QPen(kGrid, 1));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(kMuted);
        // The top and bottom numbers stay beside the plot, clear of the panel's title.
        const int top = std::clamp(y - 8, plot.top() - 2, plot.bottom() - 13);
        p.drawText(QRect(plot.left() - 40, top, 34, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(value));
    }
}

void drawCnoLine(QPainter& p, const QRect& plot, const ChartData& data, Channel channel) {
    const std::int64_t span = data.toMs - data.fromMs;
    const int columns = static_cast<int>(data.columns.size());
    const int gapColumns = std::max<int>(
        1, static_cast<int>((kLineGapMs * columns + span - 1) / std::max<std::int64_t>(span, 1)));
    QPainterPath path;
    int lastColumn = -1 - gapColumns;
    double lastY = 0;
    for (int i = 0; i < columns; ++i) {
        const ChannelColumn& c = data.columns[static_cast<std::size_t>(i)].channel(channel);
        if (!c.hasCno) continue;
        const double x = plot.left() + (i + 0.5) * plot.width() / columns;
        const double yLow = yOf(plot, data, c.minCnoMilli);
        const double yHigh = yOf(plot, data, c.maxCnoMilli);
        // Enter the column at the end nearer to where the line comes from.
        const bool lowFirst = std::abs(yLow - lastY) <= std::abs(yHigh - lastY);
        const double first = lowFirst ? yLow : yHigh;
        const double second = lowFirst ? yHigh : yLow;
        if (i - lastColumn > gapColumns) {
            path.moveTo(x - 0.5, first);
            path.lineTo(x + 0.5, second);
        } else {
            path.lineTo(x, first);
            path.lineTo(x, second);
        }
        lastColumn = i;
        lastY = second;
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kCnoLine, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setRenderHint(QPainter::Antialiasing, false);
}

// A dashed line where the satellite changed, labelled on one of two rows at the top of the plot;
// a label that finds no room on either is left out (its line stays).
void drawSatelliteMarks(QPainter& p, const QRect& plot, const QRect& band, const ChartData& data,
                        Channel channel) {
    p.setFont(chartFont(11));
    const QFontMetrics metrics(p.font());
    int rowRight[2] = {plot.left() - 1000, plot.left() - 1000};
    for (const SatelliteMark& mark : data.marks) {
        if (mark.channel != channel) continue;
        const int x = static_cast<int>(std::lround(xOf(data, plot, mark.timeMs)));
        if (!mark.atStart) {
            p.setPen(QPen(kSatellite, 1, Qt::DashLine));
            p.drawLine(x, plot.top(), x, band.bottom());
        }
        const QString label = QString::fromStdString(mark.label);
        const int width = metrics.horizontalAdvance(label) + 6;
        int left = x + 3;
        if (left + width > plot.right()) left = x - 3 - width;
        left = std::max(left, plot.left() + 1);
        for (int row = 0; row < 2; ++row) {
            if (left <= rowRight[row] + 4) continue;
            const QRect box(left, plot.top() + 2 + row * 16, width, 15);
            p.fillRect(box, QColor(255, 255, 255, 220));
            p.setPen(kSatellite);
            p.drawText(box, Qt::AlignCenter, label);
            rowRight[row] = box.right();
            break;
        }
    }
}

// The share of each state in a column, erroneous on top, then no report, error-free below; a state
// that occurred at all keeps half the band, so that one bad second shows on a day's chart.
struct BandSlices {
    int erroneous = 0;
    int noReport = 0;
    bool any = false;
    bool operator==(const BandSlices&) const = default;
};

BandSlices bandSlices(const ChannelColumn& c, int height) {
    const std::uint32_t total = c.errorFree + c.erroneous + c.noReport;
    BandSlices slices;
    if (total == 0) return slices;
    slices.any = true;
    const auto slice = [&](std::uint32_t count) {
        if (count == 0) return 0;
        return std::max(static_cast<int>(std::lround(static_cast<double>(count) * height / total)),
                        height / 2);
    };
    slices.erroneous = slice(c.erroneous);
    slices.noReport = std::min(slice(c.noReport), height - slices.erroneous);
    return slices;
}

void drawStatusBand(QPainter& p, const QRect& band, const ChartData& data, Channel channel) {
    const double columnWidth = static_cast<double>(band.width()) / data.columns.size();
    const int height = band.height();
    forEachRun(data,
               [channel, height](const ChartColumn& col) {
                   return bandSlices(col.channel(channel), height);
               },
               [&](const BandSlices& slices, int start, int end) {
                   if (!slices.any) return;
                   const double left = band.left() + start * columnWidth;
                   const double width = (end - start) * columnWidth;
                   int top = band.top();
                   for (const auto& [size, colour] :
                        {std::pair{slices.erroneous, kErroneous}, std::pair{slices.noReport, kNoReport},
                         std::pair{height - slices.erroneous - slices.noReport, kErrorFree}}) {
                       if (size > 0) p.fillRect(QRectF(left, top, width, size), colour);
                       top += size;
                   }
               });
}

void drawChannel(QPainter& p, const Layout& l, const ChartData& data,
                 const std::vector<TimeTick>& ticks, Channel channel) {
    const int c = channel == Channel::A ? 0 : 1;
    const QRect& plot = l.plot[c];
    const QRect& band = l.band[c];
    p.setPen(kText);
    p.setFont(chartFont(12, true));
    p.drawText(QRect(plot.left() - kGutter + kMargin, plot.top() - kPanelTitleHeight, 400,
                     kPanelTitleHeight),
               Qt::AlignLeft | Qt::AlignVCenter,
               channel == Channel::A ? QStringLiteral("Channel A") : QStringLiteral("Channel B"));
    p.setFont(chartFont(11));
    p.setPen(kMuted);
    p.drawText(QRect(plot.left() - kGutter + kMargin, plot.top(), kGutter - kMargin - 6, 14),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("dBHz"));
    p.drawText(QRect(plot.left() - kGutter + kMargin, band.top() - 1, kGutter - kMargin - 6, 14),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Status"));
    p.fillRect(plot, QColor(0xFC, 0xFC, 0xFC));
    drawTimeGrid(p, plot, data, ticks);
    drawCnoAxis(p, plot, data);
    p.save();
    p.setClipRect(plot.adjusted(0, -2, 0, 2));
    drawCnoLine(p, plot, data, channel);
    p.restore();
    drawStatusBand(p, band, data, channel);
    p.setPen(kFrame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot.adjusted(0, 0, -1, -1));
    p.drawRect(band.adjusted(0, 0, -1, -1));
    drawSatelliteMarks(p, plot, band, data, channel);
}

void drawBothFailed(QPainter& p, const QRect& r, const ChartData& data) {
    p.setFont(chartFont(11, true));
    p.setPen(kBothFailed);
    p.drawText(QRect(r.left() - kGutter + kMargin, r.top(), kGutter - kMargin - 6, r.height()),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Both failed"));
    const double columnWidth = static_cast<double>(r.width()) / data.columns.size();
    forEachRun(data, [](const ChartColumn& col) { return col.bothFailed; },
               [&](bool failed, int start, int end) {
                   if (!failed) return;
                   // At least two pixels wide, so that a single second shows on a day's chart.
                   const double width = std::max((end - start) * columnWidth, 2.0);
                   p.fillRect(QRectF(r.left() + start * columnWidth, r.top() + 2, width,
                                     r.height() - 4),
                              kBothFailed);
               });
    p.setPen(kGrid);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

void drawAxis(QPainter& p, const QRect& r, const ChartData& data,
              const std::vector<TimeTick>& ticks) {
    p.setFont(chartFont(11));
    const QFontMetrics metrics(p.font());
    for (const TimeTick& tick : ticks) {
        const int x = static_cast<int>(std::lround(xOf(data, r, tick.timeMs)));
        p.setPen(kFrame);
        p.drawLine(x, r.top(), x, r.top() + 4);
        for (const auto& [text, row, colour] :
             {std::tuple{QString::fromStdString(tick.label), 0, kText},
              std::tuple{QString::fromStdString(tick.date), 1, kMuted}}) {
            if (text.isEmpty()) continue;
            const int width = metrics.horizontalAdvance(text);
            const int left = std::clamp(x - width / 2, r.left() - kGutter + kMargin,
                                        r.right() + kRightMargin - kMargin - width);
            p.setPen(colour);
            p.drawText(QRect(left, r.top() + 5 + row * 14, width + 2, 14),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
        }
    }
}

void drawLegend(QPainter& p, const QRect& r) {
    p.setFont(chartFont(11));
    const QFontMetrics metrics(p.font());
    int x = r.left();
    const int y = r.top() + r.height() / 2;
    const auto swatch = [&](const QColor& colour, const QString& text) {
        p.fillRect(QRect(x, y - 5, 14, 10), colour);
        p.setPen(kFrame);
        p.drawRect(QRect(x, y - 5, 13, 9));
        x += 18;
        p.setPen(kText);
        p.drawText(QRect(x, r.top(), 400, r.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += metrics.horizontalAdvance(text) + 16;
    };
    const auto line = [&](const QPen& pen, const QString& text) {
        p.setPen(pen);
        p.drawLine(x, y, x + 14, y);
        x += 18;
        p.setPen(kText);
        p.drawText(QRect(x, r.top(), 400, r.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += metrics.horizontalAdvance(text) + 16;
    };
    swatch(kErrorFree, QStringLiteral("error-free"));
    swatch(kErroneous, QStringLiteral("erroneous"));
    swatch(kNoReport, QStringLiteral("no report"));
    swatch(Qt::white, QStringLiteral("not receiving"));
    swatch(kBothFailed, QStringLiteral("both channels failed"));
    line(QPen(kCnoLine, 2), QStringLiteral("C/N0"));
    line(QPen(kSatellite, 1, Qt::DashLine), QStringLiteral("satellite / PRN change"));
}

}  // namespace

void paintHistoryChart(QPainter& p, const QRect& area, const PairHistory& history,
                       const HistoryChartView& view, const HistoryChartTexts& texts) {
    const Layout l = layOut(area);
    const ChartData data = chartData(history, view.fromMs, view.toMs, l.plot[0].width());
    const std::vector<TimeTick> ticks =
        timeTicks(data.fromMs, data.toMs, l.axis.width(), kMinTickSpacing, view.utc);
    p.save();
    p.fillRect(area, Qt::white);
    drawHeader(p, l.header, data, view, texts);
    drawChannel(p, l, data, ticks, Channel::A);
    drawChannel(p, l, data, ticks, Channel::B);
    drawBothFailed(p, l.both, data);
    drawAxis(p, l.axis, data, ticks);
    drawLegend(p, l.legend);
    if (data.seconds == 0) {
        p.setFont(chartFont(13));
        p.setPen(kMuted);
        p.drawText(l.plot[0], Qt::AlignCenter, QStringLiteral("No evaluated pairs in this period"));
    }
    p.restore();
}

}  // namespace tessaly
