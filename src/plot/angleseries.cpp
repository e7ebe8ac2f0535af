#include "angleseries.h"
#include "normerrorseries.h"
#include "palette.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

std::vector<QString> legendTexts(const AngleSeries &s)
{
    std::vector<QString> texts{QStringLiteral("as logged")};
    if (!s.after.empty())
        texts.push_back(QStringLiteral("after the rotation"));
    texts.push_back(QStringLiteral("shaded: at rest"));
    return texts;
}

// The runs of readings at rest, each shaded as one band, so that a rest of
// thousands of readings costs one rectangle.
void shadeRests(QPainter &painter, const Frame &frame, const std::vector<bool> &atRest)
{
    QColor shade = Palette::plane;
    shade.setAlphaF(0.22);
    const int n = int(atRest.size());
    for (int first = 0; first < n; first++) {
        if (!atRest[size_t(first)])
            continue;
        int last = first;
        while (last + 1 < n && atRest[size_t(last + 1)])
            last++;
        const double left = frame.map(first - 0.5, 0).x(), right = frame.map(last + 0.5, 0).x();
        painter.fillRect(QRectF(QPointF(left, frame.pixels.top()), QPointF(right, frame.pixels.bottom())),
                         shade);
        first = last;
    }
}

} // namespace

double angleDegrees(const double a[3], const double b[3])
{
    const double cross[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double sine = std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
    const double cosine = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    if (!std::isfinite(sine) || !std::isfinite(cosine) || (sine == 0 && cosine == 0))
        return std::nan("");
    return std::atan2(sine, cosine) * 180.0 / M_PI;
}

QRectF angleSeriesPlotArea(const QRectF &box, const AngleSeries &s)
{
    return seriesPlotArea(box, legendTexts(s), angleSeriesFrame(box, s));
}

Frame angleSeriesFrame(const QRectF &plotArea, const AngleSeries &s)
{
    double low = 180, high = 0;
    for (const std::vector<double> *values : {&s.before, &s.after})
        for (const double v : *values)
            if (std::isfinite(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
    if (low > high) {
        low = 0;
        high = 180;
    }
    const double margin = std::max(1.0, 0.08 * (high - low));
    const double last = std::max(1.0, double(s.before.size()) - 1);
    return {plotArea, 0.0, last, std::max(0.0, low - margin), std::min(180.0, high + margin)};
}

void drawAngleSeries(QPainter &painter, const QRectF &box, const AngleSeries &s, LabelLog *log)
{
    painter.save();
    painter.fillRect(box, Qt::white);
    const QRectF plotArea = angleSeriesPlotArea(box, s);
    const Frame frame = angleSeriesFrame(plotArea, s);
    painter.setClipRect(plotArea);
    shadeRests(painter, frame, s.atRest);
    painter.setClipping(false);
    drawAxes(painter, frame, {QStringLiteral("reading index (0-based)"), QStringLiteral("reading index")},
             {QStringLiteral("angle of accelerometer to field (degrees)"), QStringLiteral("angle (degrees)")},
             log);
    painter.setClipRect(plotArea);
    drawIndexedValues(painter, frame, s.before, Palette::raw);
    drawIndexedValues(painter, frame, s.after, Palette::calibrated);
    painter.setClipping(false);
    painter.setFont(seriesLegendFont());
    const std::vector<QString> texts = legendTexts(s);
    const std::vector<QRectF> rects = seriesLegendRects(box, texts);
    for (size_t k = 0; k < texts.size(); k++) {
        painter.setPen(k == 0                 ? Palette::raw.darker(130)
                       : k + 1 < texts.size() ? Palette::calibrated
                                              : Palette::plane.darker(130));
        drawLabel(painter, rects[k], Qt::AlignLeft | Qt::AlignVCenter, texts[k], log);
    }
    painter.restore();
}

} // namespace tavrin
