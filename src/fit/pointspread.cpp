#include "pointspread.h"

#include "eigen_unsym.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <unordered_map>

namespace tavrin {

namespace {

// A grid cell's key over a table's buckets: each coordinate times a prime of
// its own.
struct CellHash {
    size_t operator()(const std::array<long long, 3> &c) const
    {
        const auto part = [&](int i, unsigned long long prime) {
            return static_cast<unsigned long long>(c[i]) * prime;
        };
        return std::hash<unsigned long long>()(part(0, 73856093ULL) ^ part(1, 19349663ULL) ^
                                               part(2, 83492791ULL));
    }
};

// The sums of SpreadOf, point k counted counted(k) times; seen(k) comes
// first for each point, in the pass of the mean.
template <class Counted, class Seen> PointSpread spreadCounted(Points points, Counted counted, Seen seen)
{
    PointSpread s;
    double n = 0.0;
    for (int k = 0; k < points.size(); k++) {
        seen(k);
        const double w = counted(k);
        n += w;
        for (int i = 0; i < 3; i++)
            s.mean[i] += w * points[k][i];
    }
    if (n == 0.0)
        return s;
    for (double &m : s.mean)
        m /= n;
    for (int k = 0; k < points.size(); k++) {
        const double w = counted(k);
        const double d[3] = {points[k][0] - s.mean[0], points[k][1] - s.mean[1], points[k][2] - s.mean[2]};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                s.covariance[i][j] += w * d[i] * d[j];
    }
    const double trace = s.covariance[0][0] + s.covariance[1][1] + s.covariance[2][2];
    s.radius = std::sqrt(trace / n);
    for (auto &row : s.covariance)
        for (double &c : row)
            c /= trace > 0 ? trace : 1.0;
    return s;
}

// How GrossPoints tells a gross point: its distance from the coordinate-wise
// median beyond the limit, both taken on an even sample. The squared
// distance against bounds just inside and outside the squared limit settles
// all but a thin shell, sparing the root; the bounds hold the margin of
// 1e-9 far beyond their rounding, so the root, where it is taken, decides
// as it would alone. Squares out of the range where they keep their
// precision leave every point to the root.
struct GrossTest {
    double centre[3];
    double limit;
    double within = -1.0, beyond = INFINITY; ///< surely not gross below, surely gross above

    double squared(const double *h) const
    {
        return SQR(h[0] - centre[0]) + SQR(h[1] - centre[1]) + SQR(h[2] - centre[2]);
    }

    double distance(const double *h) const { return std::sqrt(squared(h)); }

    void bound()
    {
        const double square = limit * limit;
        if (square > 1e-200 && square < 1e200)
            within = square * (1 - 1e-9), beyond = square * (1 + 1e-9);
    }

