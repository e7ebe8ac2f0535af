// How far a calibration can be trusted: the field-norm error before and after
// it, how well the calibrated directions cover the sphere, and a verdict.
#ifndef TAVRIN_QUALITY_H
#define TAVRIN_QUALITY_H

#include "ellipsoidfit.h"
#include "hmunit.h"
#include "pointspread.h"
#include "robustfit.h"
#include "spherecells.h"

#include <array>
#include <mutex>
#include <optional>
#include <vector>

namespace tavrin {

/// The limits behind the verdict.
namespace QualityLimits {
constexpr int Cells = 100;                ///< equal-area cells for the coverage
constexpr double MinCellShare = 0.7;      ///< of the cells that the points could hit, min(Cells, points)
constexpr double MaxEmptyCapDegrees = 45; ///< a wider cap without any direction is poor coverage
constexpr double FarSigmas = 5;           ///< a point is far beyond this many robust sigmas of e...
constexpr double FarShareOfHm = 0.01;     ///< ...and beyond this share of Hm
constexpr double MaxFarShare = 0.001;     ///< more far points than this share are likely outliers
constexpr double MaxRmsShareOfHm =
    0.05;                           ///< a larger RMS of e after calibration, far points aside, is a poor fit
constexpr double MaxFlatness = 0.1; ///< points that spread across their best plane by less than this share
                                    ///< of their radius in it were turned about one axis only
} // namespace QualityLimits

/// In the order in which they are named: the first that applies.
enum class Verdict { FlatRotation, PoorCoverage, PoorFit, LikelyOutliers, Good };

/// "flat rotation", "poor coverage", "poor fit", "likely outliers" or "good".
const char *verdictName(Verdict verdict);

/// Mean, root mean square and maximum of |e| over the points.
struct NormError {
    double mean = 0.0, rms = 0.0, max = 0.0;
};

struct QualityReport {
    int points = 0;
    double hm = 0.0;           ///< the field norm judged against
    NormError before;          ///< e = |h - b| - Hm
    NormError after;           ///< e = |A^-1 (h - b)| - Hm
    std::vector<bool> cellHit; ///< per cell of EqualAreaCells(QualityLimits::Cells)
    int cellsHit = 0;
    EmptyCap largestEmptyCap{};
    double farLimit = 0.0; ///< |e| after calibration beyond which a point is far
    int farPoints = 0;
    int worstPoint = -1;          ///< 0-based index of the point with the largest |e| after calibration
    double testValue = 0.0;       ///< the ellipsoid test of the fit
    PlaneSpread plane;            ///< how flat the points lie
    double centre[3] = {};        ///< the centre about which the coverage counts directions
    double coreRms = 0.0;         ///< RMS of e after calibration over the points that are not far
    int calibratedCellsHit = 0;   ///< cells hit by the calibrated directions of CalibratedErrors' sample
    int grossPoints = 0;          ///< the points GrossPoints names; set by AssessCalibration on a folded fit
    int farthestGross = -1;       ///< 0-based index of the gross point farthest from the centre, or -1
    double farthestValue[3] = {}; ///< that point's reading
    struct Findings {
        bool flat = false;      ///< flatness of the points below QualityLimits::MaxFlatness
        bool residual = false;  ///< coreRms beyond QualityLimits::MaxRmsShareOfHm
        bool folded = false;    ///< the calibrated directions hit fewer than QualityLimits::MinCellShare
                                ///< of the cells the directions about the centre hit
        bool shape = false;     ///< the fit's outlier warning, which alone names no outliers
        bool farPoints = false; ///< more far points than QualityLimits::MaxFarShare
        bool emptyCap = false;  ///< largest empty cap wider than QualityLimits::MaxEmptyCapDegrees
        bool fewCells = false;  ///< fewer cells hit than QualityLimits::MinCellShare
    } findings;                 ///< what the verdict rests on
    HmUnitCheck hmUnit;         ///< Hm against the points' median |h - b|; set by AssessCalibration
    Verdict verdict = Verdict::Good;
};

/// How the directions of the points about a centre cover the sphere: the
/// part of a report that depends on the points and the centre alone, so
/// that the choice of a fit and the judgement of its calibration can share
/// it, and find it while the rest is measured.
struct Coverage {
    double centre[3] = {};
    std::vector<bool> cellHit; ///< per cell of EqualAreaCells(QualityLimits::Cells)
    int cellsHit = 0;
    EmptyCap largestEmptyCap{};
};

/// The coverage of the directions of the points (at least one) about centre.
Coverage CoverageAbout(Points points, const double centre[3]);

/// The norm errors of a calibration p of the points (at least one) for the
/// field norm Hm, and its far points: the part of a report that depends on
/// the calibration.
struct CalibratedErrors {
    NormError before, after;
    double farLimit = 0.0;
    int farPoints = 0;
    int worstPoint = -1;
    double coreRms = 0.0;
    int sampled = 0;            ///< the points of the even sample the robust sigma is taken on
    int calibratedCellsHit = 0; ///< cells hit by the directions of A^-1 (h - b) over that sample
};

CalibratedErrors CalibratedErrorsOf(Points points, const CalibrationParameters &p, double Hm);

/// The report on points points (at least one) from its parts, with its
/// findings and verdict; hmUnit is left for the caller.
QualityReport JudgeQuality(int points, const EllipsoidFit &fit, double Hm, const PlaneSpread &plane,
                           const Coverage &coverage, const CalibratedErrors &errors);

/// The centre of a robust sphere fitted to an even sample of the points,
/// which gross points cannot move and a fit gone wrong cannot either, or
/// empty when no sphere fits: the one centre about which every judgement
/// of the points counts their directions. Its starts converge on as many
/// threads as control gives.
std::optional<std::array<double, 3>> RobustSphereCentre(Points points, double Hm,
                                                        const WorkControl &control = WorkControl());

/// What the judgements of one set of points find about the points alone,
/// whatever their calibration: each part found when first asked for, then
/// kept, so that the choice of a fit and the judgement of its calibration
/// find it once. The points are held by the caller for the outline's life.
/// Each part is found under its own lock: any part may be asked for on any
/// thread.
class PointsOutline {
public:
    explicit PointsOutline(Points points) : outlined(points) {}
    PointsOutline(const PointsOutline &) = delete;
    PointsOutline &operator=(const PointsOutline &) = delete;

