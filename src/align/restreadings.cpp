#include "restreadings.h"

#include <algorithm>
#include <cmath>

namespace tavrin::align {

namespace {

bool finite(const Vec3 &v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

} // namespace

std::vector<bool> readingsAtRest(const std::vector<Vec3> &accel, const RestRule &rule)
{
    const size_t n = accel.size();
    std::vector<bool> resting(n, false);
    std::vector<double> norms;
    norms.reserve(n);
    for (const Vec3 &a : accel)
        if (finite(a))
            norms.push_back(norm(a));
    if (norms.empty())
        return resting;
    std::nth_element(norms.begin(), norms.begin() + long(norms.size() / 2), norms.end());
    const double median = norms[norms.size() / 2];
    if (!(median > 0) || !std::isfinite(median))
        return resting;
    const size_t reach = size_t(std::max(0, rule.reach));
    for (size_t k = 0; k < n; k++) {
        if (!finite(accel[k]) || std::abs(norm(accel[k]) - median) > rule.normShare * median)
            continue;
        bool still = true;
        for (size_t j = k > reach ? k - reach : 0; still && j <= std::min(n - 1, k + reach); j++) {
            const Vec3 &b = accel[j];
            still = finite(b) && norm({b[0] - accel[k][0], b[1] - accel[k][1], b[2] - accel[k][2]}) <=
                                     rule.stepShare * median;
        }
        resting[k] = still;
    }
    return resting;
}

} // namespace tavrin::align
