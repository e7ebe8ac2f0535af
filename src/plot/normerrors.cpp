#include "normerrors.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

PointErrors normErrors(const FigureData &d)
{
    const Calibrator calibrate(d.parameters);
    const double norm = d.quality.hm;
    PointErrors e;
    e.before.reserve(size_t(d.points.size()));
    e.after.reserve(size_t(d.points.size()));
    for (int k = 0; k < d.points.size(); k++) {
        e.before.push_back(calibrate.biasFreeNorm(d.points[k]) - norm);
        e.after.push_back(calibrate.calibratedNorm(d.points[k]) - norm);
    }
    return e;
}

double reach(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    for (double &v : values)
        v = std::abs(v);
    const size_t k = std::min(values.size() - 1, size_t(0.995 * double(values.size())));
    std::nth_element(values.begin(), values.begin() + k, values.end());
    return values[k];
}

} // namespace tavrin
