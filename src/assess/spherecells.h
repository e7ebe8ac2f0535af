// Geometry on the unit sphere for judging how well a set of directions covers
// it: cells of equal area and the largest cap that holds no direction.
#ifndef TAVRIN_SPHERECELLS_H
#define TAVRIN_SPHERECELLS_H

#include "nr3.h"

#include <array>
#include <vector>

namespace tavrin {

using Direction = std::array<double, 3>;

constexpr double Pi = 3.14159265358979323846;

/// The sphere cut into n cells of exactly equal area: a cap at each pole and
/// collars between them, each collar cut into equal sectors of longitude.
/// Collar heights are chosen so that the cells are nearly square.
class EqualAreaCells {
public:
    explicit EqualAreaCells(int n);

    int size() const { return n; }

    /// The cell of a unit vector.
    int cellOf(double x, double y, double z) const;

    /// A cell is the set of directions with zBottom <= z <= zTop and a
    /// longitude atan2(y, x), taken in [0, 2 pi), between phiBegin and phiEnd.
    struct Bounds {
        double zTop, zBottom, phiBegin, phiEnd;
    };
    Bounds bounds(int cell) const;

private:
    int n;
    std::vector<int> zoneStart;  ///< first cell of each zone, north to south; the caps are zones of one cell
    std::vector<int> zoneOfCell; ///< zone of every cell
};

/// Two unit vectors e1, e2 at right angles to the unit vector u and to each
/// other: the axes of the plane tangent to the sphere at u.
void tangentBasis(const Direction &u, Direction &e1, Direction &e2);

/// n directions spread evenly over the sphere (a Fibonacci lattice).
std::vector<Direction> fibonacciDirections(int n);

/// Stand-ins for any number of directions, evenly spread, found without
/// trigonometry: every direction while there are no more of them than
/// patches, else the first direction in each patch of a 24 x 24 grid on every
/// face of the cube. A patch is under 5 degrees across.
class DirectionSampler {
public:
    static constexpr int Side = 24, Patches = 6 * Side * Side;

    DirectionSampler();

    /// Adds the direction of a vector other than zero.
    void add(const Direction &v);
    /// Every patch has its direction.
    bool full() const { return patchesTaken == Patches; }
    /// The kept directions in patch order, so that neighbours tend to be close.
    std::vector<Direction> sample() const;

private:
    struct Kept {
        int patch;
        bool first; ///< the first direction of its patch
        Direction direction;
    };
    std::vector<bool> taken; ///< per patch
    int patchesTaken = 0;
    int seen = 0;
    std::vector<Kept> kept;
};

struct EmptyCap {
    Direction centre;
    double radius; ///< angular radius, radians

    double radiusDegrees() const { return radius * 180.0 / Pi; }
};

/// Nearly the largest cap holding none of the unit vectors. The search runs on
/// a DirectionSampler's sample of them; the radius returned is then measured
/// against all of them, so the cap is truly empty and its radius within a few
/// degrees of the largest. With no vectors it is the whole sphere.
EmptyCap largestEmptyCap(const std::vector<Direction> &directions);

/// The same search on the sample alone: the caller measures the radius
/// against all of its directions, for which cap.radius is an upper bound.
EmptyCap largestEmptyCapOfSample(const std::vector<Direction> &sample);

/// Whether a vector c other than zero, whose component along the unit
/// centre of a cap is along, surely makes no angle with that centre whose
/// cosine exceeds nearest: then along > nearest |c|, the exact test, which
/// takes |c| by hypot, is false. False where that is in doubt. Inline, for
/// the pass over every point.
inline bool SurelyOutsideCap(const double c[3], double along, double nearest)
{
    // Both tests whole, joined without a branch: points come on either side
    // of the cap's plane in no order, which a branch would mispredict.
    const bool behind = (nearest >= 0) & (along <= 0);
    // along^2 against nearest^2 |c|^2, with a margin of 1e-9 far beyond the
    // few roundings of either side, within ranges where no square overflows
    // or falls to where it loses precision.
    const double squared = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    const bool beside = (nearest >= 1e-3) & (along > 0) & (squared > 1e-200) & (squared < 1e200) &
                        (along * along < nearest * nearest * squared * (1 - 1e-9));
    return behind | beside;
}

} // namespace tavrin

#endif
