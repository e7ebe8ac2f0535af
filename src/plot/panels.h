// The panels of the calibration figure.
#ifndef TAVRIN_PLOT_PANELS_H
#define TAVRIN_PLOT_PANELS_H

#include "figure.h"

namespace tavrin {

/// The XY, YZ and ZX projections of the raw and the calibrated points, on
/// one scale, with the circle of radius Hm.
void drawProjections(QPainter &painter, const FigureLayout &layout, const FigureData &data);

/// The equal-area cells hit by the calibrated directions on a Hammer
/// projection of the sphere, with the largest empty cap outlined.
void drawCoverageMap(QPainter &painter, const QRect &box, const QualityReport &quality);

/// Where a unit direction lands on the coverage map drawn in box.
QPointF coverageMapPoint(const QRectF &box, const Direction &u);

/// Histograms of the norm error before and after the calibration.
void drawNormErrorHistogram(QPainter &painter, const QRect &box, const FigureData &data);

} // namespace tavrin

#endif
