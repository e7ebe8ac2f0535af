#include "axes.h"

#include "palette.h"

#include <QFont>
#include <QPainter>

#include <cmath>

namespace tavrin {

namespace {

QString tickText(double value, double step)
{
    const int decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    return QString::number(value, 'f', decimals);
}

double tickStep(const std::vector<double> &ticks)
{
    return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
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

void drawAxes(QPainter &painter, const Frame &frame, const QString &xLabel, const QString &yLabel)
{
    painter.save();
    painter.setFont(figureFont(13));
    const std::vector<double> xs = niceTicks(frame.xLow, frame.xHigh, 6);
    const std::vector<double> ys = niceTicks(frame.yLow, frame.yHigh, 6);
    const QRectF &r = frame.pixels;
    for (double x : xs) {
        const double px = frame.map(x, 0).x();
        painter.setPen(QPen(x == 0 ? Palette::ink.lighter(300) : Palette::grid, 1));
        painter.drawLine(QPointF(px, r.top()), QPointF(px, r.bottom()));
        painter.setPen(Palette::ink);
        painter.drawText(QRectF(px - 40, r.bottom() + 4, 80, 18), Qt::AlignHCenter | Qt::AlignTop,
                         tickText(x, tickStep(xs)));
    }
    for (double y : ys) {
        const double py = frame.map(0, y).y();
        painter.setPen(QPen(y == 0 ? Palette::ink.lighter(300) : Palette::grid, 1));
        painter.drawLine(QPointF(r.left(), py), QPointF(r.right(), py));
        painter.setPen(Palette::ink);
        painter.drawText(QRectF(r.left() - 66, py - 9, 60, 18), Qt::AlignRight | Qt::AlignVCenter,
                         tickText(y, tickStep(ys)));
    }
    painter.setPen(QPen(Palette::ink, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
    painter.setFont(figureFont(15));
    painter.drawText(QRectF(r.left(), r.bottom() + 22, r.width(), 20), Qt::AlignHCenter | Qt::AlignTop,
                     xLabel);
    painter.translate(r.left() - 72, r.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-r.height() / 2, -20, r.height(), 20), Qt::AlignHCenter | Qt::AlignBottom,
                     yLabel);
    painter.restore();
}

} // namespace tavrin
