// Takes a picture of the window as a user sees it after a while of a recorded receiver stream:
//   window_screenshot OUT.png STREAM [SECONDS] [LOCALE] [CHART.png]
// The stream is fed up to the given second of receiver time, then the window is grabbed.
// Beside it, OUT-icons.png shows both status icons at the sizes a desktop uses. With CHART.png
// the history chart is opened from its button and grabbed too (an empty LOCALE is the system's).
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QPixmap>
#include <QPushButton>

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "app/app_icons.h"
#include "app/application.h"
#include "app/form_chart.h"
#include "app/form_main.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: window_screenshot OUT.png STREAM [SECONDS] [LOCALE] [CHART.png]\n";
        return 2;
    }
    tessaly::TessalyApplication app(argc, argv);
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t seconds = argc > 3 ? std::stoul(argv[3]) : 120;
    tessaly::FormOptions options;
    if (argc > 4) options.localeName = argv[4];
    tessaly::TFormMain form(options);
    form.show();
    app.processEvents();
    form.FormActivate();

    // Each second of the stream carries two L6 frames of 272 bytes and now and then a text line.
    const std::size_t bytes = std::min(stream.size(), 140 + seconds * 2 * 272 + seconds / 20 * 40);
    for (std::size_t at = 0; at < bytes; at += 1024) {
        form.inputBlockReceived(tessaly::ByteView(stream).subspan(at, std::min<std::size_t>(1024, bytes - at)));
    }
    for (int i = 0; i < 20; ++i) form.ApplicationEvents1Idle();
    app.processEvents();
    QPixmap picture = form.grab();
    // On a real display, show a hint as well: the texts that change with the language are hints.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto* radio = form.findChild<QWidget*>(QStringLiteral("RadioButtonTCP"));
        QToolTip::showText(radio->mapToGlobal(QPoint(30, 12)), radio->toolTip(), radio, {}, 60000);
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 500) app.processEvents(QEventLoop::AllEvents, 50);
        const QRect frame = form.frameGeometry();
        picture = form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width() + 160, frame.height() + 10);
    }
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    if (argc > 5) {
        form.findChild<QPushButton*>(QStringLiteral("ButtonChart"))->click();
        form.formChart()->resize(1000, 560);
        app.processEvents();
        if (!form.formChart()->grab().save(QString::fromLocal8Bit(argv[5]))) {
            std::cerr << "cannot write " << argv[5] << "\n";
            return 1;
        }
    }
    QPixmap icons(2 * (256 + 64 + 32 + 16) + 40, 256);
    icons.fill(Qt::white);
    QPainter painter(&icons);
    int x = 0;
    for (const auto kind : {tessaly::StatusIconKind::Good, tessaly::StatusIconKind::Warning}) {
        const QIcon icon = tessaly::renderStatusIcon(kind);
        for (int size : {256, 64, 32, 16}) {
            painter.drawPixmap(x, 0, icon.pixmap(size, size));
            x += size;
        }
        x += 40;
    }
    painter.end();
    QString iconsPath = QString::fromLocal8Bit(argv[1]);
    iconsPath.replace(QStringLiteral(".png"), QStringLiteral("-icons.png"));
    icons.save(iconsPath);
    return 0;
}
