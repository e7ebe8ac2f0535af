#include "axes.h"
#include "palette.h"
#include "panels.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tavrin {

namespace {

// Between the map and its direction labels, and those and the title.
constexpr double Gap = 4;

// The Hammer projection: equal-area, the whole sphere inside an ellipse
// whose centre looks along +x.
class Hammer {
public:
    explicit Hammer(const QRectF &box) : box(box) {}

    QPointF at(double longitude, double latitude) const
    {
        const double d = std::sqrt(1.0 + std::cos(latitude) * std::cos(longitude / 2));
        const double x = std::cos(latitude) * std::sin(longitude / 2) / d, y = std::sin(latitude) / d;
        return {box.center().x() + x * box.width() / 2, box.center().y() - y * box.height() / 2};
    }

    QPointF at(const Direction &u) const
    {
        return at(std::atan2(u[1], u[0]), std::asin(std::clamp(u[2], -1.0, 1.0)));
    }

private:
    QRectF box;
};

double latitudeOf(double z)
{
    return std::asin(std::clamp(z, -1.0, 1.0));
}

// A band of the sphere between two heights and two longitudes in [-pi, pi],
// its edges traced finely enough to stay smooth.
QPolygonF band(const Hammer &map, double zTop, double zBottom, double from, double to)
{
    const int steps = std::max(2, int(std::ceil((to - from) / (Pi / 36))));
    QPolygonF polygon;
    for (int s = 0; s <= steps; s++)
        polygon << map.at(from + (to - from) * s / steps, latitudeOf(zTop));
    for (int s = steps; s >= 0; s--)
        polygon << map.at(from + (to - from) * s / steps, latitudeOf(zBottom));
    return polygon;
}

void drawCells(QPainter &painter, const Hammer &map, const QualityReport &q)
{
    const EqualAreaCells cells(int(q.cellHit.size()));
    painter.setPen(QPen(Qt::white, 1.2));
    for (int c = 0; c < cells.size(); c++) {
        painter.setBrush(q.cellHit[c] ? Palette::hitCell : Palette::emptyCell);
        const EqualAreaCells::Bounds b = cells.bounds(c);
        // Longitudes past pi continue from -pi: a cell across that seam is drawn in two.
        if (b.phiEnd <= Pi)
            painter.drawPolygon(band(map, b.zTop, b.zBottom, b.phiBegin, b.phiEnd));
        else if (b.phiBegin >= Pi)
            painter.drawPolygon(band(map, b.zTop, b.zBottom, b.phiBegin - 2 * Pi, b.phiEnd - 2 * Pi));
        else {
            painter.drawPolygon(band(map, b.zTop, b.zBottom, b.phiBegin, Pi));
            painter.drawPolygon(band(map, b.zTop, b.zBottom, -Pi, b.phiEnd - 2 * Pi));
        }
    }
}

void drawGraticule(QPainter &painter, const Hammer &map)
{
    painter.setPen(QPen(Palette::ink.lighter(400), 0.8, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    for (int degrees = -60; degrees <= 60; degrees += 30) {
        QPolygonF parallel;
        for (int s = 0; s <= 72; s++)
            parallel << map.at(-Pi + 2 * Pi * s / 72, degrees * Pi / 180);
        painter.drawPolyline(parallel);
    }
    for (int degrees = -135; degrees <= 135; degrees += 45) {
        QPolygonF meridian;
        for (int s = 0; s <= 36; s++)
            meridian << map.at(degrees * Pi / 180, -Pi / 2 + Pi * s / 36);
        painter.drawPolyline(meridian);
    }
    QPolygonF outline;
    for (int s = 0; s <= 72; s++)
        outline << map.at(Pi, -Pi / 2 + Pi * s / 72);
    for (int s = 72; s >= 0; s--)
        outline << map.at(-Pi, -Pi / 2 + Pi * s / 72);
    painter.setPen(QPen(Palette::ink, 1.2));
    painter.drawPolygon(outline);
}

// The rim of the cap, broken where it crosses the map's edge at longitude pi.
void drawCap(QPainter &painter, const Hammer &map, const EmptyCap &cap)
{
    const Direction &c = cap.centre;
    Direction e1, e2;
    tangentBasis(c, e1, e2);
    painter.setPen(QPen(Palette::emptyCap, 3));
    painter.setBrush(Qt::NoBrush);
    QPolygonF piece;
    double previous = 0.0;
    for (int s = 0; s <= 360; s++) {
        const double t = 2 * Pi * s / 360, along = std::cos(cap.radius), across = std::sin(cap.radius);
        Direction u;
        for (int i = 0; i < 3; i++)
            u[i] = along * c[i] + across * (std::cos(t) * e1[i] + std::sin(t) * e2[i]);
        const double longitude = std::atan2(u[1], u[0]);
        if (!piece.isEmpty() && std::abs(longitude - previous) > Pi) {
            painter.drawPolyline(piece);
            piece.clear();
        }
        piece << map.at(u);
        previous = longitude;
    }
    painter.drawPolyline(piece);
    const QPointF centre = map.at(c);
    painter.drawLine(centre - QPointF(6, 6), centre + QPointF(6, 6));
    painter.drawLine(centre - QPointF(6, -6), centre + QPointF(6, -6));
}

QFont directionFont()
{
    return figureFont(14, true);
}

QFont titleFont()
{
    return figureFont(16, true);
}

// The axes' ends on the map: +x, +y and -y inside, -x at both ends of the
// equator, +z above the top and -z below the bottom.
void drawDirectionLabels(QPainter &painter, const QRectF &box, const Hammer &map, LabelLog *log)
{
    painter.setPen(Palette::ink);
    painter.setFont(directionFont());
    const QFontMetricsF metrics(directionFont());
    const double h = metrics.height();
    const auto label = [&](QPointF at, const QString &text, Qt::Alignment align) {
        const double left = at.x() - (align & Qt::AlignRight ? 80 : align & Qt::AlignLeft ? 0 : 40);
        drawLabel(painter, QRectF(left, at.y() - h / 2, 80, h), align | Qt::AlignVCenter, text, log);
    };
    const QString minusX = QStringLiteral("\u2212x");
    // Inside, a small map has room for its cells only.
    if (box.width() >= 12 * metrics.horizontalAdvance(minusX)) {
        label(map.at(0, 0), QStringLiteral("+x"), Qt::AlignHCenter);
        label(map.at(Pi / 2, 0), QStringLiteral("+y"), Qt::AlignHCenter);
        label(map.at(-Pi / 2, 0), QStringLiteral("\u2212y"), Qt::AlignHCenter);
    }
    label(QPointF(box.right() + Gap, box.center().y()), minusX, Qt::AlignLeft);
    label(QPointF(box.left() - Gap, box.center().y()), minusX, Qt::AlignRight);
    label(QPointF(box.center().x(), box.top() - Gap - h / 2), QStringLiteral("+z"), Qt::AlignHCenter);
    label(QPointF(box.center().x(), box.bottom() + Gap + h / 2), QStringLiteral("\u2212z"), Qt::AlignHCenter);
}

} // namespace

QMarginsF coverageMapMargins()
{
    const QFontMetricsF direction(directionFont()), title(titleFont());
    const double side = Gap + direction.horizontalAdvance(QStringLiteral("\u2212x"));
    return {side, 2 * Gap + direction.height() + title.height(), side, Gap + direction.height()};
}

void drawCoverageMap(QPainter &painter, const QRectF &box, const QualityReport &q, LabelLog *log)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const Hammer map(box);
    drawCells(painter, map, q);
    drawGraticule(painter, map);
    if (q.largestEmptyCap.radius < Pi)
        drawCap(painter, map, q.largestEmptyCap);
    drawDirectionLabels(painter, box, map, log);
    painter.setFont(titleFont());
    const QFontMetricsF title(titleFont());
    const QRectF room = box + coverageMapMargins();
    const QString hit = QStringLiteral("%1 of %2").arg(q.cellsHit).arg(q.cellHit.size());
    drawLabel(painter, QRectF(room.left(), room.top(), room.width(), title.height()),
              Qt::AlignHCenter | Qt::AlignTop,
              fittingText(title,
                          {QStringLiteral("Orientations covered: %1 equal-area cells hit").arg(hit),
                           QStringLiteral("Covered: %1 cells").arg(hit), hit},
                          room.width()),
              log);
    painter.restore();
}

QPointF coverageMapPoint(const QRectF &box, const Direction &u)
{
    return Hammer(box).at(u);
}

} // namespace tavrin
