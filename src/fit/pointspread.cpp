#include "pointspread.h"

#include "eigen_unsym.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

PointSpread SpreadOf(Points points, const int *weights, const std::vector<bool> *left)
{
    PointSpread s;
    double n = 0.0;
    const auto counted = [&](int k) {
        return (left && (*left)[size_t(k)]) ? 0.0 : weights ? weights[k] : 1.0;
    };
    for (int k = 0; k < points.size(); k++) {
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
    const int n = points.size(), stride = std::max(1, n / 20000);
    std::vector<bool> gross(size_t(n), false);
    double centre[3];
    std::vector<double> values;
    for (int i = 0; i < 3; i++) {
        values.clear();
        for (int k = 0; k < n; k += stride)
            if (!weights || weights[k] > 0)
                values.push_back(points[k][i]);
        if (values.empty())
            return gross;
        centre[i] = medianOf(values);
    }
    const auto distance = [&](int k) {
        return std::sqrt(SQR(points[k][0] - centre[0]) + SQR(points[k][1] - centre[1]) +
                         SQR(points[k][2] - centre[2]));
    };
    values.clear();
    for (int k = 0; k < n; k += stride)
        if (!weights || weights[k] > 0)
            values.push_back(distance(k));
    const double limit = GrossDistances * medianOf(values);
    if (!(limit > 0))
        return gross;
    for (int k = 0; k < n; k++)
        gross[size_t(k)] = !(distance(k) <= limit);
    return gross;
}

PlaneSpread SpreadAboutPlane(Points points)
{
    PlaneSpread plane;
    const std::vector<bool> gross = GrossPoints(points);
    const PointSpread spread = SpreadOf(points, nullptr, &gross);
    if (!(spread.radius > 0))
        return plane;
    const std::optional<std::array<double, 3>> direction = LeastDirection(spread.covariance);
    if (!direction)
        return plane;
    const std::array<double, 3> &n = *direction;
    std::copy(n.begin(), n.end(), plane.normal);
    const int stride = evenSampleStride(points.size());
    std::vector<double> across, within;
    for (int k = 0; k < points.size(); k += stride) {
        double d[3];
        for (int i = 0; i < 3; i++)
            d[i] = points[k][i] - spread.mean[i];
        const double a = d[0] * n[0] + d[1] * n[1] + d[2] * n[2];
        across.push_back(a);
        within.push_back(std::sqrt(std::max(0.0, d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - a * a)));
    }
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