    bool gross(const double *h) const
    {
        const double s = squared(h);
        if (s < within)
            return false;
        if (s > beyond)
            return true;
        return !(std::sqrt(s) <= limit);
    }
};

// The readings of the sample (indices, in their order) at distinct
// attitudes, when readings at one attitude hold half of it: one of each
// cell of a grid whose step is DistinctShare of the widest range between
// the 1st and 99th percentiles of an axis. The noise of readings at one
// attitude, a small share of that range, fills a few cells however many
// readings there are, each with more than a twentieth of the sample (and
// more than RestReadings readings); the percentiles hold while a cluster
// holds at most 98 % of the readings, and no few spikes stretch them.
// Readings too far out for the grid's keys each count as distinct. Empty
// when the cells so full hold less than half the sample: the sample is its
// own distinct attitudes, and the rule stands as it was.
std::vector<int> distinctAttitudes(Points points, const std::vector<int> &sample)
{
    std::vector<double> values(sample.size());
    double widest = 0.0;
    for (int i = 0; i < 3; i++) {
        for (size_t j = 0; j < sample.size(); j++)
            values[j] = points[sample[j]][i];
        const size_t low = values.size() / 100, high = values.size() - 1 - low;
        std::nth_element(values.begin(), values.begin() + ptrdiff_t(low), values.end());
        const double bottom = values[low];
        std::nth_element(values.begin(), values.begin() + ptrdiff_t(high), values.end());
        widest = std::max(widest, values[high] - bottom);
    }
    const double step = DistinctShare * widest;
    if (!(step > 0) || !std::isfinite(step))
        return {};
    std::vector<int> distinct, held;
    std::unordered_map<std::array<long long, 3>, size_t, CellHash> cells;
    for (const int k : sample) {
        std::array<long long, 3> cell;
        bool keyed = true;
        for (int i = 0; i < 3; i++) {
            const double c = std::floor(points[k][i] / step);
            keyed = keyed && std::abs(c) < 1e15;
            cell[size_t(i)] = keyed ? static_cast<long long>(c) : 0;
        }
        if (keyed) {
            const auto found = cells.try_emplace(cell, distinct.size());
            if (!found.second) {
                held[found.first->second]++;
                continue;
            }
        }
        distinct.push_back(k);
        held.push_back(1);
    }
    const int full = std::max<int>(RestReadings, int(sample.size() / 20));
    size_t clustered = 0;
    for (const int h : held)
        if (h > full)
            clustered += size_t(h);
    return 2 * clustered >= sample.size() ? distinct : std::vector<int>();
}

// Empty when no point is gross: no point counted, or a median distance of
// zero. Centre and distances are those of the distinct attitudes, which go
// to clustered when readings at one attitude hold half the sample.
std::optional<GrossTest> grossTest(Points points, const int *weights, std::vector<int> *clustered = nullptr)
{
    const int n = points.size(), stride = evenSampleStride(n);
    std::vector<int> sample;
    for (int k = 0; k < n; k += stride)
        if (!weights || weights[k] > 0)
            sample.push_back(k);
    if (sample.empty())
        return std::nullopt;
    std::vector<int> attitudes = distinctAttitudes(points, sample);
    const std::vector<int> &distinct = attitudes.empty() ? sample : attitudes;
    if (clustered)
        *clustered = attitudes;
    GrossTest test;
    std::vector<double> values(distinct.size());
    for (int i = 0; i < 3; i++) {
        for (size_t j = 0; j < distinct.size(); j++)
            values[j] = points[distinct[j]][i];
        test.centre[i] = medianOf(values);
    }
    for (size_t j = 0; j < distinct.size(); j++)
        values[j] = test.distance(points[distinct[j]]);
    test.limit = GrossDistances * medianOf(values);
    if (!(test.limit > 0))
        return std::nullopt;
    test.bound();
    return test;
}

// The noise sigma of the readings on each axis, from the second differences
// of readings BendLag apart, on an even sample: their lowest tenth, which
// a rest of a tenth of the readings or more sets alone, and which a turn
// without rests keeps small, so that its slow moments are no rest. Real sensors'
// noise follows itself from one reading to the next (filters, slow drift):
// neighbours' differences would then see a fraction of it, a rest's band
// would be too narrow, and its readings would fall out of it every few
// readings. Four readings apart, noise that keeps 0.8 of itself from one
// reading to the next shows 71 % of its sigma, white noise all of it.
constexpr int BendLag = 4;

double noiseSigma(Points points)
{
    const int n = points.size(), stride = evenSampleStride(n);
    std::vector<double> bends;
    for (int k = BendLag; k + BendLag < n; k += stride)
        bends.push_back(SQR(points[k - BendLag][0] - 2 * points[k][0] + points[k + BendLag][0]) +
                        SQR(points[k - BendLag][1] - 2 * points[k][1] + points[k + BendLag][1]) +
                        SQR(points[k - BendLag][2] - 2 * points[k][2] + points[k + BendLag][2]));
    if (bends.empty())
        return 0.0;
    std::nth_element(bends.begin(), bends.begin() + bends.size() / 10, bends.end());
    return std::sqrt(bends[bends.size() / 10]) / (std::sqrt(6.0) * 0.7644);
}

} // namespace

std::vector<int> RestCounts(Points points, const int *weights)
{
    const int n = points.size();
    if (n <= RestLength + 1)
        return {};
    const double reach = RestSigmas * noiseSigma(points), reach2 = reach * reach;
    std::vector<int> counts;
    // A run of first..end - 1 thins to RestReadings readings, evenly
    // spaced, when it is longer.
    int first = 0, resting = 0;
    double sum[3] = {};
    const auto close = [&](int end) {
        const int length = end - first;
        if (length <= RestLength)
            return;
        resting += length;
        if (counts.empty()) {
            counts.assign(size_t(n), 1);
            if (weights)
                std::copy(weights, weights + n, counts.begin());
        }
        for (int j = 0; j < length; j++)
            if (int((static_cast<long long>(j) * RestReadings) % length) >= RestReadings)
                counts[size_t(first + j)] = 0;
    };
    for (int k = 0; k < n; k++) {
        const double m = 1.0 / (k - first);
        if (k > first && !(SQR(points[k][0] - sum[0] * m) + SQR(points[k][1] - sum[1] * m) +
                               SQR(points[k][2] - sum[2] * m) <=
                           reach2)) {
            close(k);
            first = k;
            sum[0] = sum[1] = sum[2] = 0.0;
        }
        for (int i = 0; i < 3; i++)
            sum[i] += points[k][i];
    }
    close(n);
    // Runs that leave too few readings turning, or as wide as the readings'
    // own spread, are no rests: the readings come in no order.
    if (counts.empty() || n - resting < RestReadings)
        return {};
    const std::optional<GrossTest> spread = grossTest(points, counts.data());
    if (!spread || !(reach <= RestShare * spread->limit / GrossDistances))
        return {};
    return counts;
}

PointSpread SpreadOf(Points points, const int *weights, const std::vector<bool> *left)
{
    return spreadCounted(
        points, [&](int k) { return (left && (*left)[size_t(k)]) ? 0.0
                                    : weights                    ? weights[k]
                                                                 : 1.0; },
        [](int) {});
}

std::optional<std::array<double, 3>> LeastDirection(const double m[3][3])
{
    MatDoub a(3, 3);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            if (!std::isfinite(m[i][j]))
                return std::nullopt;
            a[i][j] = m[i][j];
        }
    const NrErrorSink silenced(nullptr);
    std::optional<Unsymmeig> solved;
    try {
        solved.emplace(a, true, false);
    } catch (int) {
        return std::nullopt;
    }
    const Unsymmeig &e = *solved;
    int least = 0;
    for (int k = 1; k < 3; k++)
        if (e.wri[k].real() < e.wri[least].real())
            least = k;
    std::array<double, 3> n{e.zz[0][least], e.zz[1][least], e.zz[2][least]};
    const double norm = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    int largest = 0;
    for (int i = 1; i < 3; i++)
        if (std::abs(n[i]) > std::abs(n[largest]))
            largest = i;
    for (double &c : n)
        c /= n[largest] < 0 ? -norm : norm;
    return n;
}

