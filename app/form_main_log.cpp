// The log button: starts a log in a file the user chooses, stops it, and keeps its caption, the
// file name beside it and its hint in step. A ".csv" file gets a row per evaluated pair of
// reports; a ".ubx" file gets the input stream byte for byte, to be replayed later.
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "app/form_main.h"
#include "app/message_box.h"

namespace tessaly {

void TFormMain::ButtonLogClick() {
    if (logging()) {
        stopLog(QStringLiteral("Start log"));
    } else {
        startLog();
    }
    ButtonLog->setToolTip(QString::fromStdString(
        uiText(logging() ? UiText::HintStopLog : UiText::HintSaveLog, language_)));
}

void TFormMain::startLog() {
    if (logDir_.isEmpty()) logDir_ = QCoreApplication::applicationDirPath();
    QString path = chooseLogFile(logDir_);
    if (path.isEmpty()) return;
    // A name without extension (or ending in a bare ".") gets ".csv".
    if (QFileInfo(path).suffix().isEmpty()) path += path.endsWith('.') ? QStringLiteral("csv") : QStringLiteral(".csv");
    if (QFileInfo::exists(path) &&
        !askYesNo(QDir::toNativeSeparators(path) + QStringLiteral(" exists.\r\n\r\nOverwrite?"))) {
        return;
    }
    const bool raw = QFileInfo(path).suffix().compare(QStringLiteral("ubx"), Qt::CaseInsensitive) == 0;
    const bool started = raw ? station_->startCapture(path.toStdString())
                             : station_->startCsvLog(path.toStdString(), settings_.csvHeader, settings_.utc);
    if (!started) {
        showMessage(QStringLiteral("\nFile could not be created"));
        setLogLabel(QString());
        return;
    }
    logDir_ = QFileInfo(path).absolutePath();
    ButtonLog->setText(QStringLiteral("Stop log"));
    setLogLabel(QFileInfo(path).fileName());
}

void TFormMain::stopLog(const QString& caption) {
    station_->stopLogs();
    ButtonLog->setText(caption);
    setLogLabel(QString());
}

void TFormMain::setLogLabel(const QString& text) {
    // Right-aligned: its right edge stays where the chart button begins.
    LabelLog->setText(text);
    LabelLog->adjustSize();
    LabelLog->move(kLogLabelRight - LabelLog->width(), LabelLog->y());
}

QString TFormMain::chooseLogFile(const QString& folder) {
    if (options_.chooseLogFile) return options_.chooseLogFile(folder);
    return QFileDialog::getSaveFileName(this, QString(), folder, QStringLiteral("CSV (*.csv);;Raw receiver stream (*.ubx);;All (*)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

bool TFormMain::askYesNo(const QString& question) {
    if (options_.askYesNo) return options_.askYesNo(question);
    return centredMessageBox(this, question, QMessageBox::Information, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace tessaly
