#include "app/string_grid.h"

#include <QPainter>
#include <QStyleOptionFrame>

namespace tessaly {
namespace {

const QColor kGridLine(0xD8, 0xD8, 0xD8);
// Separates the receiver's rows from the L6 header rows.
const QColor kSeparator(192, 192, 192);

}  // namespace

StringGrid::StringGrid(const ChannelGrid& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect StringGrid::cellRect(int column, int row) const {
    return QRect(kBorder + column * (kColumnWidth + kLineWidth), kBorder + row * (kRowHeight + kLineWidth),
                 kColumnWidth, kRowHeight);
}

void StringGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    painter.fillRect(rect(), palette().base());
    painter.save();
    painter.setClipRect(client);
    painter.setPen(kGridLine);
    for (int column = 0; column < kGridColumns; ++column) {
        const int x = cellRect(column, 0).right() + 1;
        painter.drawLine(x, client.top(), x, client.bottom());
    }
    for (int row = 0; row < kGridRows; ++row) {
        const int y = cellRect(0, row).bottom() + 1;
        painter.drawLine(client.left(), y, client.right(), y);
    }
    painter.setFont(font());
    for (int row = 0; row < kGridRows; ++row) {
        for (int column = 0; column < kGridColumns; ++column) drawCell(painter, column, row);
    }
    painter.restore();

    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.frameShape = QFrame::StyledPanel;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = kBorder;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
}

void StringGrid::drawCell(QPainter& painter, int column, int row) const {
    const QRect cell = cellRect(column, row);
    const QString text = QString::fromStdString(model_.cell(column, row));
    const QColor textColour = palette().color(QPalette::Text);
    painter.setPen(textColour);
    if (column == kTitleColumn) {
        painter.drawText(cell.adjusted(0, 1, -3, 0), Qt::AlignRight | Qt::AlignTop, text);
    } else {
        const CellHighlight highlight = cellHighlight(column, row, model_.cell(column, row));
        if (highlight != CellHighlight::None) {
            painter.fillRect(cell, highlight == CellHighlight::Red ? kTroubleRed : kTroubleYellow);
            painter.drawText(cell.adjusted(6, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
        } else {
            painter.drawText(cell.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
        }
    }
    if (row == kRowGroupDelay) {
        painter.setPen(kSeparator);
        const int y = cell.bottom() + 1;
        painter.drawLine(cell.left() - 4, y, cell.right() + 1, y);
    }
}

}  // namespace tessaly
