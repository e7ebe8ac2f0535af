#include "normerrorseries.h"
#include "palette.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// Each pixel column spans the errors of its points from least to most: a
// series of 500000 points reads, and draws, as fast as one of 500.
void drawEnvelope(QPainter &painter, const Frame &frame, const std::vector<double> &values,
                  const QColor &colour)
{
    const int columns = std::max(1, int(frame.pixels.width()));
    const int n = int(values.size());
    QColor c = colour;
    c.setAlphaF(0.8);
    if (n <= columns) {
        QPolygonF dots;
        for (int k = 0; k < n; k++)
            dots << frame.map(k, std::clamp(values[size_t(k)], frame.yLow, frame.yHigh));
        painter.setPen(QPen(c, n <= 200 ? 4.0 : 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawPoints(dots);
        return;
    }
    painter.setPen(QPen(c, 1.0));
    for (int column = 0; column < columns; column++) {
        const int first = int(qint64(column) * n / columns), last = int(qint64(column + 1) * n / columns);
        const auto [low, high] =
            std::minmax_element(values.begin() + first, values.begin() + std::max(last, first + 1));
        const double x = frame.pixels.left() + column + 0.5;
        const double top = frame.map(0, std::clamp(*high, frame.yLow, frame.yHigh)).y();
        const double bottom = frame.map(0, std::clamp(*low, frame.yLow, frame.yHigh)).y();
        painter.drawLine(QPointF(x, top), QPointF(x, bottom + 0.5));
    }
}

} // namespace

QRectF normErrorSeriesPlotArea(const QRectF &box)
{
    return box.adjusted(90, 40, -24, -64);
}

Frame normErrorSeriesFrame(const QRectF &plotArea, const PointErrors &e)
{
    const double limit = std::max({reach(e.before), reach(e.after), 1e-12}) * 1.15;
    const double last = std::max(1.0, double(e.before.size()) - 1);
    return {plotArea, 0.0, last, -limit, limit};
}

void drawNormErrorSeries(QPainter &painter, const QRectF &box, const PointErrors &e, const RobustFit *robust)
{
    painter.save();
    painter.fillRect(box, Qt::white);
    const QRectF plotArea = normErrorSeriesPlotArea(box);
    const Frame frame = normErrorSeriesFrame(plotArea, e);
    drawAxes(painter, frame, QStringLiteral("reading index (0-based)"),
             QStringLiteral("norm error e (input units)"));
    painter.setClipRect(plotArea);
    drawEnvelope(painter, frame, e.before, Palette::raw);
    drawEnvelope(painter, frame, e.after, Palette::calibrated);
    if (robust) {
        painter.setPen(QPen(Palette::rejected, 1.5));
        constexpr double arm = 3.5;
        for (const int k : robust->rejected) {
            const QPointF at = frame.map(k, std::clamp(e.after[size_t(k)], frame.yLow, frame.yHigh));
            painter.drawLine(at + QPointF(-arm, -arm), at + QPointF(arm, arm));
            painter.drawLine(at + QPointF(-arm, arm), at + QPointF(arm, -arm));
        }
    }
    painter.setClipping(false);
    painter.setFont(figureFont(14));
    painter.setPen(Palette::raw.darker(130));
    painter.drawText(QPointF(plotArea.left(), box.top() + 24), QStringLiteral("before: |h - b| - Hm"));
    painter.setPen(Palette::calibrated);
    painter.drawText(QPointF(plotArea.left() + 200, box.top() + 24),
                     QStringLiteral("after: |A^-1 (h - b)| - Hm"));
    if (robust) {
        painter.setPen(Palette::rejected);
        painter.drawText(QPointF(plotArea.left() + 440, box.top() + 24), QStringLiteral("x rejected"));
    }
    painter.restore();
}

int normErrorPointAt(const Frame &frame, const PointErrors &e, const QPointF &pixel, double radius)
{
    const int n = int(e.before.size());
    if (n == 0)
        return -1;
    const double perPixel = (frame.xHigh - frame.xLow) / frame.pixels.width();
    const double atX = frame.xLow + (pixel.x() - frame.pixels.left()) * perPixel;
    const int from = std::max(0, int(std::floor(atX - radius * perPixel)));
    const int to = std::min(n - 1, int(std::ceil(atX + radius * perPixel)));
    int best = -1;
    double bestDistance = radius * radius;
    for (int k = from; k <= to; k++)
        for (const std::vector<double> *values : {&e.before, &e.after}) {
            const QPointF d = frame.map(k, std::clamp((*values)[size_t(k)], frame.yLow, frame.yHigh)) - pixel;
            const double distance = d.x() * d.x() + d.y() * d.y();
            if (distance < bestDistance) {
                best = k;
                bestDistance = distance;
            }
        }
    return best;
}

} // namespace tavrin
