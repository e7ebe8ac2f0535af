// The norm error of every reading against its index, before and after the
// calibration, with rejected points marked: where a time-related fault shows,
// a drift, a jump or a burst of spikes.
#ifndef TAVRIN_PLOT_NORMERRORSERIES_H
#define TAVRIN_PLOT_NORMERRORSERIES_H

#include "axes.h"
#include "normerrors.h"

#include <QColor>
#include <QFont>
#include <QRectF>

#include <vector>

class QPainter;

namespace tavrin {

/// What the series by reading index share: the room between the legend, the
/// axes and the edges, ...
constexpr double SeriesGap = 8;

/// ...the legend's font, ...
QFont seriesLegendFont();

/// ...its entries in a row along the top of box, wrapped onto another row
/// when one does not fit, ...
std::vector<QRectF> seriesLegendRects(const QRectF &box, const std::vector<QString> &texts);

/// ...the plot area below that legend and inside the margins of axes
/// spanning ranges, ...
QRectF seriesPlotArea(const QRectF &box, const std::vector<QString> &legend, const Frame &ranges);

/// ...and the values drawn against their index in frame, clamped to its
/// range, those that are not finite left out: a dot each while every value has its pixel column, else each
/// column spans its values from least to most, so that a series of 500000
/// readings draws as fast as one of 500.
void drawIndexedValues(QPainter &painter, const Frame &frame, const std::vector<double> &values,
                       const QColor &colour);

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
