// The robust fits' entry: the checks that the points determine a fit, the
// fit in three dimensions or in a plane, and its b, A and scale in the
// input's units. The parts: the model shapes (robustshape), the passes over
// the points (robustpass, in lanes from lanes.h), the solver (robustsolve),
// the frame (robustframe) and the one-step bootstrap (robuststeps).
#include "robustfit.h"

#include "robustframe.h"
#include "robustsolve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace tavrin {

using namespace robust;

const char *undeterminedName(Undetermined why)
{
    const char *names[] = {"", "few-points", "line", "plane", "singular", "reading", "scale"};
    return names[int(why)];
}

namespace {

std::optional<RobustFit> fitSpace(Points points, double Hm, FitModel model, const RobustFitOptions &options,
                                  const SpreadBesideGross &known)
{
    const Shape shape = shapeOf(model);
    const auto [s, m] = spaceFrame(points, Hm, model, options.weights, known, options.control);
    std::optional<Judged> judged = solve(s, m, Hm, options.start);
    Factor L = {};
    if (!judged || !factorNormal(judged->normal, parameterCount(shape), L))
        return std::nullopt;
    const Solution *fit = &judged->fit;
    RobustFit r;
    r.rejected = std::move(judged->rejected);
    r.model = model;
    r.parameters = spaceParameters(s.o, s.L[0][0], shape, fit->t);
    r.scale = fit->sigma / s.L[0][0];
    r.calibratedNorm = Hm;
    // sigma^2 (J^T W J)^-1: the covariance of b that the noise about the
    // fit implies, if the points were independent; in the input's units.
    biasBlock(L, parameterCount(shape), SQR(fit->sigma / s.L[0][0]), r.biasCovariance);
    return r;
}

double medianNorm(Points points, const CalibrationParameters &p)
{
    const Calibrator calibrate(p);
    const int stride = std::max(1, points.size() / 20000);
    std::vector<double> norms;
    for (int k = 0; k < points.size(); k += stride)
        norms.push_back(calibrate.calibratedNorm(points[k]));
    std::nth_element(norms.begin(), norms.begin() + norms.size() / 2, norms.end());
    return norms[norms.size() / 2];
}

// The plane is found twice: from all points, then from those the first
// fit kept, so that spikes off the plane cannot tilt it.
std::optional<RobustFit> fitPlane(Points points, const int *weights, const SpreadBesideGross &known,
                                  const WorkControl &control)
{
    const std::vector<bool> &gross = known.gross;
    const int *counted = known.counted(weights);
    std::vector<bool> left = gross;
    std::optional<RobustFit> r;
    for (int pass = 0; pass < 2; pass++) {
        const PointSpread spread = SpreadOf(points, counted, &left);
        if (!(spread.radius > 0))
            return r;
        const std::optional<std::array<double, 3>> n = LeastDirection(spread.covariance);
        if (!n)
            return r;
        const Sample s =
            fittedFrame(points, counted, weights, Shape::Plane, spread, n->data(), gross, control);
        const Model m{Shape::Plane, 1.0};
        std::optional<Judged> judged = solve(s, m, 1.0, nullptr);
        if (!judged)
            return r;
        const Solution *fit = &judged->fit;
        Factor L = {};
        r = RobustFit();
        r->rejected = std::move(judged->rejected);
        if (!factorNormal(judged->normal, parameterCount(Shape::Plane), L))
            return std::nullopt;
        r->model = FitModel::Planar;
        r->parameters = planeParameters(s, fit->t, n->data());
        r->scale = fit->sigma * spread.radius;
        std::copy(n->begin(), n->end(), r->normal);
        r->calibratedNorm = medianNorm(points, r->parameters);
        if (r->rejected.empty())
            break;
        left = gross;
        for (const int k : r->rejected)
            left[size_t(k)] = true;
    }
    return r;
}

} // namespace

std::optional<RobustFit> FitRobust(Points points, double Hm, FitModel model, const RobustFitOptions &options,
                                   Undetermined *why)
{
    const int *weights = options.weights;
    const auto refuse = [&](Undetermined reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (why)
        *why = Undetermined::No;
    if (distinctPoints(points, weights, MinimumPoints) < MinimumPoints)
        return refuse(Undetermined::FewPoints);
    const SpreadBesideGross *known = options.known;
    std::optional<SpreadBesideGross> found;
    if (!known)
        known = &found.emplace(SpreadWithoutGross(points, weights));
    if (const Undetermined reason = undeterminedBySpread(model, known->spread); reason != Undetermined::No)
        return refuse(reason);
    std::optional<RobustFit> r = model == FitModel::Planar
                                     ? fitPlane(points, weights, *known, options.control)
                                     : fitSpace(points, Hm, model, options, *known);
    if (options.control.cancelled())
        return std::nullopt;
    if (!r || !r->parameters.finite())
        return refuse(Undetermined::Singular);
    return r;
}

} // namespace tavrin
