// The norm error of every reading against its index, before and after the
// calibration, with rejected points marked: where a time-related fault shows,
// a drift, a jump or a burst of spikes.
#ifndef TAVRIN_PLOT_NORMERRORSERIES_H
#define TAVRIN_PLOT_NORMERRORSERIES_H

#include "axes.h"
#include "normerrors.h"

#include <QRectF>

class QPainter;

namespace tavrin {

/// Where the series goes in a box that also holds its axes and legend.
QRectF normErrorSeriesPlotArea(const QRectF &box, const PointErrors &errors);

/// The frame of the series in its plot area: the indices across, the errors up to a
/// little beyond their reach; values beyond it are drawn at its edge.
Frame normErrorSeriesFrame(const QRectF &plotArea, const PointErrors &errors);

/// Draws the series in box, on white.
void drawNormErrorSeries(QPainter &painter, const QRectF &box, const PointErrors &errors,
                         const RobustFit *robust, LabelLog *log = nullptr);

/// The 0-based index of the point whose error, before or after, is nearest
/// to pixel within radius pixels; -1 for none.
int normErrorPointAt(const Frame &frame, const PointErrors &errors, const QPointF &pixel, double radius);

} // namespace tavrin

#endif
