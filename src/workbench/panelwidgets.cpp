#include "panelwidgets.h"
#include "axes.h"
#include "palette.h"
#include "panels.h"
#include "turnadvice.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tavrin {

namespace {

// Between the panels and the widget's edges.
constexpr int Edge = 8;

constexpr int SmallestPanel = 30;

QFont adviceFont()
{
    return figureFont(15);
}

// Room for a title and two-digit ticks, until there is a figure.
const QMarginsF UsualMargins(60, 40, 12, 40);

} // namespace

ProjectionsWidget::ProjectionsWidget(QWidget *parent) : ViewWidget(parent)
{
    setMinimumSize(3 * (SmallestPanel + int(UsualMargins.left() + UsualMargins.right()) + 2 * Edge),
                   SmallestPanel + int(UsualMargins.top() + UsualMargins.bottom()) + 2 * Edge);
}

QMarginsF ProjectionsWidget::margins() const
{
    return (figure() ? projectionMargins(*figure()) : UsualMargins) + QMarginsF(Edge, Edge, Edge, Edge);
}

// The three panels in a row, or in a column when that makes them larger, as
// in a narrow window.
FigureLayout ProjectionsWidget::layout() const
{
    const QMarginsF m = margins();
    const int across = int(m.left() + m.right()), down = int(m.top() + m.bottom());
    const int inRow = std::min((width() - 3 * across) / 3, height() - down);
    const int inColumn = std::min((height() - 3 * down) / 3, width() - across);
    const bool row = inRow >= inColumn;
    const int side = std::max(SmallestPanel, row ? inRow : inColumn);
    const int stepX = row ? side + across : 0;
    const int stepY = row ? 0 : side + down;
    const int left = std::max(0, (width() - (row ? 3 * stepX : side + across)) / 2);
    const int top = std::max(0, (height() - (row ? side + down : 3 * stepY)) / 2);
    FigureLayout l;
    for (int panel = 0; panel < 3; panel++)
        l.projections[panel] =
            QRect(left + panel * stepX + int(m.left()), top + panel * stepY + int(m.top()), side, side);
    return l;
}

void ProjectionsWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawProjections(painter, layout(), figure, &drawnLabels);
}

// The advice under the map, wrapped to the widget's width.
QRectF CoverageWidget::adviceBox() const
{
    const QRectF across = QRectF(rect()).adjusted(Edge, 0, -Edge, 0);
    const QString advice = figure() ? turnAdvice(figure()->quality) : QString();
    const double high =
        QFontMetricsF(adviceFont())
            .boundingRect(QRectF(0, 0, across.width(), 1e6), Qt::AlignHCenter | Qt::TextWordWrap, advice)
            .height();
    return {across.left(), across.bottom() - Edge - high, across.width(), high};
}

QRectF CoverageWidget::mapBox() const
{
    // The map is twice as wide as it is high; its labels around it, the advice under it.
    const QRectF room = QRectF(rect()).adjusted(Edge, Edge, -Edge, 0);
    const QRectF map = QRectF(room.left(), room.top(), room.width(), adviceBox().top() - Edge - room.top()) -
                       coverageMapMargins();
    const double w = std::max(0.0, std::min(map.width(), 2 * map.height()));
    return {map.center().x() - w / 2, map.top(), w, w / 2};
}

void CoverageWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawCoverageMap(painter, mapBox(), figure.quality, &drawnLabels);
    painter.setPen(Palette::ink);
    painter.setFont(adviceFont());
    drawLabel(painter, adviceBox(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
              turnAdvice(figure.quality), &drawnLabels);
}

void HistogramWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    drawNormErrorHistogram(painter, QRectF(rect()).adjusted(Edge, Edge, -Edge, -Edge), figure, &drawnLabels);
}

} // namespace tavrin
