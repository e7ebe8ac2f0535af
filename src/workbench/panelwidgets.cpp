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

// The narrowest map drawn: its cells and the labels about it still read.
constexpr double SmallestMap = 80;

constexpr int AdviceFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;

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
// The map, twice as wide as it is high with its labels around it, and the
// advice under it, or beside it when that leaves the map larger, as in a low view.
CoverageWidget::Arrangement CoverageWidget::arrangement() const
{
    const QRectF room = QRectF(rect()).adjusted(Edge, Edge, -Edge, -Edge);
    const QString advice = this->advice();
    const QFontMetricsF metrics(adviceFont());
    const auto adviceHeight = [&](double width) {
        return metrics.boundingRect(QRectF(0, 0, width, 1e6), AdviceFlags, advice).height();
    };
    const auto fitted = [](const QRectF &space) {
        const QRectF map = space - coverageMapMargins();
        const double w = std::max(0.0, std::min(map.width(), 2 * map.height()));
        return QRectF(map.center().x() - w / 2, map.center().y() - w / 4, w, w / 2);
    };
    // Below, the map and the advice as one block in the middle of the room.
    const double under = adviceHeight(room.width());
    const QMarginsF around = coverageMapMargins();
    Arrangement below{fitted(room.adjusted(0, 0, 0, -under - Edge)), QRectF()};
    const double block = around.top() + below.map.height() + around.bottom() + Edge + under;
    below.map.moveTop(room.top() + (room.height() - block) / 2 + around.top());
    below.advice = QRectF(room.left(), below.map.bottom() + around.bottom() + Edge, room.width(), under);
    const double side = 0.4 * room.width(), besideHigh = adviceHeight(side);
    const Arrangement beside{
        fitted(room.adjusted(0, 0, -side - Edge, 0)),
        QRectF(room.right() - side, room.center().y() - besideHigh / 2, side, besideHigh)};
    const Arrangement &best =
        beside.map.width() > below.map.width() && besideHigh <= room.height() ? beside : below;
    if (best.map.width() >= SmallestMap)
        return best;
    // Too small for both: the map alone, or else the words alone.
    if (const QRectF alone = fitted(room); alone.width() >= SmallestMap)
        return {alone, QRectF()};
    return {QRectF(), room};
}

QRectF CoverageWidget::mapBox() const
{
    return arrangement().map;
}

void CoverageWidget::draw(QPainter &painter, const FigureData &figure)
{
    painter.fillRect(rect(), Qt::white);
    const Arrangement parts = arrangement();
    if (!parts.map.isEmpty())
        drawCoverageMap(painter, parts.map, figure.quality, &drawnLabels);
    if (parts.advice.isEmpty())
        return;
    painter.setPen(Palette::ink);
    painter.setFont(adviceFont());
    drawLabel(painter, parts.advice, AdviceFlags, advice(), &drawnLabels);
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
    drawNormErrorHistogram(painter, QRectF(rect()).adjusted(Edge, Edge, -Edge, -Edge), figure, &drawnLabels);
}

} // namespace tavrin
