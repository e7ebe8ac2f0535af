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
/// Fits of at most this many points are weighed by the spread of their
/// bias over subsets as well as by their covariance: on few points a fit's
/// bias strays far beyond what its linearised covariance says (on a cap of
/// 78 points, 72 % of Hm where it says 3 %), on many the two agree.
constexpr int MostSubsetPoints = 4096;
/// The subsets each leave out one of this many runs of consecutive readings.
constexpr int SubsetRuns = 8;
/// A simpler model misfits when its squared robust scale exceeds the most
/// general model's, relative to it and times the independent readings, by
/// more than this per parameter it lacks. Where both models fit, that
/// excess is about one; on caps of 15 % of the sphere round sensors reach
/// 10 against a diagonal fit, sensors of 1 : 1.5 against a sphere mostly
/// tens to hundreds.
constexpr double MisfitExcess = 12.0;
/// A refusal names a rest as its cause when at least this share of the
/// readings lie at one attitude (RestingShare).
constexpr double MostAtOneAttitude = 0.5;
/// Readings at one attitude lie within this share of the 99th percentile
/// of the readings' distances from their coordinate-wise median, of that
/// median: a rest's within a few noise sigmas of each other, where a turn
/// spreads over twice the field's norm.
constexpr double AttitudeWidth = 0.05;
} // namespace ChoiceLimits

/// Whether the directions of the outline's points about its robust sphere's
/// centre cover the sphere, as the verdict counts them; coverage, when
/// given, gets the count.
bool CoverTheSphere(PointsOutline &outline, double Hm, QString *coverage = nullptr,
                    const WorkControl &control = WorkControl());

/// The integrated autocorrelation time of the fit's norm residuals in the
/// order of the readings, 1 + 2 sum of the autocorrelations: how many
/// readings count as one independent reading. The residuals are clipped at
/// three robust sigmas, so that a transient counts as little as any other
/// reading, and the sum stops at the first lag where the autocorrelation
/// falls below ChoiceLimits::LeastCorrelation, or at a twentieth of the
/// readings, or at ChoiceLimits::LongestCorrelation.
double CorrelationTime(Points points, const RobustFit &fit);

/// The share of the points that lie at the attitude where most of them
/// lie: within ChoiceLimits::AttitudeWidth of the 99th percentile of their
/// distances from their coordinate-wise median, of that median. Near 0 for
/// readings that turn all the time; the share of a rest that holds half of
/// them or more.
double RestingShare(Points points);

/// Why a calibration is implausible for points of the given spread (gross
/// points aside), or an empty text when it is plausible.
QString Implausibility(const CalibrationParameters &p, const PointSpread &spread);

/// A fit as the choice weighs it.
struct Candidate {
    FitModel model = FitModel::Full;
    double bias[3] = {};
    double covariance[3][3] = {}; ///< of the bias
    /// The squared bias error that the spread of the bias over subsets of
    /// the points shows (SubsetVariance); 0 when it was not measured.
    double subsetVariance = 0.0;
    bool misfit = false; ///< its residuals show the shape it lacks (Misfits)
};

/// A fit as a candidate, its covariance scaled by the correlation time of
/// the readings, which it assumed independent.
Candidate CandidateOf(const RobustFit &fit, double correlationTime);

/// The spread of the fit's bias over the subsets of the points that leave
/// out one of ChoiceLimits::SubsetRuns runs of consecutive readings, each
/// refitted from the fit: the delete-one jackknife's estimate of the
/// squared bias error, which runs longer than the residuals' correlation
/// keep honest on a time series. 0 for more than
/// ChoiceLimits::MostSubsetPoints points; infinite when a subset
/// determines no fit, as the data then hardly determine the model.
double SubsetVariance(Points points, double Hm, const RobustFit &fit,
                      const WorkControl &control = WorkControl());

/// Whether the residuals of fit, of a model of fewer parameters than
/// general's, show the shape that it lacks, on points that count as
/// independentReadings (ChoiceLimits::MisfitExcess): then the data ask for
/// more than the model, however uncertain the more general fit is.
bool Misfits(const RobustFit &fit, const RobustFit &general, double independentReadings);

/// The predicted squared bias error of each candidate, ordered from the
/// fewest parameters to the most: its variance, the larger of the trace of
/// its covariance and its subset variance, plus, but for the last, the
/// squared distance of its bias from the last's less the last's own
/// variance, an estimate of the error its model makes; the whole squared
/// distance for a candidate that misfits. Where the last model's bias is
/// uncertain, the distance says little, and the simpler models win unless
/// their residuals show that they misfit.
std::vector<double> PredictedErrors(const std::vector<Candidate> &candidates);

/// The fits, from the fewest parameters to the most, as the choice weighs
/// them: their covariances scaled by the correlation time of the most
/// general one's residuals, their subset variances, and whether each
/// misfits against the most general one.
std::vector<Candidate> WeighedCandidates(Points points, double Hm, const std::vector<const RobustFit *> &fits,
                                         const WorkControl &control = WorkControl());

struct FitChoice {
    FitModel model = FitModel::Full;
    QString reason;               ///< one line: what in the data chose the model
    std::optional<RobustFit> fit; ///< the chosen model's fit, when choosing made it already
    /// No model gave a plausible fit; unless the choice was cancelled,
    /// reason says why and what to turn.
    bool failed = false;
};

/// Chooses among Planar, Sphere, Diagonal and Full for the outline's points:
/// - points flatter than QualityLimits::MaxFlatness: Planar;
/// - directions about the robust sphere's centre that cover the sphere: Full;
/// - otherwise, of Sphere, Diagonal and Full, the one of least predicted
///   bias error (PredictedErrors), a model that misfits only when none
///   that fits is plausible.
/// A fit that Implausibility refuses gives way to the next, and the reason
/// says so. A cancel by control stops the choice early with failed set.
/// The outline keeps what the choice finds of the points, for their
/// judgement.
FitChoice ChooseFit(PointsOutline &outline, double Hm, const WorkControl &control = WorkControl());

/// The same for points that nothing else outlines.
FitChoice ChooseFit(Points points, double Hm, const WorkControl &control = WorkControl());

} // namespace tavrin

#endif
