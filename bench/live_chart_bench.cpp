// The live history chart over a long run: the window with its TCP input open on a simulated
// receiver and the chart open on the whole session, as a user would leave it overnight. Prints
// the resident memory (VmRSS) once the first seconds are in, every few minutes, and at the end,
// with the seconds the history holds. A plain program, not Google Benchmark: it measures memory
// over time, not the speed of a loop.
//   live_chart_bench SETTINGS.ini SECONDS [REPORT_EVERY_SECONDS]
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <iostream>
#include <string>

#include "app/application.h"
#include "app/form_chart.h"
#include "app/form_main.h"

namespace {

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: live_chart_bench SETTINGS.ini SECONDS [REPORT_EVERY_SECONDS]\n";
        return 2;
    }
    tessaly::TessalyApplication app(argc, argv);
    tessaly::FormOptions options;
    options.arguments = {argv[1]};
    tessaly::TFormMain form(options);
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("ButtonChart"))->click();
    QComboBox* span = form.formChart()->spanBox();
    span->setCurrentIndex(span->count() - 1);  // the whole session: the most to draw each second

    const long seconds = std::stol(argv[2]);
    const long every = argc > 3 ? std::stol(argv[3]) : 300;
    QElapsedTimer clock;
    clock.start();
    const auto sample = [&](const char* when) {
        std::cout << when << " t=" << clock.elapsed() / 1000 << " s  history=" << form.history().size()
                  << " s  both failed=" << form.monitor().decoder().bothFailedCount()
                  << "  VmRSS=" << residentKb() << " kB" << std::endl;
    };
    QTimer::singleShot(10000, &app, [&] { sample("start"); });
    QTimer reports;
    QObject::connect(&reports, &QTimer::timeout, &app, [&] { sample("run  "); });
    reports.start(static_cast<int>(every * 1000));
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        sample("end  ");
        form.close();
        app.quit();
    });
    return app.exec();
}
