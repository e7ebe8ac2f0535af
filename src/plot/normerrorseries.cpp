#include "normerrorseries.h"
#include "palette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

std::vector<QString> legendTexts(bool rejected)
{
    std::vector<QString> texts{QStringLiteral("before: |h - b| - Hm"),
                               QStringLiteral("after: |A^-1 (h - b)| - Hm")};
    if (rejected)
        texts.push_back(QStringLiteral("x rejected"));
    return texts;
}

} // namespace

void drawIndexedValues(QPainter &painter, const Frame &frame, const std::vector<double> &values,
                       const QColor &colour)
{
    const int columns = std::max(1, int(frame.pixels.width()));
    const int n = int(values.size());
    QColor c = colour;
    c.setAlphaF(0.8);
    if (n <= columns) {
        QPolygonF dots;
        for (int k = 0; k < n; k++)
            if (std::isfinite(values[size_t(k)]))
                dots << frame.map(k, std::clamp(values[size_t(k)], frame.yLow, frame.yHigh));
        painter.setPen(QPen(c, n <= 200 ? 4.0 : 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawPoints(dots);
        return;
    }
    painter.setPen(QPen(c, 1.0));
    for (int column = 0; column < columns; column++) {
        const int first = int(qint64(column) * n / columns), last = int(qint64(column + 1) * n / columns);
        double low = INFINITY, high = -INFINITY;
        for (int k = first; k < std::max(last, first + 1); k++)
            if (std::isfinite(values[size_t(k)])) {
                low = std::min(low, values[size_t(k)]);
                high = std::max(high, values[size_t(k)]);
            }
        if (low > high)
            continue;
        const double x = frame.pixels.left() + column + 0.5;
        const double top = frame.map(0, std::clamp(high, frame.yLow, frame.yHigh)).y();
        const double bottom = frame.map(0, std::clamp(low, frame.yLow, frame.yHigh)).y();
        painter.drawLine(QPointF(x, top), QPointF(x, bottom + 0.5));
    }
}

QFont seriesLegendFont()
{
    return figureFont(14);
}

std::vector<QRectF> seriesLegendRects(const QRectF &box, const std::vector<QString> &texts)
{
    const QFontMetricsF metrics(seriesLegendFont());
    const double spacing = 2 * metrics.height();
    std::vector<QRectF> rects;
    QPointF at(box.left() + SeriesGap, box.top() + SeriesGap);
    for (const QString &text : texts) {
        const double width = metrics.horizontalAdvance(text);
        if (!rects.empty() && at.x() + width > box.right() - SeriesGap)
            at = QPointF(box.left() + SeriesGap, at.y() + metrics.height());
        rects.emplace_back(at, QSizeF(width, metrics.height()));
        at.rx() += width + spacing;
    }
    return rects;
}

QRectF seriesPlotArea(const QRectF &box, const std::vector<QString> &legend, const Frame &ranges)
{
    const QRectF below = seriesLegendRects(box, legend).back();
    return box.adjusted(0, below.bottom() - box.top() + SeriesGap, -SeriesGap, -SeriesGap) -
           axesMargins(ranges.xLow, ranges.xHigh, ranges.yLow, ranges.yHigh);
}

QRectF normErrorSeriesPlotArea(const QRectF &box, const PointErrors &e)
{
    return seriesPlotArea(box, legendTexts(true), normErrorSeriesFrame(box, e));
}

Frame normErrorSeriesFrame(const QRectF &plotArea, const PointErrors &e)
{
    const double limit = std::max({reach(e.before), reach(e.after), 1e-12}) * 1.15;
    const double last = std::max(1.0, double(e.before.size()) - 1);
    return {plotArea, 0.0, last, -limit, limit};
}

void drawNormErrorSeries(QPainter &painter, const QRectF &box, const PointErrors &e, const RobustFit *robust,
                         LabelLog *log)
{
    painter.save();
    painter.fillRect(box, Qt::white);
    const QRectF plotArea = normErrorSeriesPlotArea(box, e);
    const Frame frame = normErrorSeriesFrame(plotArea, e);
    drawAxes(painter, frame, {QStringLiteral("reading index (0-based)"), QStringLiteral("reading index")},
             {QStringLiteral("norm error e (input units)"), QStringLiteral("norm error e")}, log);
    painter.setClipRect(plotArea);
    drawIndexedValues(painter, frame, e.before, Palette::raw);
    drawIndexedValues(painter, frame, e.after, Palette::calibrated);
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
    painter.setFont(seriesLegendFont());
    const std::vector<QString> texts = legendTexts(robust != nullptr);
    const std::vector<QRectF> rects = seriesLegendRects(box, texts);
    const QColor colours[3] = {Palette::raw.darker(130), Palette::calibrated, Palette::rejected};
    for (size_t k = 0; k < texts.size(); k++) {
        painter.setPen(colours[k]);
        drawLabel(painter, rects[k], Qt::AlignLeft | Qt::AlignVCenter, texts[k], log);
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
