// The angle between the accelerometer and the calibrated field against the
// reading's index, as logged and after the rotation found, with the readings
// at rest shaded: where the sensor rests, gravity and the Earth's field keep
// one angle, so a wandering angle there shows axes that disagree.
#ifndef TAVRIN_PLOT_ANGLESERIES_H
#define TAVRIN_PLOT_ANGLESERIES_H

#include "axes.h"

#include <QRectF>

#include <vector>

class QPainter;

namespace tavrin {

struct AngleSeries {
    /// Degrees, one a reading; not a number where either direction is unknown.
    std::vector<double> before;
    /// The same after the rotation; empty when the data did not fix one.
    std::vector<double> after;
    /// One a reading: whether the accelerometer measured gravity alone.
    std::vector<bool> atRest;

    bool empty() const { return before.empty(); }
};

/// The angle in degrees between a and b, 0 to 180; not a number when either
/// is zero or not finite.
double angleDegrees(const double a[3], const double b[3]);

/// Where the series goes in a box that also holds its axes and legend.
QRectF angleSeriesPlotArea(const QRectF &box, const AngleSeries &series);

/// The indices across, the angles up from a little below their least to a
/// little above their most, within 0 to 180 degrees.
Frame angleSeriesFrame(const QRectF &plotArea, const AngleSeries &series);

/// Draws the series in box, on white.
void drawAngleSeries(QPainter &painter, const QRectF &box, const AngleSeries &series,
                     LabelLog *log = nullptr);

} // namespace tavrin

#endif
