#include "axes.h"
#include "normerrors.h"
#include "palette.h"
#include "panels.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavrin {

namespace {

constexpr int Bins = 60;
// Between the title, the legend and the axes.
constexpr double Gap = 6;

std::vector<int> histogram(const std::vector<double> &values, double reach)
{
    std::vector<int> counts(Bins, 0);
    for (double v : values)
        counts[size_t(std::clamp(int((v + reach) / (2 * reach) * Bins), 0, Bins - 1))]++;
    return counts;
}

} // namespace

void drawNormErrorHistogram(QPainter &painter, const QRectF &box, const FigureData &d, LabelLog *log)
{
    const PointErrors e = normErrors(d);
    const double limit = std::max({reach(e.before), reach(e.after), 1e-9 * d.hm}) * 1.1;
    const std::vector<int> counts[2] = {histogram(e.before, limit), histogram(e.after, limit)};
    const int top = std::max(*std::max_element(counts[0].begin(), counts[0].end()),
                             *std::max_element(counts[1].begin(), counts[1].end()));
    // The title, then a line for each set, above the axes.
    const QFont titleFont = figureFont(16, true), legendFont = figureFont(14);
    const QFontMetricsF title(titleFont), legend(legendFont);
    const double above = title.height() + Gap + 2 * legend.height() + Gap;
    const QRectF plot = box.adjusted(0, above, 0, 0) - axesMargins(-limit, limit, 0.0, 1.08 * top);
    const Frame frame{plot, -limit, limit, 0.0, 1.08 * top};
    drawAxes(painter, frame,
             {QStringLiteral("norm error e (input units); the end bins hold the tails"),
              QStringLiteral("norm error e (input units)"), QStringLiteral("norm error e")},
             {QStringLiteral("points")}, log);

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
    painter.setFont(titleFont);
    painter.setPen(Palette::ink);
    drawLabel(painter, QRectF(box.left(), box.top(), box.width(), title.height()),
              Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Norm error before and after"), log);
    const QualityReport &q = d.quality;
    painter.setFont(legendFont);
    const QString lines[2] = {
        QStringLiteral("before: |h \u2212 b| \u2212 Hm, RMS %1").arg(q.before.rms, 0, 'g', 3),
        QStringLiteral("after: |A\u207B\u00B9(h \u2212 b)| \u2212 Hm, RMS %1").arg(q.after.rms, 0, 'g', 3)};
    const double swatch = legend.ascent() * 0.8;
    // Under the frame's left edge, or further left when that leaves too little room.
    const double widest =
        swatch + Gap + std::max(legend.horizontalAdvance(lines[0]), legend.horizontalAdvance(lines[1]));
    const double left = std::max(box.left(), std::min(plot.left(), box.right() - widest));
    const auto legendLine = [&](int row, const QColor &colour) {
        const QRectF line(left, box.top() + title.height() + Gap + row * legend.height(), box.right() - left,
                          legend.height());
        painter.fillRect(QRectF(line.left(), line.center().y() - swatch / 2, swatch, swatch), colour);
        drawLabel(painter, line.adjusted(swatch + Gap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, lines[row],
                  log);
    };
    legendLine(0, Palette::raw);
    legendLine(1, Palette::calibrated);
    painter.restore();
}

} // namespace tavrin
