#include "axes.h"
#include "cloud.h"
#include "palette.h"
#include "panels.h"
#include "rawview.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tavrin {

namespace {

constexpr int Axes[3][2] = {{0, 1}, {1, 2}, {2, 0}};

constexpr int TitlePixels = 16;
// Between a panel's title and its tick labels.
constexpr double Gap = 6;

// One square range around the origin that holds every raw and calibrated
// coordinate and the circle of radius Hm, so that all panels share a scale.
double commonRange(const FigureData &d, const RawView &raw, const Calibrator &calibrate)
{
    double range = 1.1 * d.hm;
    for (int k = 0; k < d.points.size(); k++) {
        double r[3], c[3];
        raw(d.points[k], r);
        calibrate(d.points[k], c);
        for (int i = 0; i < 3; i++)
            range = std::max({range, std::abs(r[i]), std::abs(c[i])});
    }
    return 1.05 * range;
}

void drawPoints(QPainter &painter, const Frame (&frames)[3], const FigureData &d, const RawView &raw,
                const Calibrator &calibrate)
{
    // Few points get big dots, many get small ones, so that both read.
    const double dot = d.points.size() <= 100 ? 7.0 : d.points.size() <= 1000 ? 4.5 : 2.5;
    for (int set = 0; set < 2; set++) {
        QColor colour = set == 0 ? Palette::raw : Palette::calibrated;
        colour.setAlphaF(d.points.size() <= 1000 ? 0.85 : 0.55);
        painter.setPen(QPen(colour, dot, Qt::SolidLine, Qt::RoundCap));
        for (int panel = 0; panel < 3; panel++) {
            QPolygonF points;
            points.reserve(d.points.size());
            for (int k = 0; k < d.points.size(); k++) {
                double v[3];
                if (set == 0)
                    raw(d.points[k], v);
                else
                    calibrate(d.points[k], v);
                points << frames[panel].map(v[Axes[panel][0]], v[Axes[panel][1]]);
            }
            painter.drawPoints(points);
        }
    }
}

// The index of the square of a w by h grid over a panel that v falls on.
size_t square(const double v[3], int panel, double range, int w, int h)
{
    const int x = std::min(w - 1, int((v[Axes[panel][0]] + range) * w / (2 * range)));
    const int y = std::min(h - 1, int((range - v[Axes[panel][1]]) * h / (2 * range)));
    return size_t(y) * size_t(w) + size_t(x);
}

QImage densityLayer(const std::vector<std::uint32_t> &counts, const QColor &colour, int w, int h)
{
    const double top = std::log1p(double(*std::max_element(counts.begin(), counts.end())));
    QImage layer(w, h, QImage::Format_ARGB32);
    layer.fill(Qt::transparent);
    for (int y = 0; y < h; y++) {
        QRgb *line = reinterpret_cast<QRgb *>(layer.scanLine(y));
        for (int x = 0; x < w; x++)
            if (const std::uint32_t n = counts[size_t(y) * w + x])
                line[x] = qRgba(colour.red(), colour.green(), colour.blue(),
                                int(255 * (0.3 + 0.7 * std::log1p(double(n)) / top)));
    }
    return layer;
}

// Each square of pixels shaded by how many points fall on it, on a log
// scale, in the colour of its set: 500000 points read as well as 5000. The
// squares grow as the points thin out, so that they still read as a surface.
void drawDensities(QPainter &painter, const Frame (&frames)[3], const FigureData &d, const RawView &raw,
                   const Calibrator &calibrate, double range)
{
    const int side = d.points.size() < 50000 ? 3 : d.points.size() < 200000 ? 2 : 1;
    const int w = int(frames[0].pixels.width()) / side, h = int(frames[0].pixels.height()) / side;
    std::vector<std::uint32_t> counts[2][3];
    for (auto &set : counts)
        for (auto &panel : set)
            panel.assign(size_t(w) * h, 0);
    for (int k = 0; k < d.points.size(); k++) {
        double v[2][3];
        raw(d.points[k], v[0]);
        calibrate(d.points[k], v[1]);
        for (int set = 0; set < 2; set++)
            for (int panel = 0; panel < 3; panel++)
                counts[set][panel][square(v[set], panel, range, w, h)]++;
    }
    // The calibrated layer over the raw one, as one image per panel: an SVG
    // file embeds every image it is given as a PNG of its own.
    for (int panel = 0; panel < 3; panel++) {
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter layers(&image);
        layers.drawImage(0, 0, densityLayer(counts[0][panel], Palette::raw, w, h));
        layers.drawImage(0, 0, densityLayer(counts[1][panel], Palette::calibrated, w, h));
        layers.end();
        painter.drawImage(frames[panel].pixels, image);
    }
}

// The rejected points, raw and calibrated, shaded by their density in
// their own colour when there are more than MostPointsDrawn of them: a
// cross each would make a figure of any size.
void drawRejectedDensities(QPainter &painter, const Frame (&frames)[3], const FigureData &d,
                           const RawView &raw, const Calibrator &calibrate, double range)
{
    const int side = 2;
    const int w = int(frames[0].pixels.width()) / side, h = int(frames[0].pixels.height()) / side;
    std::vector<std::uint32_t> counts[3];
    for (auto &panel : counts)
        panel.assign(size_t(w) * h, 0);
    for (const int k : d.robust->rejected) {
        double v[2][3];
        raw(d.points[k], v[0]);
        calibrate(d.points[k], v[1]);
        for (const auto &point : v)
            for (int panel = 0; panel < 3; panel++)
                counts[panel][square(point, panel, range, w, h)]++;
    }
    for (int panel = 0; panel < 3; panel++)
        painter.drawImage(frames[panel].pixels, densityLayer(counts[panel], Palette::rejected, w, h));
}

// A cross on each rejected point, raw and calibrated, over everything else.
void drawRejected(QPainter &painter, const Frame (&frames)[3], const FigureData &d, const RawView &raw,
                  const Calibrator &calibrate, double range)
{
    if (d.robust->rejected.size() > size_t(MostPointsDrawn))
        return drawRejectedDensities(painter, frames, d, raw, calibrate, range);
    painter.setPen(QPen(Palette::rejected, 2.0));
    constexpr double arm = 5.0;
    for (const int k : d.robust->rejected) {
        double v[2][3];
        raw(d.points[k], v[0]);
        calibrate(d.points[k], v[1]);
        for (const auto &point : v)
            for (int panel = 0; panel < 3; panel++) {
                const QPointF at = frames[panel].map(point[Axes[panel][0]], point[Axes[panel][1]]);
                painter.drawLine(at + QPointF(-arm, -arm), at + QPointF(arm, arm));
                painter.drawLine(at + QPointF(-arm, arm), at + QPointF(arm, -arm));
            }
    }
}

// The circle in the plane of a planar fit where its calibrated points lie:
// edge-on, the plane is a line.
void drawPlane(QPainter &painter, const Frame (&frames)[3], const FigureData &d, const Calibrator &calibrate)
{
    std::vector<double> xyz(3 * size_t(d.points.size()));
    for (int k = 0; k < d.points.size(); k++)
        calibrate(d.points[k], &xyz[3 * size_t(k)]);
    const double *n = d.robust->normal;
    const PlaneCircle c = planeCircleOf(n, xyz.data(), d.points.size());
    double e1[3], e2[3];
    PlaneBasis(n, e1, e2);
    painter.setPen(QPen(Palette::plane, 2.5, Qt::DashDotLine));
    for (int panel = 0; panel < 3; panel++) {
        QPolygonF circle;
        for (int step = 0; step <= 96; step++) {
            const double t = 2 * M_PI * step / 96;
            double p[3];
            for (int i = 0; i < 3; i++)
                p[i] = c.height * n[i] + c.radius * (std::cos(t) * e1[i] + std::sin(t) * e2[i]);
            circle << frames[panel].map(p[Axes[panel][0]], p[Axes[panel][1]]);
        }
        painter.drawPolyline(circle);
    }
}

} // namespace

