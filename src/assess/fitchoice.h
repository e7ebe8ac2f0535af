// Which fit the data support, for the fit Auto: the plane of a turn about one
// axis; where the directions cover part of the sphere only, the model whose
// bias error, predicted from the data, is least; the full model where they
// cover it. No model whose bias the data make implausible is returned.
#ifndef TAVRIN_FITCHOICE_H
#define TAVRIN_FITCHOICE_H

#include "pointspread.h"
#include "quality.h"
#include "robustfit.h"

#include <QString>

#include <atomic>
#include <vector>

namespace tavrin {

/// The limits beyond which a fit's calibration is implausible for the points.
namespace ChoiceLimits {
/// A bias farther than this many RMS radii of the points from their mean:
/// a cap of 2 % of the sphere puts the true one about 4 radii away, the
/// wrong fits of caps and turns in a car tens of radii.
constexpr double MaxBiasRadii = 10.0;
/// Axes of A whose lengths differ by more than this ratio: soft iron of
/// real sensors stays well below 1 : 2.
constexpr double MaxAxisRatio = 4.0;
constexpr double LeastCorrelation = 0.05;
constexpr int LongestCorrelation = 250;
} // namespace ChoiceLimits

/// Whether the directions of the points about CoverageCentre cover the
/// sphere, as the verdict counts them; coverage, when given, gets the count.
/// outline, when given, keeps what it finds of the points, or gives it.
bool CoverTheSphere(Points points, double Hm, QString *coverage = nullptr, PointsOutline *outline = nullptr,
                    const WorkControl &control = WorkControl());

/// The integrated autocorrelation time of the fit's norm residuals in the
/// order of the readings, 1 + 2 sum of the autocorrelations: how many
/// readings count as one independent reading. The residuals are clipped at
/// three robust sigmas, so that a transient counts as little as any other
/// reading, and the sum stops at the first lag where the autocorrelation
/// falls below ChoiceLimits::LeastCorrelation, or at a twentieth of the
/// readings, or at ChoiceLimits::LongestCorrelation.
double CorrelationTime(Points points, const RobustFit &fit);

/// Why a calibration is implausible for points of the given spread (gross
/// points aside), or an empty text when it is plausible.
QString Implausibility(const CalibrationParameters &p, const PointSpread &spread);

/// A fit as the choice weighs it.
struct Candidate {
    FitModel model = FitModel::Full;
    double bias[3] = {};
    double covariance[3][3] = {}; ///< of the bias
};

/// A fit as a candidate, its covariance scaled by the correlation time of
/// the readings, which it assumed independent.
Candidate CandidateOf(const RobustFit &fit, double correlationTime);

/// The predicted squared bias error of each candidate, ordered from the
/// fewest parameters to the most: the trace of its covariance, plus, but
/// for the last, the squared distance of its bias from the last's less the
/// last's own variance, an estimate of the error its model makes.
std::vector<double> PredictedErrors(const std::vector<Candidate> &candidates);

struct FitChoice {
    FitModel model = FitModel::Full;
    QString reason;               ///< one line: what in the data chose the model
    std::optional<RobustFit> fit; ///< the chosen model's fit, when choosing made it already
    bool failed = false;          ///< no model gave a plausible fit; reason says why
};

/// Chooses among Planar, Sphere, Diagonal and Full for the points:
/// - points flatter than QualityLimits::MaxFlatness: Planar;
/// - directions about CoverageCentre that cover the sphere: Full;
/// - otherwise, of Sphere, Diagonal and Full, the one of least predicted
///   bias error (PredictedErrors).
/// A fit that Implausibility refuses gives way to the next, and the reason
/// says so. A cancel by control stops the choice early with failed set.
/// outline, when given, keeps what the choice finds of the points, for
/// their judgement, or gives what was found before; sampled, a start
/// converged ahead for one model, spares that model's fit its starts.
FitChoice ChooseFit(Points points, double Hm, const WorkControl &control = WorkControl(),
                    PointsOutline *outline = nullptr, const SampledStart *sampled = nullptr);

/// The robust model whose fit a run asking for model surely makes, on points
/// whose plane is plane: the model asked for, or for Auto the full one, which
/// ChooseFit fits for all points but those that lie flat; none for Auto on
/// those.
std::optional<FitModel> SurelyFittedModel(FitModel model, const PlaneSpread &plane);

} // namespace tavrin

#endif
