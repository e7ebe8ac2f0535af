#include "accelfit.h"

#include "gaussj.h"
#include "numbertext.h"
#include "robustfit.h"

#include <algorithm>
#include <cmath>

namespace tavrin::align {

namespace {

/// One attitude at rest: the direction of its first reading, the sum of
/// its readings' directions, and their places.
struct Attitude {
    Vec3 first;
    Vec3 sum{};
    std::vector<size_t> readings;
};

/// The readings at rest grouped by attitude: each joins the first attitude
/// whose first reading lies within AttitudeDegrees of it. Attitudes of
/// fewer than MinimumAttitudeReadings are left out.
std::vector<Attitude> attitudesAtRest(const std::vector<Vec3> &accel, const std::vector<bool> &resting)
{
    const double near = std::cos(AttitudeDegrees * Degree);
    std::vector<Attitude> all;
    for (size_t k = 0; k < accel.size() && k < resting.size(); k++) {
        const Vec3 d = unit(accel[k]);
        // A reading of no direction is no attitude, whoever called it at rest.
        if (!resting[k] || !std::isfinite(d[0] + d[1] + d[2]))
            continue;
        auto at =
            std::find_if(all.begin(), all.end(), [&](const Attitude &a) { return dot(a.first, d) >= near; });
        if (at == all.end())
            at = all.insert(all.end(), Attitude{d, {}, {}});
        for (int i = 0; i < 3; i++)
            at->sum[i] += d[i];
        at->readings.push_back(k);
    }
    all.erase(
        std::remove_if(all.begin(), all.end(),
                       [](const Attitude &a) { return a.readings.size() < size_t(MinimumAttitudeReadings); }),
        all.end());
    return all;
}

/// The coefficients of a model's parameters in the first-order norm of a
/// reading along u: the offset's, then the scale's.
std::vector<double> coefficients(FitModel model, const Vec3 &u)
{
    std::vector<double> c(u.begin(), u.end());
    if (model == FitModel::Sphere)
        c.push_back(1.0);
    for (int i = 0; model != FitModel::Sphere && i < 3; i++)
        c.push_back(u[i] * u[i]);
    if (model == FitModel::Full)
        for (int i = 0; i < 3; i++)
            for (int j = i + 1; j < 3; j++)
                c.push_back(2 * u[i] * u[j]);
    return c;
}

/// How far an error of one in every attitude's norm can move the least
/// determined parameter of the model; infinite when one is not determined.
double amplification(FitModel model, const std::vector<Attitude> &attitudes)
{
    const int n = int(coefficients(model, {0, 0, 1}).size());
    MatDoub normal(n, n, 0.0);
    for (const Attitude &a : attitudes) {
        const std::vector<double> c = coefficients(model, unit(a.sum));
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                normal[i][j] += c[size_t(i)] * c[size_t(j)] / double(attitudes.size());
    }
    // A singular matrix is an answer here, not a fault to be told of.
    const NrErrorSink silenced(nullptr);
    try {
        gaussj(normal);
    } catch (Int) {
        return INFINITY;
    }
    double largest = 0.0;
    for (int i = 0; i < n; i++)
        largest = std::max(largest, normal[i][i]);
    return std::isfinite(largest) ? std::sqrt(largest) : INFINITY;
}

/// The RMS share by which the norms of the readings differ from their mean.
double normError(const std::vector<Vec3> &readings)
{
    double sum = 0.0, sum2 = 0.0;
    for (const Vec3 &a : readings) {
        const double n = norm(a);
        sum += n;
        sum2 += n * n;
    }
    const double count = double(readings.size());
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, sum2 / count - mean * mean)) / mean;
}

