// The panels of the calibration figure. Each adds the labels it draws to a
// log when it is given one.
#ifndef TAVRIN_PLOT_PANELS_H
#define TAVRIN_PLOT_PANELS_H

#include "figure.h"
#include "labels.h"

#include <QMarginsF>

namespace tavrin {

/// The room a projection's title and axes take around its frame.
QMarginsF projectionMargins(const FigureData &data);

/// The XY, YZ and ZX projections of the raw and the calibrated points, on
/// one scale, with the circle of radius Hm.
void drawProjections(QPainter &painter, const FigureLayout &layout, const FigureData &data,
                     LabelLog *log = nullptr);

/// The room the coverage map's title and direction labels take around the
/// box of its ellipse.
QMarginsF coverageMapMargins();

/// The equal-area cells hit by the calibrated directions on a Hammer
/// projection of the sphere, with the largest empty cap outlined.
void drawCoverageMap(QPainter &painter, const QRectF &box, const QualityReport &quality,
                     LabelLog *log = nullptr);

/// Where a unit direction lands on the coverage map drawn in box.
QPointF coverageMapPoint(const QRectF &box, const Direction &u);

/// Histograms of the norm error before and after the calibration, with
/// their title, legend and axes inside box.
void drawNormErrorHistogram(QPainter &painter, const QRectF &box, const FigureData &data,
                            LabelLog *log = nullptr);

} // namespace tavrin

#endif
