// What the calibration figure shows, apart from the drawing itself: those
// who only hand a figure to be drawn need no Qt Gui.
#ifndef TAVRIN_PLOT_FIGUREDATA_H
#define TAVRIN_PLOT_FIGUREDATA_H

#include "quality.h"
#include "robustfit.h"

#include <QString>

namespace tavrin {

struct FigureData {
    QString name; ///< shown in the title, usually the file name
    double hm = 0.0;
    Points points;
    CalibrationParameters parameters;
    QualityReport quality;
    const RobustFit *robust = nullptr; ///< its rejected points are marked, its plane drawn
};

/// Writes the figure as PNG or SVG, chosen by the suffix of path, atomically.
/// False when it cannot be written, with the reason in *reason when given.
using FigureWriter = bool (*)(const QString &path, const FigureData &data, QString *reason);

} // namespace tavrin

#endif
