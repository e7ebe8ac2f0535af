// The one-step bootstrap of a robust fit: the normal equations of Tukey's
// loss at the fit summed over runs of consecutive points, and a resample's
// refit as one Gauss-Newton step from the fit with its runs counted as drawn.
#include "robustfit.h"

#include "robustframe.h"
#include "robustsolve.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

using namespace robust;

namespace {

// The frame of the steps: centred on the fit's bias and scaled by the field
// norm, so that its parameters are near zero and one.
Sample stepFrame(Points points, const double origin[3], double scale)
{
    Sample s{points, nullptr, {origin[0], origin[1], origin[2]}, {}, 1};
    for (int i = 0; i < 3; i++)
        s.L[i][i] = scale;
    return s;
}

template <Shape S>
void sumRuns(const Sample &s, const Model &m, const Parameters &t, double sigma, int runLength,
             const int *counts, std::vector<double> &sums)
{
    constexpr int np = parameterCount(S), width = np * (np + 1) / 2 + np;
    const double c = tuning(Loss::Tukey, sigma);
    double G[3][3];
    gainMatrix(S, t.v.data() + biasCount(S), G);
    for (int k = 0; k < s.points.size(); k++) {
        if (counts && counts[k] == 0)
            continue;
        double p[3], J[np];
        s.map(k, p);
        const double r = residualAs<S>(t, G, m.target, p, J);
        if (!(std::abs(r) < c))
            continue;
        // The Newton step of Tukey's estimator weighs J J^T by psi'(r),
        // not by the weight psi(r) / r: with the weight, the steps would
        // spread about a fifth less than the estimator does.
        const double count = counts ? counts[k] : 1.0, u = 1 - SQR(r / c), w = count * (u * u),
                     slope = count * (u * (1 - 5 * SQR(r / c)));
        double *run = sums.data() + size_t(k / runLength) * width;
        for (int i = 0, at = 0; i < np; i++) {
            run[np * (np + 1) / 2 + i] += w * J[i] * r;
            for (int j = i; j < np; j++)
                run[at++] += slope * J[i] * J[j];
        }
    }
}

} // namespace

RobustSteps::RobustSteps(Points points, double Hm, const RobustFit &fit, int runLength, const int *counts)
    : model(fit.model), Hm(Hm), scale(1.0 / std::abs(Hm)), sigma(fit.scale / std::abs(Hm)),
      np(parameterCount(shapeOf(fit.model))), runCount((points.size() + runLength - 1) / runLength)
{
    for (int i = 0; i < 3; i++)
        origin[i] = fit.parameters.Bias[i][0];
    const Sample s = stepFrame(points, origin, scale);
    const Model m{shapeOf(model), Hm * scale};
    const Parameters t = inFrame(s, m, fit.parameters);
    std::copy(t.v.begin(), t.v.begin() + np, at);
    sums.assign(size_t(runCount) * size_t(np * (np + 1) / 2 + np), 0.0);
    withShape(m.shape, [&](auto S) { sumRuns<S.value>(s, m, t, sigma, runLength, counts, sums); });
}

std::optional<RobustFit> RobustSteps::step(const int *counts) const
{
    const int triangle = np * (np + 1) / 2, width = triangle + np;
    Normal n;
    for (int run = 0; run < runCount; run++) {
        if (counts[run] == 0)
            continue;
        const double *sum = sums.data() + size_t(run) * size_t(width);
        for (int i = 0, a = 0; i < np; i++) {
            n.g[i] += counts[run] * sum[triangle + i];
            for (int j = i; j < np; j++)
                n.H[i][j] += counts[run] * sum[a++];
        }
    }
    Factor L = {};
    if (!factorNormal(n, np, L))
        return std::nullopt;
    double x[MaxParameters];
    solveFactored(L, np, n.g, x);
    Solution moved;
    for (int i = 0; i < np; i++)
        moved.t.v[size_t(i)] = at[i] + x[i];
    moved.sigma = sigma;
    const Shape shape = shapeOf(model);
    if (!allFinite(moved.t) || !makePositiveDefinite(shape, moved.t))
        return std::nullopt;
    RobustFit r;
    r.model = model;
    r.parameters = spaceParameters(origin, scale, shape, moved.t);
    r.scale = sigma / scale;
    r.calibratedNorm = Hm;
    biasBlock(L, np, SQR(sigma / scale), r.biasCovariance);
    return r;
}

} // namespace tavrin