/// Why the fit's offset or scale lies beyond an accelerometer's errors;
/// empty when both lie within them.
std::string implausibility(const AccelerometerFit &f)
{
    const Mat3 st = times(transposed(f.scale), f.scale);
    Vec3 values;
    Mat3 vectors;
    symmetricEigen(st, values, vectors);
    const double g = std::cbrt(std::sqrt(values[0] * values[1] * values[2]));
    if (norm(f.offset) > MaximumOffset * g)
        return format("the fit's offset of %.2f g lies beyond an accelerometer's errors", norm(f.offset) / g);
    const double widest = std::max(std::sqrt(values[2]) / g - 1.0, 1.0 - std::sqrt(values[0]) / g);
    if (widest > MaximumScaleError)
        return format(
            "the fit's scale differs by %.0f %% along one direction, beyond an accelerometer's errors",
            100.0 * widest);
    return std::string();
}

/// The richest model that the attitudes can carry, or why none.
bool chooseModel(const std::vector<Attitude> &attitudes, AccelerometerFit &f)
{
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere}) {
        if (int(attitudes.size()) < fitModelInfo(model).parameters + SpareAttitudes)
            continue;
        if (amplification(model, attitudes) <= MaximumAmplification) {
            f.model = model;
            return true;
        }
    }
    const int fewest = fitModelInfo(FitModel::Sphere).parameters + SpareAttitudes;
    f.reason = int(attitudes.size()) < fewest
                   ? "the readings at rest hold " + std::to_string(attitudes.size()) + " distinct attitude" +
                         (attitudes.size() == 1 ? "" : "s") + ", at least " + std::to_string(fewest) +
                         " are needed"
                   : "the " + std::to_string(attitudes.size()) +
                         " attitudes at rest lie too much to one side to tell the offset from the scale";
    return false;
}

} // namespace

Vec3 AccelerometerFit::corrected(const Vec3 &a) const
{
    return fitted ? times(inverse, Vec3{a[0] - offset[0], a[1] - offset[1], a[2] - offset[2]}) : a;
}

AccelerometerFit fitAccelerometer(const std::vector<Vec3> &accel, const std::vector<bool> &resting)
{
    AccelerometerFit f;
    const std::vector<Attitude> attitudes = attitudesAtRest(accel, resting);
    f.attitudes = int(attitudes.size());
    std::vector<Vec3> readings;
    for (const Attitude &a : attitudes)
        for (const size_t k : a.readings)
            readings.push_back(accel[k]);
    f.readings = int(readings.size());
    if (!chooseModel(attitudes, f))
        return f;

    MatDoub table(int(readings.size()), 3);
    std::vector<double> norms;
    for (size_t k = 0; k < readings.size(); k++) {
        std::copy(readings[k].begin(), readings[k].end(), table[int(k)]);
        norms.push_back(norm(readings[k]));
    }
    std::nth_element(norms.begin(), norms.begin() + long(norms.size() / 2), norms.end());
    // The sphere's radius is the fit's, so any norm near 1 g serves as Hm.
    const double g = norms[norms.size() / 2];
    Undetermined why = Undetermined::No;
    const std::optional<RobustFit> fit = FitRobust(table, g, f.model, RobustFitOptions(), &why);
    if (!fit || !fit->parameters.finite()) {
        f.reason = std::string("the fit of the readings at rest failed (") +
                   (fit ? "not finite" : undeterminedName(why)) + ")";
        return f;
    }
    for (int i = 0; i < 3; i++) {
        f.offset[size_t(i)] = fit->parameters.Bias[i][0];
        for (int j = 0; j < 3; j++) {
            f.scale[size_t(i)][size_t(j)] = g * fit->parameters.A[i][j];
            f.inverse[size_t(i)][size_t(j)] = fit->parameters.Ainv[i][j] / g;
        }
    }
    if (const std::string doubt = implausibility(f); !doubt.empty()) {
        f.reason = doubt;
        f.offset = {};
        f.scale = f.inverse = identity3();
        return f;
    }
    f.fitted = true;
    f.normErrorBefore = normError(readings);
    double squares = 0.0;
    for (const Vec3 &a : readings)
        squares += std::pow(norm(f.corrected(a)) - 1.0, 2);
    f.normErrorAfter = std::sqrt(squares / double(readings.size()));
    return f;
}

} // namespace tavrin::align
