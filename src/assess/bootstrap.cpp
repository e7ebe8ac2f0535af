#include "bootstrap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace tavrin {

namespace {

using Values = std::array<double, 12>; // b, then A by rows

std::optional<Values> resample(Points points, double Hm, const RobustFit *robust, std::uint64_t seed,
                               int index, std::vector<int> &counts, const WorkControl &oneThread)
{
    const int n = points.size();
    std::mt19937_64 draw(seed + 0x9E3779B97F4A7C15ull * std::uint64_t(index + 1));
    std::fill(counts.begin(), counts.end(), 0);
    for (int k = 0; k < n; k++)
        counts[draw() % std::uint64_t(n)]++;
    if (robust) {
        const std::optional<RobustFit> fit =
            FitRobust(points, Hm, robust->model, counts.data(), &robust->parameters, oneThread);
        return fit ? std::optional(fit->parameters.values()) : std::nullopt;
    }
    const std::optional<EllipsoidFit> fit = FitEllipsoid(points, counts.data());
    if (!fit)
        return std::nullopt;
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, Hm);
    if (!p)
        return std::nullopt;
    return p->values();
}

double percentile(const std::vector<double> &sorted, double q)
{
    const double position = q * double(sorted.size() - 1);
    const size_t below = size_t(position);
    const double above = position - double(below);
    return below + 1 < sorted.size() ? sorted[below] * (1 - above) + sorted[below + 1] * above
                                     : sorted[below];
}

Spread spreadOfValues(std::vector<double> values)
{
    double mean = 0.0;
    for (double v : values)
        mean += v;
    mean /= double(values.size());
    double squares = 0.0;
    for (double v : values)
        squares += SQR(v - mean);
    std::sort(values.begin(), values.end());
    return {std::sqrt(squares / double(values.size() - 1)), percentile(values, 0.025),
            percentile(values, 0.975)};
}

} // namespace

Uncertainty BootstrapCalibration(Points points, double Hm, int resamples, std::uint64_t seed,
                                 const RobustFit *robust, const WorkControl &control)
{
    const int n = points.size();
    std::vector<std::optional<Values>> results(size_t(std::max<int>(resamples, 0)));
    // Each worker is one of the budget's threads: the fits within take no more.
    const WorkControl oneThread = control.withThreads(1);
    std::atomic<int> done{0};
    control.inParallel(resamples, [&](int first, int workers) {
        // A failing resample is counted, not reported line by line.
        const NrErrorSink silenced(nullptr);
        std::vector<int> counts(static_cast<size_t>(n));
        for (int r = first; r < resamples && !control.cancelled(); r += workers) {
            results[size_t(r)] = resample(points, Hm, robust, seed, r, counts, oneThread);
            ++done;
            if (first == 0)
                control.progress(double(done) / resamples);
        }
    });

    Uncertainty u;
    u.resamples = resamples;
    u.seed = seed;
    std::array<std::vector<double>, 12> columns;
    for (const std::optional<Values> &v : results) {
        if (!v) {
            u.failed++;
            continue;
        }
        for (size_t c = 0; c < 12; c++)
            columns[c].push_back((*v)[c]);
    }
    u.known = resamples - u.failed >= 2;
    if (!u.known)
        return u;
    for (int i = 0; i < 3; i++) {
        u.bias[i] = spreadOfValues(columns[size_t(i)]);
        for (int j = 0; j < 3; j++)
            u.A[i][j] = spreadOfValues(columns[size_t(3 + 3 * i + j)]);
    }
    return u;
}

} // namespace tavrin
