#include "spherecells.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

double dot(const Direction &a, const Direction &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// hypot scales before it squares: far from the centre, x * x overflows.
Direction normalized(double x, double y, double z)
{
    const double r = std::hypot(x, y, z);
    return {x / r, y / r, z / r};
}

// The sampler's patch that u points through; u need not be a unit vector,
// only finite and not zero.
int cubePatch(const Direction &u)
{
    // The axis of the largest component, looked up from the three
    // comparisons rather than branched on: directions come in any order.
    static constexpr int largest[8] = {2, 2, 2, 0, 1, 1, 1, 0};
    static constexpr int next[3] = {1, 2, 0}, last[3] = {2, 0, 1};
    constexpr int side = DirectionSampler::Side;
    const double ax = std::abs(u[0]), ay = std::abs(u[1]), az = std::abs(u[2]);
    const int axis = largest[(ax >= ay) | (ax >= az) << 1 | (ay >= az) << 2];
    // The ratio first: a tiny u[axis] would make a scale of infinity.
    const double extent = std::abs(u[axis]);
    const auto row = [&](double t) { return std::min(side - 1, int((t / extent + 1) * 0.5 * side)); };
    const int face = 2 * axis + (u[axis] < 0);
    return (face * side + row(u[next[axis]])) * side + row(u[last[axis]]);
}

// The cosine of the angle to the nearest direction: the larger, the closer.
// The scan starts at first and wraps around; it stops once the cosine is above
// stopAbove, when the caller has no more interest in the centre.
double nearestCos(const Direction &centre, const std::vector<Direction> &directions, size_t first = 0,
                  double stopAbove = 2.0)
{
    double best = -1.0;
    const size_t n = directions.size();
    for (size_t k = 0; k < n && best <= stopAbove; k++) {
        const Direction &u = directions[(first + k) % n];
        best = std::max(best, dot(centre, u));
    }
    return best;
}

// Moves a candidate centre away from its nearest directions by a pattern
// search on the sphere. The centre travels at most maxTravel, so only the
// directions within its cap radius + 2 maxTravel can ever be nearest.
Direction refined(Direction c, const std::vector<Direction> &directions)
{
    constexpr double maxTravel = 0.15;
    const Direction start = c;
    double value = nearestCos(c, directions);
    const double reach = std::min(Pi, std::acos(std::clamp(value, -1.0, 1.0)) + 2 * maxTravel);
    std::vector<Direction> near;
    for (const Direction &u : directions)
        if (dot(start, u) >= std::cos(reach))
            near.push_back(u);

    // Steps start at half the cap's radius: a small hole needs no long strides.
    const double radius = std::acos(std::clamp(value, -1.0, 1.0));
    for (double step = std::clamp(radius / 2, 1e-3, 0.08); step > 1e-4; step /= 2) {
        for (int moves = 0; moves < 64; moves++) {
            Direction e1, e2;
            tangentBasis(c, e1, e2);
            Direction best = c;
            double bestValue = value;
            for (int k = 0; k < 8; k++) {
                const double s = step * std::cos(k * Pi / 4), t = step * std::sin(k * Pi / 4);
                const Direction trial = normalized(c[0] + s * e1[0] + t * e2[0], c[1] + s * e1[1] + t * e2[1],
                                                   c[2] + s * e1[2] + t * e2[2]);
                if (std::acos(std::clamp(dot(trial, start), -1.0, 1.0)) > maxTravel)
                    continue;
                const double v = nearestCos(trial, near);
                if (v < bestValue) {
                    bestValue = v;
                    best = trial;
                }
            }
            if (bestValue >= value)
                break;
            c = best;
            value = bestValue;
        }
    }
    return c;
}

} // namespace

EqualAreaCells::EqualAreaCells(int n) : n(n)
{
    zoneStart.push_back(0);
    if (n > 2) {
        // Leopardi's recursive zonal partition, one level: caps of one cell's
        // area, collars about one cell high, cell counts rounded with carry.
        const double area = 4 * Pi / n;
        const double capColatitude = std::acos(1.0 - 2.0 / n);
        const int collars = std::max<int>(1, int(std::lround((Pi - 2 * capColatitude) / std::sqrt(area))));
        const double height = (Pi - 2 * capColatitude) / collars;
        double carry = 0.0;
        int start = 1;
        for (int i = 0; i < collars; i++) {
            const double top = capColatitude + i * height;
            const double ideal = 2 * Pi * (std::cos(top) - std::cos(top + height)) / area;
            const int cells = i + 1 < collars ? int(std::lround(ideal + carry)) : n - 1 - start;
            carry += ideal - cells;
            zoneStart.push_back(start);
            start += cells;
        }
    }
    if (n > 1)
        zoneStart.push_back(n - 1);
    zoneOfCell.resize(n);
    for (int zone = 0; zone < int(zoneStart.size()); zone++) {
        const int end = zone + 1 < int(zoneStart.size()) ? zoneStart[zone + 1] : n;
        std::fill(zoneOfCell.begin() + zoneStart[zone], zoneOfCell.begin() + end, zone);
    }
}

