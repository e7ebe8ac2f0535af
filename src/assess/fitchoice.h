// Which fit the data support, for the fit Auto: the plane of a turn about one
// axis; where the directions cover part of the sphere only, the model that
// the data need by an information criterion; the full model where they
// cover it.
#ifndef TAVRIN_FITCHOICE_H
#define TAVRIN_FITCHOICE_H

#include "robustfit.h"

#include <QString>

namespace tavrin {

struct FitChoice {
    FitModel model = FitModel::Full;
    QString reason;               ///< one line: what in the data chose the model
    std::optional<RobustFit> fit; ///< the chosen model's fit, when choosing made it already
};

/// Chooses among Planar, Sphere, Diagonal and Full for the points and the
/// field norm Hm (in the unit of the measurements, > 0):
/// - points flatter than QualityLimits::MaxFlatness: Planar;
/// - directions about a robust sphere's centre that leave the sphere poorly
///   covered: of Sphere, Diagonal and Full the one of least Bayesian
///   information criterion n ln(s^2) + k ln(n), with s the robust scale of
///   the residuals, n the points kept and k the parameters (4, 6 or 9);
/// - otherwise Full.
/// The fits stop early, and the choice means nothing, when control cancels them.
FitChoice ChooseFit(Points points, double Hm, const WorkControl &control = WorkControl());

} // namespace tavrin

#endif
