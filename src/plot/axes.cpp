#include "axes.h"

#include "palette.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr int TickPixels = 13, LabelPixels = 15;
// Between the frame and its tick labels, and between those and the axis label.
constexpr double Gap = 4;

QString tickText(double value, double step)
{
    const int decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    return QString::number(value, 'f', decimals);
}

double tickStep(const std::vector<double> &ticks)
{
    return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
}

double widestTick(const QFontMetricsF &metrics, const std::vector<double> &ticks)
{
    double widest = 0;
    for (double t : ticks)
        widest = std::max(widest, metrics.horizontalAdvance(tickText(t, tickStep(ticks))));
    return widest;
}

// The most ticks, up to six, whose labels keep apart by a line's height
// across, or half of one up the side.
std::vector<double> fittingTicks(const QFontMetricsF &metrics, double low, double high, double pixels,
                                 bool across)
{
    std::vector<double> ticks;
    for (int count = 6; count >= 1; count--) {
        ticks = niceTicks(low, high, count);
        const double room = tickStep(ticks) / (high - low) * pixels;
        const double need = across ? widestTick(metrics, ticks) + metrics.height() : 1.5 * metrics.height();
        if (ticks.size() < 2 || room >= need)
            break;
    }
    return ticks;
}

} // namespace

std::vector<double> niceTicks(double low, double high, int count)
{
    const double rough = (high - low) / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    std::vector<double> ticks;
    for (double k = std::ceil(low / step); k * step <= high + 1e-9 * step; k++)
        ticks.push_back(k * step);
    return ticks;
}

QFont figureFont(int pixels, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QMarginsF axesMargins(double xLow, double xHigh, double yLow, double yHigh)
{
    // The finest ticks have the most decimals: no fewer ticks are wider.
    const QFontMetricsF tick(figureFont(TickPixels)), label(figureFont(LabelPixels));
    return {Gap + widestTick(tick, niceTicks(yLow, yHigh, 6)) + Gap + label.height(), tick.height() / 2,
            widestTick(tick, niceTicks(xLow, xHigh, 6)) / 2, Gap + tick.height() + Gap + label.height()};
}

void drawAxes(QPainter &painter, const Frame &frame, std::initializer_list<QString> xLabels,
              std::initializer_list<QString> yLabels, LabelLog *log)
{
    painter.save();
    const QFont tickFont = figureFont(TickPixels);
    const QFontMetricsF tick(tickFont);
    painter.setFont(tickFont);
    const QRectF &r = frame.pixels;
    const std::vector<double> xs = fittingTicks(tick, frame.xLow, frame.xHigh, r.width(), true);
    const std::vector<double> ys = fittingTicks(tick, frame.yLow, frame.yHigh, r.height(), false);
    for (double x : xs) {
        const double px = frame.map(x, 0).x();
        painter.setPen(QPen(x == 0 ? Palette::ink.lighter(300) : Palette::grid, 1));
        painter.drawLine(QPointF(px, r.top()), QPointF(px, r.bottom()));
        painter.setPen(Palette::ink);
        drawLabel(painter, QRectF(px - 40, r.bottom() + Gap, 80, tick.height()),
                  Qt::AlignHCenter | Qt::AlignTop, tickText(x, tickStep(xs)), log);
    }
    const double yTicksWidth = widestTick(tick, niceTicks(frame.yLow, frame.yHigh, 6));
    // Where the first x tick's label lies: a y tick's label in the corner
    // that would touch it is left out.
    QRectF firstX;
    if (!xs.empty()) {
        const double w = tick.horizontalAdvance(tickText(xs.front(), tickStep(xs)));
        firstX = QRectF(frame.map(xs.front(), 0).x() - w / 2, r.bottom() + Gap, w, tick.height());
    }
    for (double y : ys) {
        const double py = frame.map(0, y).y();
        painter.setPen(QPen(y == 0 ? Palette::ink.lighter(300) : Palette::grid, 1));
        painter.drawLine(QPointF(r.left(), py), QPointF(r.right(), py));
        painter.setPen(Palette::ink);
        const double w = tick.horizontalAdvance(tickText(y, tickStep(ys)));
        if (firstX.intersects(QRectF(r.left() - Gap - w, py - tick.height() / 2, w, tick.height())))
            continue;
        drawLabel(painter,
                  QRectF(r.left() - Gap - yTicksWidth, py - tick.height() / 2, yTicksWidth, tick.height()),
                  Qt::AlignRight | Qt::AlignVCenter, tickText(y, tickStep(ys)), log);
    }
    painter.setPen(QPen(Palette::ink, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
    const QFont labelFont = figureFont(LabelPixels);
    const QFontMetricsF label(labelFont);
    painter.setFont(labelFont);
    drawLabel(painter, QRectF(r.left(), r.bottom() + 2 * Gap + tick.height(), r.width(), label.height()),
              Qt::AlignHCenter | Qt::AlignTop, fittingText(label, xLabels, r.width()), log);
    painter.translate(r.left() - 2 * Gap - yTicksWidth, r.center().y());
    painter.rotate(-90);
    drawLabel(painter, QRectF(-r.height() / 2, -label.height(), r.height(), label.height()),
              Qt::AlignHCenter | Qt::AlignBottom, fittingText(label, yLabels, r.height()), log);
    painter.restore();
}

} // namespace tavrin
