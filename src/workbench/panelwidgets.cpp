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
    setMinimumSize(3 * (LeftMargin + RightMargin + SmallestPanel), TopMargin + BottomMargin + SmallestPanel);
}

FigureLayout ProjectionsWidget::layout() const
{
    FigureLayout l;
    const int across = (width() - 3 * (LeftMargin + RightMargin)) / 3;
    const int side = std::max(SmallestPanel, std::min(across, height() - TopMargin - BottomMargin));
    const int step = side + LeftMargin + RightMargin;
    const int left = std::max(0, (width() - 3 * step) / 2);
    const int top = std::max(TopMargin, (height() - side - BottomMargin + TopMargin) / 2);
    for (int panel = 0; panel < 3; panel++)
        l.projections[panel] = QRect(left + panel * step + LeftMargin, top, side, side);
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
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, turnAdvice(figure.quality));
}

void HistogramWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawNormErrorHistogram(painter, rect().adjusted(LeftMargin, 24, -RightMargin, -BottomMargin), figure);
}

} // namespace tavrin
