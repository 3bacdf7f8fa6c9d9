// The painted text grid of one receiver channel: 2 columns of 112 px, rows of exactly 15 px,
// grid lines, no scroll bars, never a selected value cell. It paints the ChannelGrid model of
// the monitor view and nothing else.
#pragma once

#include <QColor>
#include <QWidget>

#include "app/channel_grid.h"

namespace tessaly {

// The backgrounds that mark trouble, in the grids and in the rover line alike.
inline const QColor kTroubleRed(255, 0, 0);
inline const QColor kTroubleYellow(255, 255, 0);

class StringGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 112;
    static constexpr int kRowHeight = 15;
    static constexpr int kLineWidth = 1;
    static constexpr int kBorder = 2;

    StringGrid(const ChannelGrid& model, QWidget* parent);

    // The rectangle of a cell in widget coordinates, without the grid line after it.
    QRect cellRect(int column, int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawCell(QPainter& painter, int column, int row) const;

    const ChannelGrid& model_;
};

}  // namespace tessaly
