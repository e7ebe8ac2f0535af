// The norm error of every point before and after the calibration, as the
// histogram and the series against the index show it.
#ifndef TAVRIN_PLOT_NORMERRORS_H
#define TAVRIN_PLOT_NORMERRORS_H

#include "figure.h"

#include <vector>

namespace tavrin {

struct PointErrors {
    std::vector<double> before, after;
};

/// e = |h - b| - norm and |A^-1 (h - b)| - norm, against the norm the
/// quality was judged by: Hm, or for a planar fit the norm its calibrated
/// points have.
PointErrors normErrors(const FigureData &d);

/// The |e| below which 99.5 % of the values lie: a plot's reach, so that a
/// few outliers do not squeeze the rest into a line.
double reach(std::vector<double> values);

} // namespace tavrin

#endif