void PlaneBasis(const double n[3], double e1[3], double e2[3])
{
    const double axis[3] = {std::abs(n[0]) < 0.9 ? 1.0 : 0.0, std::abs(n[0]) < 0.9 ? 0.0 : 1.0, 0.0};
    const double along = axis[0] * n[0] + axis[1] * n[1];
    for (int i = 0; i < 3; i++)
        e1[i] = axis[i] - along * n[i];
    const double norm = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
    for (int i = 0; i < 3; i++)
        e1[i] /= norm;
    e2[0] = n[1] * e1[2] - n[2] * e1[1];
    e2[1] = n[2] * e1[0] - n[0] * e1[2];
    e2[2] = n[0] * e1[1] - n[1] * e1[0];
}

std::vector<bool> GrossPoints(Points points, const int *weights)
{
    std::vector<bool> gross(size_t(points.size()), false);
    const std::vector<int> counts = RestCounts(points, weights);
    if (const std::optional<GrossTest> test = grossTest(points, counts.empty() ? weights : counts.data()))
        for (int k = 0; k < points.size(); k++)
            gross[size_t(k)] = test->gross(points[k]);
    return gross;
}

SpreadBesideGross SpreadWithoutGross(Points points, const int *weights)
{
    SpreadBesideGross r;
    r.gross.assign(size_t(points.size()), false);
    r.counts = RestCounts(points, weights);
    weights = r.counted(weights);
    const std::optional<GrossTest> test = grossTest(points, weights, &r.clustered);
    r.spread = spreadCounted(
        points, [&](int k) { return r.gross[size_t(k)] ? 0.0
                                    : weights          ? weights[k]
                                                       : 1.0; },
        [&](int k) {
            if (test)
                r.gross[size_t(k)] = test->gross(points[k]);
        });
    return r;
}

PlaneSpread SpreadAboutPlane(Points points, const SpreadBesideGross *known)
{
    PlaneSpread plane;
    std::optional<SpreadBesideGross> found;
    if (!known)
        known = &found.emplace(SpreadWithoutGross(points));
    const PointSpread &spread = known->spread;
    const int *counts = known->counted(nullptr);
    if (!(spread.radius > 0))
        return plane;
    const std::optional<std::array<double, 3>> direction = LeastDirection(spread.covariance);
    if (!direction)
        return plane;
    const std::array<double, 3> &n = *direction;
    std::copy(n.begin(), n.end(), plane.normal);
    const int stride = evenSampleStride(points.size());
    std::vector<int> taken = known->clustered;
    if (taken.empty())
        for (int k = 0; k < points.size(); k += stride)
            if (!counts || counts[k] > 0)
                taken.push_back(k);
    std::vector<double> across, within;
    for (const int k : taken) {
        double d[3];
        for (int i = 0; i < 3; i++)
            d[i] = points[k][i] - spread.mean[i];
        const double a = d[0] * n[0] + d[1] * n[1] + d[2] * n[2];
        across.push_back(a);
        within.push_back(std::sqrt(std::max(0.0, d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - a * a)));
    }
    if (across.empty())
        return plane;
    const double middle = medianOf(across);
    for (double &a : across)
        a = std::abs(a - middle);
    plane.across = 1.4826 * medianOf(across);
    plane.radius = medianOf(within);
    return plane;
}

double medianOf(std::vector<double> &values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace tavrin
