#include "bootstrap.h"

#include "fitchoice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <vector>

namespace tavrin {

namespace {

using Values = std::array<double, 12>; // b, then A by rows

std::mt19937_64 drawFor(std::uint64_t seed, int index)
{
    return std::mt19937_64(seed + 0x9E3779B97F4A7C15ull * std::uint64_t(index + 1));
}

std::optional<Values> exactResample(Points points, double Hm, std::uint64_t seed, int index,
                                    std::vector<int> &counts)
{
    const int n = points.size();
    std::mt19937_64 draw = drawFor(seed, index);
    std::fill(counts.begin(), counts.end(), 0);
    for (int k = 0; k < n; k++)
        counts[draw() % std::uint64_t(n)]++;
    const std::optional<EllipsoidFit> fit = FitEllipsoid(points, counts.data());
    if (!fit)
        return std::nullopt;
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, Hm);
    if (!p)
        return std::nullopt;
    return p->values();
}

// As many runs as there are, drawn with replacement.
void drawRuns(std::mt19937_64 &draw, std::vector<int> &counts)
{
    std::fill(counts.begin(), counts.end(), 0);
    for (size_t k = 0; k < counts.size(); k++)
        counts[draw() % counts.size()]++;
}

double percentile(const std::vector<double> &sorted, double q)
{
    const double position = q * double(sorted.size() - 1);
    const size_t below = size_t(position);
    const double above = position - double(below);
    return below + 1 < sorted.size() ? sorted[below] * (1 - above) + sorted[below + 1] * above
                                     : sorted[below];
}

Spread spreadOf(std::vector<double> values)
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

// RunsPerCorrelationTime times the residuals' correlation time, within
// the limits.
int runLengthOf(Points points, const RobustFit &fit)
{
    const int n = points.size();
    const int longest = std::clamp(n / BootstrapLimits::LeastRuns, 1, BootstrapLimits::LongestRun);
    const int shortest = (n + BootstrapLimits::MostRuns - 1) / BootstrapLimits::MostRuns;
    const double time = CorrelationTime(points, fit);
    return std::max(shortest,
                    std::min(int(std::ceil(BootstrapLimits::RunsPerCorrelationTime * time)), longest));
}

// The first plausible candidate, as ChooseFit orders them: the most general
// first on covered points, else in the order of predicted error; -1 when
// none is plausible.
int chosenOf(const std::vector<RobustFit> &fits, const PointSpread &spread, double correlationTime,
             bool covered)
{
    std::vector<Candidate> candidates;
    for (const RobustFit &f : fits)
        candidates.push_back(CandidateOf(f, correlationTime));
    const std::vector<double> errors = PredictedErrors(candidates);
    std::vector<int> order(fits.size());
    for (size_t k = 0; k < order.size(); k++)
        order[k] = int(k);
    if (covered)
        std::reverse(order.begin(), order.end());
    else
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return errors[a] < errors[b]; });
    for (const int k : order)
        if (Implausibility(fits[size_t(k)].parameters, spread).isEmpty())
            return k;
    return -1;
}

// Runs resample(r, counts, oneThread) for every resample on the threads of
// control's budget, each resample's fits on its own thread alone.
void runResamples(
    int resamples, int countsSize, const WorkControl &control,
    const std::function<std::optional<Values>(int, std::vector<int> &, const WorkControl &)> &resample,
    std::vector<std::optional<Values>> &results)
{
    results.assign(size_t(std::max<int>(resamples, 0)), std::nullopt);
    const WorkControl oneThread = control.withThreads(1);
    std::atomic<int> done{0};
    control.inParallel(resamples, [&](int first, int workers) {
        // A failing resample is counted, not reported line by line.
        const NrErrorSink silenced(nullptr);
        std::vector<int> counts(static_cast<size_t>(countsSize));
        for (int r = first; r < resamples && !control.cancelled(); r += workers) {
            results[size_t(r)] = resample(r, counts, oneThread);
            ++done;
            if (first == 0)
                control.progress(double(done) / resamples);
        }
    });
}

Uncertainty summarise(const std::vector<std::optional<Values>> &results, int resamples, std::uint64_t seed)
{
    Uncertainty u;
    u.resamples = resamples;
    u.seed = seed;
    // Resamples that a cancel left undone count as failed.
    std::array<std::vector<double>, 12> columns;
    for (const std::optional<Values> &v : results)
        if (v)
            for (size_t c = 0; c < 12; c++)
                columns[c].push_back((*v)[c]);
    u.failed = resamples - int(columns[0].size());
    u.known = columns[0].size() >= 2;
    if (!u.known)
        return u;
    for (int i = 0; i < 3; i++) {
        u.bias[i] = spreadOf(columns[size_t(i)]);
        for (int j = 0; j < 3; j++)
            u.A[i][j] = spreadOf(columns[size_t(3 + 3 * i + j)]);
    }
    return u;
}

// The planar fit, refitted on every resample of runs.
Uncertainty planarBootstrap(Points points, double Hm, int resamples, std::uint64_t seed, int runLength,
                            const WorkControl &control)
{
    const int n = points.size(), runs = (n + runLength - 1) / runLength;
    std::vector<std::optional<Values>> results;
    runResamples(
        resamples, runs, control,
        [&](int r, std::vector<int> &counts, const WorkControl &oneThread) -> std::optional<Values> {
            std::mt19937_64 draw = drawFor(seed, r);
            drawRuns(draw, counts);
            std::vector<int> weights(size_t(n), 0);
            for (int k = 0; k < n; k++)
                weights[size_t(k)] = counts[size_t(k / runLength)];
            const std::optional<RobustFit> fit =
                FitRobust(points, Hm, FitModel::Planar,
                          RobustFitOptions().weighted(weights.data()).controlledBy(oneThread));
            return fit ? std::optional(fit->parameters.values()) : std::nullopt;
        },
        results);
    Uncertainty u = summarise(results, resamples, seed);
    u.runLength = runLength;
    u.alike = {FitModel::Planar};
    return u;
}

