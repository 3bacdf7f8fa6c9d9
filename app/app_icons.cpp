#include "app/app_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The pictures live in a static library, whose resources are only registered when asked for.
static void registerIconResources() { Q_INIT_RESOURCE(icons); }

namespace tessaly {
namespace {

QIcon renderedIcon(const QString& resource) {
    // Rendered at the sizes desktops ask for, so no size is scaled from another.
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon renderStatusIcon(StatusIconKind kind) {
    registerIconResources();
    return renderedIcon(kind == StatusIconKind::Good ? QStringLiteral(":/icons/tessaly-monitor.svg")
                                                     : QStringLiteral(":/icons/tessaly-monitor-warning.svg"));
}

}  // namespace tessaly
