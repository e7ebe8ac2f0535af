#include "panelwidgets.h"
#include "axes.h"
#include "palette.h"
#include "panels.h"
#include "turnadvice.h"

#include <QPainter>

#include <algorithm>

namespace tavrin {

namespace {

// Room for tick labels left and below, and a panel's title above.
constexpr int LeftMargin = 80, RightMargin = 20, TopMargin = 44, BottomMargin = 64;

constexpr int SmallestPanel = 60;

} // namespace

ProjectionsWidget::ProjectionsWidget(QWidget *parent) : ViewWidget(parent)
{
    setMinimumSize(LeftMargin + RightMargin + SmallestPanel, TopMargin + BottomMargin + SmallestPanel);
}

// The three panels in a row, or in a column when that makes them larger, as
// in a narrow window.
FigureLayout ProjectionsWidget::layout() const
{
    const int across = (width() - 3 * (LeftMargin + RightMargin)) / 3;
    const int down = (height() - 3 * (TopMargin + BottomMargin)) / 3;
    const int inRow = std::min(across, height() - TopMargin - BottomMargin);
    const int inColumn = std::min(down, width() - LeftMargin - RightMargin);
    const bool row = inRow >= inColumn;
    const int side = std::max(SmallestPanel, row ? inRow : inColumn);
    const int stepX = row ? side + LeftMargin + RightMargin : 0;
    const int stepY = row ? 0 : side + TopMargin + BottomMargin;
    const int left = std::max(0, (width() - (row ? 3 * stepX : side + LeftMargin + RightMargin)) / 2);
    const int top = std::max(0, (height() - (row ? side + TopMargin + BottomMargin : 3 * stepY)) / 2);
    FigureLayout l;
    for (int panel = 0; panel < 3; panel++)
        l.projections[panel] =
            QRect(left + panel * stepX + LeftMargin, top + panel * stepY + TopMargin, side, side);
    return l;
}

void ProjectionsWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawProjections(painter, layout(), figure);
}

QRectF CoverageWidget::mapBox() const
{
    // The map is twice as wide as it is high; the advice goes under it.
    const QRectF room = QRectF(rect()).adjusted(16, 16, -16, -90);
    const double w = std::min(room.width(), 2 * room.height());
    return {room.center().x() - w / 2, room.top(), w, w / 2};
}

void CoverageWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    const QRectF box = mapBox();
    drawCoverageMap(painter, box.toRect(), figure.quality);
    painter.setPen(Palette::ink);
    painter.setFont(figureFont(15));
    painter.drawText(QRectF(16, box.bottom() + 12, width() - 32, height() - box.bottom() - 16),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, advice());
}

void CoverageWidget::setEnough(std::optional<bool> rule)
{
    if (rule == enough)
        return;
    enough = rule;
    update();
}

QString CoverageWidget::advice() const
{
    if (!figure())
        return {};
    return enough ? turnAdvice(figure()->quality, *enough) : turnAdvice(figure()->quality);
}

void HistogramWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawNormErrorHistogram(painter, rect().adjusted(LeftMargin, 24, -RightMargin, -BottomMargin), figure);
}

} // namespace tavrin
