// One figure of a calibration, drawn without a display: the three projections
// of the raw and calibrated points with the circle of radius Hm, a map of the
// orientations covered, and a histogram of the norm error before and after.
#ifndef TAVRIN_PLOT_FIGURE_H
#define TAVRIN_PLOT_FIGURE_H

#include "figuredata.h"
#include "labels.h"

#include <QRect>
#include <QString>

class QPainter;

namespace tavrin {

/// Where the parts of the figure go, in pixels of a FigureLayout::size canvas.
struct FigureLayout {
    static constexpr int width = 1800, height = 1200;
    QRect projections[3]; ///< XY, YZ, ZX
    QRect coverageMap;    ///< the bounding box of the equal-area map's ellipse
    QRect histogram;      ///< the histogram with its title, legend and axes

    FigureLayout();
};

/// Up to this many points every point is drawn, and up to this many
/// rejected points each gets a cross; above, each projection is
/// shaded by the density of the points.
constexpr int MostPointsDrawn = 5000;

/// Draws the figure on a painter whose device is FigureLayout's size; adds
/// every label it draws to log when there is one.
void DrawFigure(QPainter &painter, const FigureData &data, LabelLog *log = nullptr);

/// The FigureWriter: PNG or SVG by the suffix of path, written atomically.
bool WriteFigure(const QString &path, const FigureData &data, QString *reason = nullptr);

} // namespace tavrin

#endif