QMarginsF projectionMargins(const FigureData &d)
{
    const double range = commonRange(d, RawView(d.points, d.hm), Calibrator(d.parameters));
    const QMarginsF axes = axesMargins(-range, range, -range, range);
    return axes + QMarginsF(0, Gap + QFontMetricsF(figureFont(TitlePixels, true)).height(), 0, 0);
}

void drawProjections(QPainter &painter, const FigureLayout &layout, const FigureData &d, LabelLog *log)
{
    const Calibrator calibrate(d.parameters);
    const RawView raw(d.points, d.hm);
    const double range = commonRange(d, raw, calibrate);
    const QMarginsF axes = axesMargins(-range, range, -range, range);
    const QFont titleFont = figureFont(TitlePixels, true);
    const QFontMetricsF title(titleFont);
    const QString names[3] = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
    Frame frames[3];
    for (int panel = 0; panel < 3; panel++) {
        frames[panel] = {QRectF(layout.projections[panel]), -range, range, -range, range};
        const QString &a = names[Axes[panel][0]], &b = names[Axes[panel][1]];
        drawAxes(painter, frames[panel], {a + QStringLiteral(" (units of Hm)"), a},
                 {b + QStringLiteral(" (units of Hm)"), b}, log);
        painter.setFont(titleFont);
        painter.setPen(Palette::ink);
        const QRectF room = QRectF(layout.projections[panel]) + axes;
        const QString pair = a.toUpper() + b.toUpper();
        drawLabel(painter,
                  QRectF(room.left(), room.top() - Gap - title.height(), room.width(), title.height()),
                  Qt::AlignHCenter | Qt::AlignTop,
                  fittingText(title, {QStringLiteral("%1 projection").arg(pair), pair}, room.width()), log);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (d.points.size() <= MostPointsDrawn)
        drawPoints(painter, frames, d, raw, calibrate);
    else
        drawDensities(painter, frames, d, raw, calibrate, range);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Palette::ink, 1.5, Qt::DashLine));
    if (d.robust && d.robust->model == FitModel::Planar)
        drawPlane(painter, frames, d, calibrate);
    else
        for (const Frame &frame : frames) {
            const QPointF centre = frame.map(0, 0);
            const double radius = frame.map(d.hm, 0).x() - centre.x();
            painter.drawEllipse(centre, radius, radius);
        }
    if (d.robust)
        drawRejected(painter, frames, d, raw, calibrate, range);
    painter.restore();
}

} // namespace tavrin
