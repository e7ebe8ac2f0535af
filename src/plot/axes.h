// Axes for the figure's panels: a frame mapping data to pixels, tick values
// at round numbers, and their labels.
#ifndef TAVRIN_PLOT_AXES_H
#define TAVRIN_PLOT_AXES_H

#include "labels.h"

#include <QFont>
#include <QMarginsF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <initializer_list>
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

/// The room that drawAxes takes around a frame of these ranges for its tick
/// labels and its two axis labels.
QMarginsF axesMargins(double xLow, double xHigh, double yLow, double yHigh);

/// Grid lines, as many tick labels as fit without touching, the frame and
/// the two axis labels: of each list, the first text that fits along its side.
void drawAxes(QPainter &painter, const Frame &frame, std::initializer_list<QString> xLabels,
              std::initializer_list<QString> yLabels, LabelLog *log = nullptr);

/// A pixel-sized font of the figure's family.
QFont figureFont(int pixels, bool bold = false);

} // namespace tavrin

#endif
