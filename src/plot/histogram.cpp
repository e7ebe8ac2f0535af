#include "axes.h"
#include "normerrors.h"
#include "palette.h"
#include "panels.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavrin {

namespace {

constexpr int Bins = 60;

std::vector<int> histogram(const std::vector<double> &values, double reach)
{
    std::vector<int> counts(Bins, 0);
    for (double v : values)
        counts[size_t(std::clamp(int((v + reach) / (2 * reach) * Bins), 0, Bins - 1))]++;
    return counts;
}

} // namespace

void drawNormErrorHistogram(QPainter &painter, const QRect &box, const FigureData &d)
{
    const PointErrors e = normErrors(d);
    const double limit = std::max({reach(e.before), reach(e.after), 1e-9 * d.hm}) * 1.1;
    const std::vector<int> counts[2] = {histogram(e.before, limit), histogram(e.after, limit)};
    const int top = std::max(*std::max_element(counts[0].begin(), counts[0].end()),
                             *std::max_element(counts[1].begin(), counts[1].end()));
    const Frame frame{QRectF(box), -limit, limit, 0.0, 1.08 * top};
    drawAxes(painter, frame, QStringLiteral("norm error e (input units); the end bins hold the tails"),
             QStringLiteral("points"));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (int set = 0; set < 2; set++) {
        QColor colour = set == 0 ? Palette::raw : Palette::calibrated;
        QPolygonF outline;
        outline << frame.map(-limit, 0);
        for (int b = 0; b < Bins; b++) {
            const double left = -limit + 2 * limit * b / Bins, right = -limit + 2 * limit * (b + 1) / Bins;
            outline << frame.map(left, counts[set][b]) << frame.map(right, counts[set][b]);
        }
        outline << frame.map(limit, 0);
        painter.setPen(QPen(colour, 2));
        colour.setAlphaF(0.35);
        painter.setBrush(colour);
        painter.drawPolygon(outline);
    }
    painter.setFont(figureFont(16, true));
    painter.setPen(Palette::ink);
    painter.drawText(box.adjusted(0, -110, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Norm error before and after"));
    const QualityReport &q = d.quality;
    painter.setFont(figureFont(14));
    const auto legendLine = [&](int row, const QColor &colour, const QString &text) {
        const QPointF at(box.left(), box.top() - 58 + 22 * row);
        painter.fillRect(QRectF(at.x(), at.y() - 6, 14, 12), colour);
        painter.drawText(at + QPointF(20, 5), text);
    };
    legendLine(0, Palette::raw,
               QStringLiteral("before: |h \u2212 b| \u2212 Hm, RMS %1").arg(q.before.rms, 0, 'g', 3));
    legendLine(
        1, Palette::calibrated,
        QStringLiteral("after: |A\u207B\u00B9(h \u2212 b)| \u2212 Hm, RMS %1").arg(q.after.rms, 0, 'g', 3));
    painter.restore();
}

} // namespace tavrin
