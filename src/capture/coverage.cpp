#include "coverage.h"

#include "gaussj.h"

#include <cmath>

namespace tavrin {

CoverageTracker::CoverageTracker(double hm) : hm(hm) {}

// The sphere |h - c|^2 = R^2 is linear in c and d = R^2 - |c|^2:
// |h|^2 = 2 c . h + d. Its normal equations take sums that grow by one
// reading at a time.
void CoverageTracker::add(const Reading &reading)
{
    if (kept.empty())
        origin = reading;
    kept.push_back(reading);
    const double h[3] = {reading[0] - origin[0], reading[1] - origin[1], reading[2] - origin[2]};
    const double r[4] = {2 * h[0], 2 * h[1], 2 * h[2], 1.0};
    const double y = h[0] * h[0] + h[1] * h[1] + h[2] * h[2];
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++)
            normal[i][j] += r[i] * r[j];
        moment[i] += r[i] * y;
    }
    squares += y * y;
}

void CoverageTracker::truncate(int count)
{
    if (count >= int(kept.size()))
        return;
    std::vector<Reading> first(kept.begin(), kept.begin() + count);
    *this = CoverageTracker(hm);
    for (const Reading &r : first)
        add(r);
}

CoverageState CoverageTracker::state() const
{
    CoverageState s;
    constexpr int unknowns = 4;
    if (int(kept.size()) <= unknowns)
        return s;
    MatDoub inverse(unknowns, unknowns);
    for (int i = 0; i < unknowns; i++)
        for (int j = 0; j < unknowns; j++)
            inverse[i][j] = normal[i][j];
    try {
        const NrErrorSink silent(nullptr);
        gaussj(inverse);
    } catch (Int) {
        return s; // all readings on one plane or line so far
    }
    double p[unknowns] = {};
    for (int i = 0; i < unknowns; i++)
        for (int j = 0; j < unknowns; j++)
            p[i] += inverse[i][j] * moment[j];
    double fitted = 0.0;
    for (int i = 0; i < unknowns; i++)
        fitted += p[i] * moment[i];
    const double variance = std::max(0.0, squares - fitted) / double(kept.size() - unknowns);
    const double worst = std::max({inverse[0][0], inverse[1][1], inverse[2][2]});
    const double centreSquared = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
    s.radius = std::sqrt(std::max(0.0, p[3] + centreSquared));
    for (int k = 0; k < 3; k++)
        s.centre[size_t(k)] = origin[size_t(k)] + p[k];
    s.biasError = std::sqrt(variance * worst);

    std::vector<bool> hit(size_t(Cells), false);
    for (const Reading &r : kept) {
        const double d[3] = {r[0] - s.centre[0], r[1] - s.centre[1], r[2] - s.centre[2]};
        const double norm = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (norm > 0.0 && std::isfinite(norm))
            hit[size_t(cells.cellOf(d[0] / norm, d[1] / norm, d[2] / norm))] = true;
    }
    s.cellsHit = int(std::count(hit.begin(), hit.end(), true));
    const double scale = hm > 0.0 ? hm : s.radius;
    s.enough =
        s.cellsHit >= EnoughCells && std::isfinite(s.biasError) && s.biasError < EnoughBiasShare * scale;
    return s;
}

} // namespace tavrin
