// Axes for the figure's panels: a frame mapping data to pixels, tick values
// at round numbers, and their labels.
#ifndef TAVRIN_PLOT_AXES_H
#define TAVRIN_PLOT_AXES_H

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace tavrin {

struct Frame {
    QRectF pixels;
    double xLow, xHigh, yLow, yHigh;

    QPointF map(double x, double y) const
    {
        return {pixels.left() + (x - xLow) / (xHigh - xLow) * pixels.width(),
                pixels.bottom() - (y - yLow) / (yHigh - yLow) * pixels.height()};
    }
};

/// About count ticks across [low, high] at 1, 2 or 5 times a power of ten.
std::vector<double> niceTicks(double low, double high, int count);

/// Grid lines, tick labels, the frame and the two axis labels.
void drawAxes(QPainter &painter, const Frame &frame, const QString &xLabel, const QString &yLabel);

/// A pixel-sized font of the figure's family.
QFont figureFont(int pixels, bool bold = false);

} // namespace tavrin

#endif
