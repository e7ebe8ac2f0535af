// How points spread: their mean, radius and covariance, the direction in
// which they spread least, and how flat they lie about their best plane.
#ifndef TAVRIN_POINTSPREAD_H
#define TAVRIN_POINTSPREAD_H

#include "ellipsoidfit.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace tavrin {

/// About this many points of an even sample pin a median to about 1 %.
constexpr int MedianSampleSize = 20000;

/// The step between the points of an even sample of about MedianSampleSize
/// of n points; at least least.
inline int evenSampleStride(int n, int least = 1)
{
    return std::max(least, n / MedianSampleSize);
}

/// The upper median of values (not empty), which it reorders.
double medianOf(std::vector<double> &values);

/// The weighted mean of the points and their RMS distance from it, with the
/// covariance about the mean in units of that distance.
struct PointSpread {
    double mean[3] = {};
    double radius = 0.0;
    double covariance[3][3] = {};
};

/// The spread of the points, point k counted weights[k] times when weights
/// are given, and left out where left holds true.
PointSpread SpreadOf(Points points, const int *weights, const std::vector<bool> *left = nullptr);

/// The unit eigenvector of the least eigenvalue of a symmetric 3x3 matrix,
/// its largest component positive, so that the same plane gives the same
/// normal. Empty when the matrix is not finite, as for points whose squares
/// overflow.
std::optional<std::array<double, 3>> LeastDirection(const double m[3][3]);

/// How flat the points lie: the normal of their best plane, the direction in
/// which they spread least about their mean; 1.4826 times their median
/// absolute distance from the plane's median, a standard deviation that
/// spikes barely move; and their median distance from the mean in it.
struct PlaneSpread {
    double normal[3] = {0.0, 0.0, 1.0};
    double across = 0.0;
    double radius = 0.0;

    /// across / radius: near zero for a turn about one axis; 1 when no
    /// plane can be found.
    double flatness() const { return radius > 0 ? across / radius : 1.0; }
};

/// How long a rest counts: a run of consecutive readings that stay within
/// RestSigmas noise sigmas of their mean for more than RestLength readings
/// counts as RestReadings of them, spread evenly along it. Shorter runs are
/// the slow moments of a hand's turn, which count in full. A thousand
/// readings at one attitude say little more than ten about the surface, and
/// counted in full they would outweigh every turning reading.
constexpr int RestReadings = 10;
constexpr int RestLength = 5 * RestReadings;
constexpr double RestSigmas = 6.0;
/// A rest's reach, RestSigmas noise sigmas, must be below this share of the
/// median distance of the counted readings from their coordinate-wise
/// median: readings in no order (each attitude drawn anew), whose
/// neighbours differ as much as any two, hold no rest.
constexpr double RestShare = 0.25;

/// How much each reading counts once rests are thinned: weights[k] (1 when
/// none are given), or 0 for the readings of a rest beyond the RestReadings
/// kept. The noise sigma is that of the second differences of readings four
/// apart, which a smooth turn barely adds to: the lowest tenth of their
/// lengths over sqrt(6) times 0.7644, the tenth of a chi of three degrees;
/// a rest of a tenth of the readings or more sets it. One pass over
/// the readings beside an even sample; empty when they hold no rest, so that
/// the weights given stand as they are.
std::vector<int> RestCounts(Points points, const int *weights = nullptr);

/// How far from the bulk a point must lie to be left out of a start or a
/// frame: beyond this many times the median distance of the counted
/// readings (each rest counted as RestCounts counts it) of an even sample
/// from their coordinate-wise median. Points on a sphere, or on a cap of
/// it, lie within about two such distances; a gross spike lies far beyond.
/// When readings at one attitude hold half the sample, though not in one
/// run, the medians are those of the distinct attitudes instead: one reading
/// to each cell of a grid of step DistinctShare of the widest range between
/// the 1st and 99th percentiles of an axis, in which the noise of the
/// readings at one attitude fills a few cells.
///
/// The scale is thus that of the recording's distinct attitudes, which
/// readings at one attitude cannot shrink however many there are, in one
/// rest or brought back to it again and again. It breaks down when half the
/// distinct attitudes are gross, or when one attitude holds more than 98 %
/// of the counted readings, so that the percentiles, and the grid, are its
/// noise's.
constexpr double GrossDistances = 5.0;
constexpr double DistinctShare = 0.02;

/// The points, point k counted weights[k] times when weights are given and
/// rests thinned as RestCounts thins them, that lie beyond GrossDistances
/// median distances from the coordinate-wise median: true for each such
/// point. Medians are taken on an even sample of about 20000 points, so
/// that a few gross points cannot move them. None when the median distance
/// is zero.
std::vector<bool> GrossPoints(Points points, const int *weights = nullptr);

/// The points GrossPoints names and the spread of the others, each point
/// counted as RestCounts counts it: what the starts of a fit, the plane of
/// the points and the plausibility of a fit all rest on.
struct SpreadBesideGross {
    std::vector<bool> gross;
    PointSpread spread;
    /// RestCounts of the points and weights; empty when they hold no rest.
    std::vector<int> counts;
    /// The distinct attitudes of GrossDistances when readings at one attitude
    /// hold half the even sample; the plane's medians take them. Empty
    /// otherwise.
    std::vector<int> clustered;

    /// How much each point counts: counts, or the weights given when the
    /// points hold no rest.
    const int *counted(const int *given) const { return counts.empty() ? given : counts.data(); }
};

/// GrossPoints and SpreadOf the others at once: one pass fewer over the
/// points, with the same sums in the same order.
SpreadBesideGross SpreadWithoutGross(Points points, const int *weights = nullptr);

/// The plane spread of the points but those GrossPoints names, each rest
/// counted as RestCounts counts it, and of their distinct attitudes alone
/// when readings at one attitude hold half of them; of the points of known
/// when it is given, which spares finding them again.
PlaneSpread SpreadAboutPlane(Points points, const SpreadBesideGross *known = nullptr);

/// An orthonormal basis e1, e2 of the plane of unit normal n, with
/// e1 x e2 = n: e1 is the x axis made perpendicular to n, or the y axis when
/// n is nearly x.
void PlaneBasis(const double n[3], double e1[3], double e2[3]);

} // namespace tavrin

#endif