int EqualAreaCells::cellOf(double x, double y, double z) const
{
    // The area north of z, in cells: zone boundaries fall on whole numbers.
    const int above = std::clamp(int(std::floor((1.0 - z) * 0.5 * n)), 0, n - 1);
    const int zone = zoneOfCell[above];
    const int start = zoneStart[zone];
    const int cells = (zone + 1 < int(zoneStart.size()) ? zoneStart[zone + 1] : n) - start;
    if (cells == 1)
        return start;
    double phi = std::atan2(y, x);
    if (phi < 0)
        phi += 2 * Pi;
    return start + std::min(cells - 1, int(phi / (2 * Pi) * cells));
}

EqualAreaCells::Bounds EqualAreaCells::bounds(int cell) const
{
    const int zone = zoneOfCell[cell];
    const int start = zoneStart[zone];
    const int cells = (zone + 1 < int(zoneStart.size()) ? zoneStart[zone + 1] : n) - start;
    const int sector = cell - start;
    return {1.0 - 2.0 * start / n, 1.0 - 2.0 * (start + cells) / n, 2 * Pi * sector / cells,
            2 * Pi * (sector + 1) / cells};
}

void tangentBasis(const Direction &u, Direction &e1, Direction &e2)
{
    // Crossing with the axis least aligned with u keeps the product well away from zero.
    const Direction a = std::abs(u[0]) < 0.6 ? Direction{1, 0, 0} : Direction{0, 1, 0};
    e1 = normalized(u[1] * a[2] - u[2] * a[1], u[2] * a[0] - u[0] * a[2], u[0] * a[1] - u[1] * a[0]);
    e2 = {u[1] * e1[2] - u[2] * e1[1], u[2] * e1[0] - u[0] * e1[2], u[0] * e1[1] - u[1] * e1[0]};
}

std::vector<Direction> fibonacciDirections(int n)
{
    const double goldenAngle = Pi * (3.0 - std::sqrt(5.0));
    std::vector<Direction> d(n);
    for (int k = 0; k < n; k++) {
        const double z = 1.0 - (2.0 * k + 1.0) / n, r = std::sqrt(1.0 - z * z);
        d[k] = {r * std::cos(k * goldenAngle), r * std::sin(k * goldenAngle), z};
    }
    return d;
}

DirectionSampler::DirectionSampler() : taken(Patches, false) {}

void DirectionSampler::add(const Direction &v)
{
    const int patch = cubePatch(v);
    const bool first = !taken[patch];
    if (first) {
        taken[patch] = true;
        patchesTaken++;
    }
    // Past as many directions as patches, one a patch is enough.
    if (++seen == Patches + 1)
        kept.erase(std::remove_if(kept.begin(), kept.end(), [](const Kept &k) { return !k.first; }),
                   kept.end());
    if (first || seen <= Patches)
        kept.push_back({patch, first, normalized(v[0], v[1], v[2])});
}

std::vector<Direction> DirectionSampler::sample() const
{
    std::vector<Kept> inPatchOrder = kept;
    std::stable_sort(inPatchOrder.begin(), inPatchOrder.end(),
                     [](const Kept &a, const Kept &b) { return a.patch < b.patch; });
    std::vector<Direction> directions;
    directions.reserve(inPatchOrder.size());
    for (const Kept &k : inPatchOrder)
        directions.push_back(k.direction);
    return directions;
}

EmptyCap largestEmptyCapOfSample(const std::vector<Direction> &sample)
{
    if (sample.empty())
        return {{0.0, 0.0, 1.0}, Pi};
    std::vector<int> patches(sample.size());
    std::transform(sample.begin(), sample.end(), patches.begin(), cubePatch);

    // Candidates about 8 degrees apart. The best few are refined, since the
    // best before refining need not be the best after. A candidate's scan
    // starts at its own patch, finds a near direction soon and stops as soon
    // as the candidate cannot be among the best.
    constexpr size_t tried = 10;
    const std::vector<Direction> candidates = fibonacciDirections(600);
    std::vector<std::pair<double, int>> best; // nearest cosine, candidate; the smallest first
    for (int k = 0; k < int(candidates.size()); k++) {
        const size_t first = size_t(
            std::lower_bound(patches.begin(), patches.end(), cubePatch(candidates[k])) - patches.begin());
        const double stopAbove = best.size() < tried ? 1.0 : best.back().first;
        const double v = nearestCos(candidates[k], sample, first, stopAbove);
        if (best.size() < tried || v < best.back().first) {
            best.insert(std::upper_bound(best.begin(), best.end(), std::make_pair(v, k)), {v, k});
            if (best.size() > tried)
                best.pop_back();
        }
    }
    EmptyCap cap{{}, -1.0};
    for (const auto &[value, k] : best) {
        const Direction c = refined(candidates[k], sample);
        const double radius = std::acos(std::clamp(nearestCos(c, sample), -1.0, 1.0));
        if (radius > cap.radius)
            cap = {c, radius};
    }
    return cap;
}

EmptyCap largestEmptyCap(const std::vector<Direction> &directions)
{
    DirectionSampler sampler;
    for (const Direction &u : directions)
        sampler.add(u);
    EmptyCap cap = largestEmptyCapOfSample(sampler.sample());
    if (!directions.empty())
        cap.radius = std::acos(std::clamp(nearestCos(cap.centre, directions), -1.0, 1.0));
    return cap;
}

} // namespace tavrin
