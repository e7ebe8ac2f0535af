// What the views show of a calibration, derived once on the worker thread by
// the plot library, so that showing a large calibration costs the window's
// thread nothing but the drawing.
#ifndef TAVRIN_WORKBENCH_VIEWDATA_H
#define TAVRIN_WORKBENCH_VIEWDATA_H

#include "angleseries.h"
#include "cloud.h"
#include "normerrors.h"
#include "pipeline.h"

namespace tavrin {

/// The figure of a calibrated result, named by its file name.
FigureData figureOf(const CalibrationResult &result, double hm);

/// The angle between the accelerometer and the calibrated field of every
/// reading, as logged and after the alignment's rotation when it was
/// determined, and which readings were at rest, as the alignment took them;
/// empty without an accelerometer.
AngleSeries angleSeriesOf(const CalibrationResult &result);

struct ViewData {
    /// For a calibrated result, which must outlive it.
    ViewData(const CalibrationResult &result, double hm);

    FigureData figure;
    PointErrors errors;
    CloudPoints raw, calibrated;
    AngleSeries angles;

    const CloudPoints &cloud(CloudSet set) const { return set == CloudSet::Raw ? raw : calibrated; }
};

} // namespace tavrin

#endif
