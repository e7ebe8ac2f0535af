// How far a calibration can be trusted: the field-norm error before and after
// it, how well the calibrated directions cover the sphere, and a verdict.
#ifndef TAVRIN_QUALITY_H
#define TAVRIN_QUALITY_H

#include "ellipsoidfit.h"
#include "spherecells.h"

#include <vector>

namespace tavrin {

/// The limits behind the verdict.
namespace QualityLimits {
constexpr Int Cells = 100;              ///< equal-area cells for the coverage
constexpr Doub MinCellShare = 0.7;      ///< of the cells that the points could hit, min(Cells, points)
constexpr Doub MaxEmptyCapDegrees = 45; ///< a wider cap without any direction is poor coverage
constexpr Doub FarSigmas = 5;           ///< a point is far beyond this many robust sigmas of e...
constexpr Doub FarShareOfHm = 0.01;     ///< ...and beyond this share of Hm
constexpr Doub MaxFarShare = 0.001;     ///< more far points than this share are likely outliers
constexpr Doub MaxRmsShareOfHm = 0.05;  ///< a larger RMS of e after calibration is a poor fit
} // namespace QualityLimits

enum class Verdict { Good, PoorCoverage, LikelyOutliers, PoorFit };

/// "good", "poor coverage", "likely outliers" or "poor fit".
const char *verdictName(Verdict verdict);

/// Mean, root mean square and maximum of |e| over the points.
struct NormError {
    Doub mean = 0.0, rms = 0.0, max = 0.0;
};

struct QualityReport {
    Int points = 0;
    Doub hm = 0.0;             ///< the field norm judged against
    NormError before;          ///< e = |h - b| - Hm
    NormError after;           ///< e = |A^-1 (h - b)| - Hm
    std::vector<bool> cellHit; ///< per cell of EqualAreaCells(QualityLimits::Cells)
    Int cellsHit = 0;
    EmptyCap largestEmptyCap;
    Doub farLimit = 0.0; ///< |e| after calibration beyond which a point is far
    Int farPoints = 0;
    Int worstPoint = -1;  ///< 0-based index of the point with the largest |e| after calibration
    Doub testValue = 0.0; ///< the ellipsoid test of the fit
    struct Findings {
        Bool residual = false;  ///< RMS of e after calibration beyond QualityLimits::MaxRmsShareOfHm
        Bool shape = false;     ///< the fit's outlier warning
        Bool farPoints = false; ///< more far points than QualityLimits::MaxFarShare
        Bool emptyCap = false;  ///< largest empty cap wider than QualityLimits::MaxEmptyCapDegrees
        Bool fewCells = false;  ///< fewer cells hit than QualityLimits::MinCellShare
    } findings;                 ///< what the verdict rests on
    Verdict verdict = Verdict::Good;
};

/// Judges the calibration of the points (at least one) for the field norm Hm.
QualityReport AssessQuality(Points points, const EllipsoidFit &fit, const CalibrationParameters &p, Doub Hm);

} // namespace tavrin

#endif
