// The starts of a robust fit converged on an even sample of the points
// ahead of the fit, which FitRobust then polishes on every point.
#include "samplestart.h"

#include "robustframe.h"
#include "robustsolve.h"

#include <algorithm>

namespace tavrin {

using namespace robust;

static_assert(std::size(SampledStart().parameters) == MaxParameters);

std::optional<SampledStart> ConvergeOnSample(Points points, double Hm, FitModel model,
                                             const SpreadBesideGross &known, const WorkControl &control)
{
    if (model == FitModel::Planar || subsampleStride(points.size()) == 1 ||
        distinctPoints(points, nullptr, MinimumPoints) < MinimumPoints ||
        undeterminedBySpread(model, known.spread) != Undetermined::No)
        return std::nullopt;
    const auto [s, m] = spaceFrame(points, Hm, model, nullptr, known, control);
    SampledStart sampled;
    sampled.model = model;
    sampled.Hm = Hm;
    if (const std::optional<Solution> best = convergedStart(s, m, Hm, nullptr)) {
        sampled.converged = true;
        std::copy(best->t.v.begin(), best->t.v.end(), sampled.parameters);
    }
    return sampled;
}

} // namespace tavrin