    Points points() const { return outlined; }
    /// SpreadWithoutGross of the points.
    const SpreadBesideGross &spread();
    /// SpreadAboutPlane of the points.
    const PlaneSpread &plane();
    /// RobustSphereCentre of the points, fitted again for another Hm.
    std::optional<std::array<double, 3>> sphereCentre(double Hm, const WorkControl &control);
    /// CoverageAbout the centre; kept for the last centre asked for.
    Coverage coverage(const double centre[3]);

private:
    const Points outlined;
    std::mutex spreadLock, planeLock, sphereLock, coverageLock;
    std::optional<SpreadBesideGross> spreadFound;
    std::optional<PlaneSpread> planeFound;
    std::optional<std::optional<std::array<double, 3>>> sphereFound;
    double sphereHm = 0.0; ///< the Hm sphereFound was fitted for
    std::optional<Coverage> coverageFound;
};

/// Judges the calibration of the points (at least one) for the field norm
/// Hm, each part found on its own: the test oracle of AssessCalibration,
/// which no program calls. The coverage counts the directions of the points
/// about centre, a robust one, so that a fit gone wrong cannot make a turn
/// about one axis look as if it covered the sphere; without it, about the
/// fit's bias.
QualityReport AssessQuality(Points points, const EllipsoidFit &fit, const CalibrationParameters &p, double Hm,
                            const double *centre = nullptr);

} // namespace tavrin

#endif
