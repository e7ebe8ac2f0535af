#include "cloud.h"
#include "axes.h"
#include "palette.h"
#include "pointspread.h"
#include "rawview.h"

#include <QLineF>
#include <QPainter>
#include <QPolygonF>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// The axes reach beyond the sphere, so that their names stand clear of it.
constexpr double AxisLength = 1.2;

} // namespace

CloudPoints::CloudPoints(const FigureData &d, CloudSet set)
{
    const int n = d.points.size();
    const int shown = std::min(n, MostCloudPoints);
    index.reserve(size_t(shown));
    coordinates.reserve(3 * size_t(shown));
    const RawView raw(d.points, d.hm);
    const Calibrator calibrate(d.parameters);
    double largest = 0.0;
    for (int k = 0; k < shown; k++) {
        const int i = int(qint64(k) * n / shown);
        double v[3];
        if (set == CloudSet::Raw)
            raw(d.points[i], v);
        else
            calibrate(d.points[i], v);
        index.push_back(i);
        coordinates.insert(coordinates.end(), v, v + 3);
        largest = std::max(largest, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    }
    reach = 1.05 * std::max(largest, AxisLength * std::abs(d.hm));
}

CloudCamera::CloudCamera(const QRectF &box, double range, const CloudView &view)
    : centre(box.center()), scale(view.zoom * std::min(box.width(), box.height()) / (2 * range))
{
    // A turn by yaw about z, then a tilt by pitch about the screen's x axis.
    const double cy = std::cos(view.yaw), sy = std::sin(view.yaw);
    const double cp = std::cos(view.pitch), sp = std::sin(view.pitch);
    const double yawTurn[3][3] = {{cy, -sy, 0}, {sy, cy, 0}, {0, 0, 1}};
    const double pitchTurn[3][3] = {{1, 0, 0}, {0, cp, -sp}, {0, sp, cp}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            turn[i][j] = 0.0;
            for (int k = 0; k < 3; k++)
                turn[i][j] += pitchTurn[i][k] * yawTurn[k][j];
        }
}

// The turned frame looks along +y: x goes right, z up.
QPointF CloudCamera::map(const double v[3]) const
{
    const double x = turn[0][0] * v[0] + turn[0][1] * v[1] + turn[0][2] * v[2];
    const double z = turn[2][0] * v[0] + turn[2][1] * v[1] + turn[2][2] * v[2];
    return {centre.x() + scale * x, centre.y() - scale * z};
}

double CloudCamera::depth(const double v[3]) const
{
    return -(turn[1][0] * v[0] + turn[1][1] * v[1] + turn[1][2] * v[2]);
}

namespace {

constexpr int CircleSteps = 72;

// The segments of a circle of the sphere, split into the near half and the
// far half, so that the far one can be drawn faint.
void addCircle(const CloudCamera &camera, const double (&e1)[3], const double (&e2)[3],
               const double (&offset)[3], double radius, QVector<QLineF> (&halves)[2])
{
    for (int s = 0; s < CircleSteps; s++) {
        double ends[2][3];
        for (int e = 0; e < 2; e++) {
            const double t = 2 * Pi * (s + e) / CircleSteps;
            for (int i = 0; i < 3; i++)
                ends[e][i] = offset[i] + radius * (std::cos(t) * e1[i] + std::sin(t) * e2[i]);
        }
        halves[camera.depth(ends[0]) >= 0 ? 0 : 1] << QLineF(camera.map(ends[0]), camera.map(ends[1]));
    }
}

void drawWireSphere(QPainter &painter, const CloudCamera &camera, double hm)
{
    QVector<QLineF> halves[2];
    for (int latitude = -60; latitude <= 60; latitude += 30) {
        const double phi = latitude * Pi / 180;
        const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, offset[3] = {0, 0, hm * std::sin(phi)};
        addCircle(camera, e1, e2, offset, hm * std::cos(phi), halves);
    }
    for (int longitude = 0; longitude < 180; longitude += 30) {
        const double lambda = longitude * Pi / 180;
        const double e1[3] = {std::cos(lambda), std::sin(lambda), 0}, e2[3] = {0, 0, 1}, offset[3] = {};
        addCircle(camera, e1, e2, offset, hm, halves);
    }
    const double alpha[2] = {0.45, 0.12};
    for (int half = 0; half < 2; half++) {
        QColor colour = Palette::ink;
        colour.setAlphaF(alpha[half]);
        painter.setPen(QPen(colour, 1.0));
        painter.drawLines(halves[half]);
    }
}

void drawAxesTriad(QPainter &painter, const CloudCamera &camera, double length)
{
    const char *names[3] = {"x", "y", "z"};
    painter.setFont(figureFont(14, true));
    for (int i = 0; i < 3; i++) {
        const double origin[3] = {}, tip[3] = {i == 0 ? length : 0, i == 1 ? length : 0, i == 2 ? length : 0};
        painter.setPen(QPen(Palette::ink, 1.5));
        painter.drawLine(camera.map(origin), camera.map(tip));
        painter.drawText(camera.map(tip) + QPointF(4, -4), QLatin1String(names[i]));
    }
}

void drawPoints(QPainter &painter, const CloudCamera &camera, const CloudPoints &points, CloudSet set)
{
    // Near points solid and far ones faint, so that the cloud reads as a
    // body. Square dots without antialiasing take the raster's fast path:
    // the cloud turns smoothly under the mouse.
    const double range = points.range();
    QColor colour = set == CloudSet::Raw ? Palette::raw : Palette::calibrated;
    const int dot = points.size() <= 1000 ? 4 : 2;
    constexpr int Layers = 4;
    QPolygonF layers[Layers];
    for (int k = 0; k < points.size(); k++) {
        const double nearness = (camera.depth(points.at(k)) / range + 1) / 2;
        layers[std::clamp(int(nearness * Layers), 0, Layers - 1)] << camera.map(points.at(k));
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int layer = 0; layer < Layers; layer++) {
        colour.setAlphaF(0.25 + 0.6 * layer / (Layers - 1));
        painter.setPen(QPen(colour, dot, Qt::SolidLine, Qt::SquareCap));
        painter.drawPoints(layers[layer]);
    }
    painter.restore();
}

// Crosses on the rejected points that the cloud shows.
void drawRejected(QPainter &painter, const CloudCamera &camera, const CloudPoints &points,
                  const RobustFit &fit)
{
    std::vector<bool> rejected;
    for (const int k : fit.rejected) {
        if (size_t(k) >= rejected.size())
            rejected.resize(size_t(k) + 1, false);
        rejected[size_t(k)] = true;
    }
    painter.setPen(QPen(Palette::rejected, 2.0));
    constexpr double arm = 4.0;
    for (int k = 0; k < points.size(); k++)
        if (size_t(points.pointIndex(k)) < rejected.size() && rejected[size_t(points.pointIndex(k))]) {
            const QPointF at = camera.map(points.at(k));
            painter.drawLine(at + QPointF(-arm, -arm), at + QPointF(arm, arm));
            painter.drawLine(at + QPointF(-arm, arm), at + QPointF(arm, -arm));
        }
}

// The plane of a planar fit where the calibrated points lie.
void drawPlane(QPainter &painter, const CloudCamera &camera, const CloudPoints &points, const RobustFit &fit)
{
    const double *n = fit.normal;
    const PlaneCircle c = planeCircleOf(n, points.size() > 0 ? points.at(0) : nullptr, points.size());
    double e1[3], e2[3];
    PlaneBasis(n, e1, e2);
    QPolygonF circle;
    for (int s = 0; s <= CircleSteps; s++) {
        const double t = 2 * Pi * s / CircleSteps;
        double p[3];
        for (int i = 0; i < 3; i++)
            p[i] = c.height * n[i] + c.radius * (std::cos(t) * e1[i] + std::sin(t) * e2[i]);
        circle << camera.map(p);
    }
    painter.setPen(QPen(Palette::plane, 2.5, Qt::DashDotLine));
    painter.drawPolyline(circle);
}

} // namespace

PlaneCircle planeCircleOf(const double n[3], const double *xyz, int count)
{
    PlaneCircle c;
    for (int k = 0; k < count; k++) {
        const double *v = xyz + 3 * size_t(k);
        const double along = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
        c.height += along / count;
        c.radius += std::sqrt(std::max(0.0, v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - along * along)) / count;
    }
    return c;
}

QRectF cloudArea(const QRectF &box)
{
    constexpr double TitleHeight = 28;
    return box.adjusted(0, TitleHeight, 0, 0);
}

void drawCloud(QPainter &painter, const QRectF &box, const FigureData &d, const CloudPoints &points,
               CloudSet set, const CloudView &view)
{
    painter.save();
    painter.fillRect(box, Qt::white);
    painter.setClipRect(box);
    painter.setRenderHint(QPainter::Antialiasing);
    const CloudCamera camera(cloudArea(box), points.range(), view);
    // A planar fit's calibrated points keep the reading along the normal as
    // measured: they lie on the plane's circle, not on the sphere of radius Hm.
    const bool planar = d.robust && d.robust->model == FitModel::Planar && set == CloudSet::Calibrated;
    if (!planar)
        drawWireSphere(painter, camera, std::abs(d.hm));
    drawAxesTriad(painter, camera, AxisLength * std::abs(d.hm));
    drawPoints(painter, camera, points, set);
    if (planar)
        drawPlane(painter, camera, points, *d.robust);
    if (d.robust)
        drawRejected(painter, camera, points, *d.robust);
    painter.setPen(Palette::ink);
    painter.setFont(figureFont(14));
    painter.drawText(box.adjusted(8, 6, -8, -6), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     set == CloudSet::Raw ? QStringLiteral("Raw points about their centre, scaled to Hm")
                     : planar ? QStringLiteral("Calibrated points and the circle of their plane; the reading "
                                               "along its normal is left as measured")
                              : QStringLiteral("Calibrated points and the sphere of radius Hm"));
    if (points.size() < d.points.size())
        painter.drawText(box.adjusted(8, 6, -8, -6), Qt::AlignLeft | Qt::AlignBottom,
                         QStringLiteral("%1 of %2 points shown").arg(points.size()).arg(d.points.size()));
    painter.restore();
}

int cloudPointAt(const CloudPoints &points, const CloudCamera &camera, const QPointF &pixel, double radius)
{
    int best = -1;
    double bestDistance = radius * radius, bestDepth = 0.0;
    for (int k = 0; k < points.size(); k++) {
        const QPointF d = camera.map(points.at(k)) - pixel;
        const double distance = d.x() * d.x() + d.y() * d.y();
        const double depth = camera.depth(points.at(k));
        if (distance < bestDistance || (distance == bestDistance && best >= 0 && depth > bestDepth)) {
            best = k;
            bestDistance = distance;
            bestDepth = depth;
        }
    }
    return best < 0 ? -1 : points.pointIndex(best);
}

} // namespace tavrin
