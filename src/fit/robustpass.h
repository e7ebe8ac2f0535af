// The passes of the robust fit over the points: each point's residual, its
// loss and weight, and the sums over the points that the solver asks for.
// Internal to the robust fit.
#ifndef TAVRIN_ROBUSTPASS_H
#define TAVRIN_ROBUSTPASS_H

#include "lanes.h"
#include "points.h"
#include "robustfit.h"
#include "robustshape.h"
#include "workcontrol.h"

#include <vector>

namespace tavrin {
namespace robust {

// The points as the fit sees them: p = L (h - o), every stride-th point,
// point k counted weights[k] times, or not at all where left holds true. L
// scales to unit RMS radius, and for a plane also projects onto it.
struct Sample {
    Points points;
    const int *weights;
    double o[3];
    double L[3][3];
    int stride = 1;
    const WorkControl *control = nullptr; ///< none: one thread, never cancelled
    const std::vector<bool> *left = nullptr;
    bool turned = false; ///< L turns as it scales: for a plane; otherwise L is diagonal
    /// The caller's counts, when weights thin its rests: a rest's readings
    /// that count for nothing are still judged.
    bool thinned = false;
    const int *given = nullptr;

    int count(int k) const { return left && (*left)[size_t(k)] ? 0 : weights ? weights[k] : 1; }

    /// The count the caller gave, left or not.
    int countGiven(int k) const
    {
        const int *counts = thinned ? given : weights;
        return counts ? counts[k] : 1;
    }

    void map(int k, double p[3]) const
    {
        const double d[3] = {points[k][0] - o[0], points[k][1] - o[1], points[k][2] - o[2]};
        // A diagonal L scales: its zeros would add nothing to p but the sign
        // of a zero, which no sum over the points keeps.
        for (int i = 0; i < 3; i++)
            p[i] = turned ? L[i][0] * d[0] + L[i][1] * d[1] + L[i][2] * d[2] : L[i][i] * d[i];
    }

    bool cancelled() const { return control && control->cancelled(); }
};

enum class Loss { Huber, Tukey };

/// The residual at which the loss turns: Huber's k or Tukey's c times sigma.
inline double tuning(Loss loss, double sigma)
{
    return (loss == Loss::Huber ? RobustLimits::HuberK : RobustLimits::TukeyC) * sigma;
}

// The distance of p to the surface |G (p - b)| = target, to first order,
// and, when gradient is given, its gradient; for one point (double) or
// several (lanes). Measured in the points' own units, it cannot be made
// small by a gain that shrinks: |G (p - b)| - target alone can, by a gain
// towards zero and a bias far away, on points that cover a cap.
template <Shape S, class T>
TAVRIN_INLINE T residualAs(const Parameters &t, const double G[3][3], double target, const T p[3],
                           T *gradient)
{
    constexpr int nb = biasCount(S);
    const T d[3] = {p[0] - t.v[0], p[1] - t.v[1], nb == 3 ? p[2] - t.v[2] : T(0.0)};
    T c[3];
    gainTimes<S>(G, d, c);
    const T rho = root(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    // q = G c is rho times the gradient of rho in h: e = rho - target over
    // |q| / rho is the point's distance to the surface, to first order.
    T q[3];
    gainTimes<S>(G, c, q);
    const T qn = root(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    const T e = rho - target, r = e * rho / qn;
    if (!gradient)
        return r;
    // r = e rho / |q|: dr = drho (rho + e) / |q| - e rho d|q| / |q|^2,
    // with drho = c^T dc / rho and d|q| = qhat^T (dG c + G dc).
    const T qhat[3] = {q[0] / qn, q[1] / qn, q[2] / qn};
    T u[3], Gu[3];
    gainTimes<S>(G, qhat, u);
    gainTimes<S>(G, u, Gu);
    const T alongRho = (rho + e) / (qn * rho), alongQ = e * rho / (qn * qn);
    for (int i = 0; i < nb; i++)
        gradient[i] = -q[i] * alongRho + Gu[i] * alongQ;
    T cd[6], qc[6], ud[6];
    gainGradient(S, c, d, cd);
    gainGradient(S, qhat, c, qc);
    gainGradient(S, u, d, ud);
    for (int k = 0; k < parameterCount(S) - nb; k++)
        gradient[nb + k] = cd[k] * alongRho - (qc[k] + ud[k]) * alongQ;
    // A point at the centre has no direction and pulls nowhere.
    for (int lane = 0; lane < lanesIn(rho); lane++)
        if (!(laneOf(rho, lane) > 0))
            for (int i = 0; i < parameterCount(S); i++)
                setLane(gradient[i], lane, 0.0);
    return r;
}

// The loss of a residual r for the tuning constant c, and its weight
// psi(r) / r of iteratively reweighted least squares.
template <class T> struct Weighed {
    T loss, weight;
};

template <class T> TAVRIN_INLINE Weighed<T> weigh(Loss loss, const T &r, double c)
{
    const T a = magnitude(r);
    if (loss == Loss::Huber) {
        const auto inside = atMost(a, c);
        return {choose(inside, 0.5 * r * r, T(c) * a - T(0.5 * c * c)), choose(inside, T(1.0), T(c) / a)};
    }
    const T u = 1 - (r / T(c)) * (r / T(c));
    const auto beyond = atLeast(a, c);
    const double limit = c * c / 6;
    return {choose(beyond, T(limit), limit * (1 - u * u * u)), choose(beyond, T(0.0), u * u)};
}

// The robust cost and the normal equations J^T W J, J^T W r at t, in one
// pass; the cost at the scale of the normal equations too, where the cost
// is asked at another. H holds the upper triangle.
struct Normal {
    double cost = 0.0, ownCost = 0.0;
    double H[MaxParameters][MaxParameters] = {};
    double g[MaxParameters] = {};
};

// What a pass sums: the cost and the normal equations; the cost alone, all
// that decides whether a step is taken; or the normal equations and the
// points of weight zero, which the fit rejects. Or only what any pass lists
// when asked: the magnitude of each point's residual, as often as the point
// counts.
enum class Pass { Normal, CostOnly, NormalAndRejected, Magnitudes };

// What a pass is asked: its kind, the loss and the robust scale of the
// normal equations and the rejected points, the scale of the cost, and
// where the rejected points (Pass::NormalAndRejected) and the magnitudes go
// when asked for.
struct Request {
    Request(Pass pass, Loss loss, double sigma) : pass(pass), loss(loss), sigma(sigma), costSigma(sigma) {}

    Pass pass;
    Loss loss;
    double sigma, costSigma;
    std::vector<int> *rejected = nullptr;
    std::vector<double> *magnitudes = nullptr;
};

/// The points first to end - 1 that a pass takes, every stride-th.
struct Range {
    int first, end, stride;
};

/// The sums over the range asked for, in lanes of the width given; for
/// Pass::NormalAndRejected, the points beyond Tukey's limit among all that
/// the caller counts, left or not, added to rejected in their order. Every
/// width gives the same numbers to the last bit.
Normal evaluateRange(const Sample &s, const Model &m, const Parameters &t, const Request &ask, Range range,
                     LaneWidth width = widestLanes());

/// The sums over the sample, shared with a second thread when there are
/// many points and the run's budget has one; the same to the last bit on
/// one thread or two.
Normal evaluate(const Sample &s, const Model &m, const Parameters &t, const Request &ask);

} // namespace robust
} // namespace tavrin

#endif
