#include "chart/history_report_file.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace tessaly {
namespace {

bool writeWhole(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QString cell(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

QString summaryTableHtml(const std::vector<SummaryRow>& rows) {
    QString html = QStringLiteral("<table>\n");
    for (const SummaryRow& row : rows) {
        if (row.label.empty()) {
            html += QStringLiteral("<tr><th></th><th>%1</th><th>%2</th></tr>\n")
                        .arg(cell(row.a), cell(row.b));
        } else if (row.b.empty()) {
            html += QStringLiteral("<tr><th>%1</th><td colspan=\"2\">%2</td></tr>\n")
                        .arg(cell(row.label), cell(row.a));
        } else {
            html += QStringLiteral("<tr><th>%1</th><td>%2</td><td>%3</td></tr>\n")
                        .arg(cell(row.label), cell(row.a), cell(row.b));
        }
    }
    return html + QStringLiteral("</table>\n");
}

}  // namespace

QByteArray chartSvg(const ChartPicture& picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(picture.size);
    generator.setViewBox(QRect(QPoint(0, 0), picture.size));
    generator.setTitle(picture.texts.title);
    generator.setDescription(picture.texts.subtitle);
    {
        QPainter painter(&generator);
        paintHistoryChart(painter, QRect(QPoint(0, 0), picture.size), picture.history,
                          picture.view, picture.texts);
    }
    return buffer.data();
}

bool writeChartPng(const QString& path, const ChartPicture& picture) {
    QImage image(picture.size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintHistoryChart(painter, image.rect(), picture.history, picture.view, picture.texts);
    }
    return image.save(path, "PNG");
}

bool writeChartSvg(const QString& path, const ChartPicture& picture) {
    return writeWhole(path, chartSvg(picture));
}

bool writeReportHtml(const QString& path, const ChartPicture& picture,
                     const std::vector<SummaryRow>& summary) {
    QByteArray svg = chartSvg(picture);
    // Inline, the drawing starts at its <svg> element; the XML declaration belongs to a file.
    const qsizetype start = svg.indexOf("<svg");
    if (start > 0) svg.remove(0, start);
    const QString title = picture.texts.title.toHtmlEscaped();
    QByteArray html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%1</title>\n<style>\n"
            "body { font-family: 'Liberation Sans', Arial, sans-serif; margin: 16px; color: #202020; }\n"
            "svg { max-width: 100%; height: auto; }\n"
            "table { border-collapse: collapse; margin-top: 12px; }\n"
            "th, td { border: 1px solid #c8c8c8; padding: 3px 10px; text-align: left; }\n"
            "th { background: #f0f0f0; }\n"
            "</style>\n</head>\n<body>\n<h1 style=\"font-size: 18px\">%1</h1>\n"
            "<p>%2</p>\n")
            .arg(title, picture.texts.subtitle.toHtmlEscaped())
            .toUtf8();
    html += svg;
    html += summaryTableHtml(summary).toUtf8();
    html += "</body>\n</html>\n";
    return writeWhole(path, html);
}

}  // namespace tessaly
