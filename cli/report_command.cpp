#include "cli/report_command.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>

#include "chart/history_report_file.h"
#include "cli/report_inputs.h"

namespace tessaly {
namespace {

// Large enough for a day to show its hours and its short outages, small enough for a page.
const QSize kPictureSize(1400, 660);

QString inputNames(const std::vector<std::string>& inputs) {
    QStringList names;
    for (const std::string& input : inputs) {
        names << QString::fromStdString(std::filesystem::path(input).filename().string());
    }
    return names.join(QStringLiteral(", "));
}

// Qt's notes on the offscreen platform's surroundings (no runtime folder, font fallbacks) are no
// business of the report's user: only critical errors reach stderr.
void criticalOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

class QuietQt {
public:
    QuietQt() : previous_(qInstallMessageHandler(criticalOnly)) {}
    ~QuietQt() { qInstallMessageHandler(previous_); }
    QuietQt(const QuietQt&) = delete;
    QuietQt& operator=(const QuietQt&) = delete;

private:
    QtMessageHandler previous_;
};

bool writeReport(const ReportOptions& options, const ChartPicture& picture,
                 const HistorySummary& summary) {
    const QString path = QString::fromStdString(options.outputPath);
    switch (options.format) {
        case ReportFormat::Png: return writeChartPng(path, picture);
        case ReportFormat::Svg: return writeChartSvg(path, picture);
        case ReportFormat::Html: return writeReportHtml(path, picture, summaryRows(summary));
    }
    return false;
}

}  // namespace

int runReport(const ReportOptions& options, std::ostream& out, std::ostream& err) {
    // Fonts need a QGuiApplication; the offscreen platform needs no display. Its arguments
    // outlive it.
    const QuietQt quiet;
    int argc = 3;
    char name[] = "tessaly-cli";
    char platformOption[] = "-platform";
    char platform[] = "offscreen";
    char* argv[] = {name, platformOption, platform, nullptr};
    std::unique_ptr<QGuiApplication> application;
    if (!QCoreApplication::instance()) application = std::make_unique<QGuiApplication>(argc, argv);

    PairHistory history;
    SummaryCounter counter;
    ReportReader reader(history, counter, options.utc);
    for (const std::string& input : options.inputs) {
        std::string error;
        const auto read = reader.read(input, error);
        if (!read) {
            err << "tessaly-cli report: " << error << "\n";
            return 2;
        }
        if (read->skippedLines) {
            err << "tessaly-cli report: " << input << ": " << read->skippedLines
                << " lines that are not rows of the log were skipped\n";
        }
    }
    const HistorySummary& summary = counter.summary();
    if (summary.seconds == 0) {
        err << "tessaly-cli report: no evaluated pairs in the inputs\n";
        return 2;
    }
    QString subtitle = inputNames(options.inputs);
    if (history.dropped()) subtitle += QStringLiteral("  (the picture shows the last 24 hours)");
    const ChartPicture picture{history,
                               {history[0].timeMs, history.back().timeMs + 1000, options.utc},
                               {QStringLiteral("L6 reception"), subtitle},
                               kPictureSize};
    if (!writeReport(options, picture, summary)) {
        err << "tessaly-cli report: cannot write " << options.outputPath << "\n";
        return 2;
    }
    if (options.json) {
        out << summaryJson(summary) << "\n";
    } else {
        out << summaryTable(summary) << "Report: " << options.outputPath << "\n";
    }
    return 0;
}

}  // namespace tessaly