// Every model the choice weighs, from the fewest parameters to the most,
// the fitted one as it is; fitted gets that one's place. False when
// cancelled.
bool fitCandidates(Points points, double Hm, const RobustFit &robust, const WorkControl &control,
                   std::vector<RobustFit> &fits, int &fitted)
{
    for (const FitModel m : autoCandidateModels()) {
        std::optional<RobustFit> fit =
            m == robust.model ? robust : FitRobust(points, Hm, m, RobustFitOptions().controlledBy(control));
        if (control.cancelled())
            return false;
        if (!fit)
            continue;
        if (m == robust.model)
            fitted = int(fits.size());
        fits.push_back(std::move(*fit));
    }
    return true;
}

// What a cap hides: the models whose predicted error is near that of the
// fitted one are as likely, and their biases join the intervals.
void widenByAlikeModels(Uncertainty &u, const std::vector<RobustFit> &fits, int fitted,
                        const PointSpread &spread, double correlationTime)
{
    std::vector<Candidate> candidates;
    for (const RobustFit &f : fits)
        candidates.push_back(CandidateOf(f, correlationTime));
    const std::vector<double> errors = PredictedErrors(candidates);
    const double alike = SQR(BootstrapLimits::AlikeErrorRatio) * errors[size_t(fitted)];
    for (size_t k = 0; k < fits.size(); k++) {
        if (int(k) == fitted || !(errors[k] <= alike) ||
            !Implausibility(fits[k].parameters, spread).isEmpty())
            continue;
        u.alike.push_back(fits[k].model);
        for (int i = 0; i < 3; i++) {
            u.bias[i].low = std::min(u.bias[i].low, candidates[k].bias[i]);
            u.bias[i].high = std::max(u.bias[i].high, candidates[k].bias[i]);
        }
    }
}

Uncertainty robustBootstrap(Points points, double Hm, int resamples, std::uint64_t seed,
                            const RobustFit &robust, bool chooseAgain, const WorkControl &control)
{
    const int runLength = runLengthOf(points, robust);
    if (robust.model == FitModel::Planar)
        return planarBootstrap(points, Hm, resamples, seed, runLength, control);
    std::vector<RobustFit> fits;
    int fitted = -1;
    if (!fitCandidates(points, Hm, robust, control, fits, fitted))
        return summarise({}, resamples, seed);
    // A rest's readings count as the fits counted them: drawn again and
    // again, a long rest would narrow the intervals along its one direction.
    PointsOutline outline(points);
    const SpreadBesideGross &known = outline.spread();
    std::vector<RobustSteps> steps;
    for (const RobustFit &f : fits)
        steps.emplace_back(points, Hm, f, runLength, known.counted(nullptr));
    // The covariances the steps give assume independent readings.
    const double time = CorrelationTime(points, fits.back());
    const bool covered = chooseAgain && CoverTheSphere(outline, Hm, nullptr, control);
    std::vector<std::optional<Values>> results;
    runResamples(
        resamples, steps.front().runs(), control,
        [&](int r, std::vector<int> &counts, const WorkControl &) -> std::optional<Values> {
            std::mt19937_64 draw = drawFor(seed, r);
            drawRuns(draw, counts);
            if (!chooseAgain) {
                const std::optional<RobustFit> f = steps[size_t(fitted)].step(counts.data());
                return f ? std::optional(f->parameters.values()) : std::nullopt;
            }
            std::vector<RobustFit> refits;
            for (const RobustSteps &s : steps)
                if (std::optional<RobustFit> f = s.step(counts.data()))
                    refits.push_back(std::move(*f));
            const int chosen = chosenOf(refits, known.spread, time, covered);
            return chosen < 0 ? std::nullopt : std::optional(refits[size_t(chosen)].parameters.values());
        },
        results);
    Uncertainty u = summarise(results, resamples, seed);
    u.runLength = runLength;
    u.alike = {robust.model};
    if (u.known)
        widenByAlikeModels(u, fits, fitted, known.spread, time);
    return u;
}

} // namespace

Uncertainty BootstrapCalibration(Points points, double Hm, int resamples, std::uint64_t seed,
                                 const RobustFit *robust, bool chooseAgain, const WorkControl &control)
{
    if (robust)
        return robustBootstrap(points, Hm, resamples, seed, *robust, chooseAgain, control);
    std::vector<std::optional<Values>> results;
    runResamples(
        resamples, points.size(), control,
        [&](int r, std::vector<int> &counts, const WorkControl &) {
            return exactResample(points, Hm, seed, r, counts);
        },
        results);
    return summarise(results, resamples, seed);
}

bool BiasUndetermined(const Uncertainty &u, double Hm)
{
    if (!u.known)
        return false;
    return std::any_of(std::begin(u.bias), std::end(u.bias), [&](const Spread &s) {
        return s.high - s.low > BootstrapLimits::MostDeterminedWidth * std::abs(Hm);
    });
}

} // namespace tavrin
