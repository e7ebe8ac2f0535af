// The passes of the robust fit over the points: batches of points through
// the residual in lanes, then their costs, weights and normal equations
// summed one point after the other, in the points' order.
#include "robustpass.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrin {
namespace robust {

namespace {

// Up to LaneCount points that go through the residual together, and how
// often each counts.
struct Batch {
    int index[LaneCount], count[LaneCount];
    int size = 0;
};

// Calls use(batch) for the batches of the points of the range that count,
// or, when judging, that the caller counts: from one place, the last
// batch's too, since the code of a batch is long, and one copy of it stays
// in the processor's caches.
template <class F> TAVRIN_INLINE void forEachBatch(const Sample &s, Range range, bool judging, F use)
{
    Batch batch;
    for (int k = range.first; k < range.end;) {
        for (; k < range.end && batch.size < LaneCount; k += range.stride) {
            const int w = s.count(k);
            if (w == 0 && !(judging && s.countGiven(k) > 0))
                continue;
            batch.index[batch.size] = k;
            batch.count[batch.size++] = w;
        }
        if (batch.size > 0)
            use(batch);
        batch.size = 0;
    }
}

// The batch's points in the frame, lane by lane; lanes beyond the batch
// repeat its last point.
template <class Lanes> TAVRIN_INLINE void lanePoints(const Sample &s, const Batch &batch, Lanes p[3])
{
    double q[LaneCount][3];
    for (int lane = 0; lane < LaneCount; lane++)
        s.map(batch.index[std::min(lane, batch.size - 1)], q[lane]);
    for (int i = 0; i < 3; i++)
        p[i] = Lanes(q, i);
}

template <class Lanes>
TAVRIN_INLINE void listMagnitudes(const Batch &batch, const Lanes &r, std::vector<double> &magnitudes)
{
    for (int lane = 0; lane < batch.size; lane++)
        for (int copy = 0; copy < batch.count[lane]; copy++)
            magnitudes.push_back(std::abs(r[lane]));
}

// The points that the caller counts and whose residual lies beyond c.
template <class Lanes>
TAVRIN_INLINE void listRejected(const Sample &s, const Batch &batch, const Lanes &r, double c,
                                std::vector<int> &rejected)
{
    for (int lane = 0; lane < batch.size; lane++)
        if (s.countGiven(batch.index[lane]) > 0 && !(std::abs(r[lane]) < c))
            rejected.push_back(batch.index[lane]);
}

// Adds each counted point's loss (at the cost's scale, and at its own) to
// the costs and, for the normal equations, lists the gradient and residual
// of each point that weighs, and its weight; returns how many weigh.
template <int N, bool Normal, class Lanes>
TAVRIN_INLINE int weighBatch(const Batch &batch, const Lanes &r, const Lanes *J, const Weighed<Lanes> &e,
                             const Lanes &costLoss, double &cost, double &ownCost, double (*terms)[N + 1],
                             double *weights)
{
    int weighing = 0;
    for (int lane = 0; lane < batch.size; lane++) {
        const int w = batch.count[lane];
        if (w == 0)
            continue;
        cost += w * costLoss[lane];
        ownCost += w * e.loss[lane];
        if (!Normal || e.weight[lane] == 0)
            continue;
        weights[weighing] = w * e.weight[lane];
        for (int i = 0; i < N; i++)
            terms[weighing][i] = J[i][lane];
        terms[weighing][N] = r[lane];
        weighing++;
    }
    return weighing;
}

// Adds the terms of row i of J^T W J and J^T W r, for the points of
// gradients and residual terms[l] and weight weights[l] in their order: the
// row's sums stay in registers over the points, each summed in their order.
template <int N, int I>
TAVRIN_INLINE void addRow(const double (*terms)[N + 1], const double *weights, int count, double *H,
                          double *g)
{
    constexpr int at = I * N - I * (I - 1) / 2;
    double sums[N + 1 - I];
#pragma GCC unroll 10
    for (int j = I; j < N; j++)
        sums[j - I] = H[at + j - I];
    sums[N - I] = g[I];
    for (int l = 0; l < count; l++) {
        const double wj = weights[l] * terms[l][I];
#pragma GCC unroll 10
        for (int j = I; j <= N; j++)
            sums[j - I] += wj * terms[l][j];
    }
#pragma GCC unroll 10
    for (int j = I; j < N; j++)
        H[at + j - I] = sums[j - I];
    g[I] = sums[N - I];
}

template <int N, int... I>
TAVRIN_INLINE void addRows(const double (*terms)[N + 1], const double *weights, int count, double *H,
                           double *g, std::integer_sequence<int, I...>)
{
    (addRow<N, I>(terms, weights, count, H, g), ...);
}

// One pass of kind P over the range in lanes of type Lanes.
template <Shape S, Pass P, class Lanes>
TAVRIN_INLINE Normal evaluateAs(const Sample &s, const Model &m, const Parameters &t, const Request &ask,
                                Range range)
{
    constexpr int np = parameterCount(S);
    constexpr bool judging = P == Pass::NormalAndRejected, normal = P == Pass::Normal || judging;
    // The request's fields as locals, which no call in the loop can move.
    const Loss loss = ask.loss;
    std::vector<int> *const rejected = ask.rejected;
    std::vector<double> *const magnitudes = ask.magnitudes;
    const double c = tuning(loss, ask.sigma), costC = tuning(loss, ask.costSigma);
    double G[3][3];
    gainMatrix(S, t.v.data() + biasCount(S), G);
    // Local sums, which the compiler keeps out of memory better than a
    // struct's: the upper triangle of J^T W J row by row, and J^T W r.
    double cost = 0.0, ownCost = 0.0, H[np * (np + 1) / 2] = {}, g[np] = {};
    forEachBatch(
        s, range, judging, [&](const Batch &batch) __attribute__((always_inline)) {
            Lanes p[3], J[np];
            lanePoints(s, batch, p);
            const Lanes r = residualAs<S, Lanes>(t, G, m.target, p, normal ? J : nullptr);
            if (magnitudes)
                listMagnitudes(batch, r, *magnitudes);
            if (P == Pass::Magnitudes)
                return;
            if (judging)
                listRejected(s, batch, r, c, *rejected);
            const Weighed<Lanes> e = weigh(loss, r, c);
            double terms[LaneCount][np + 1], weights[LaneCount];
            const int weighing =
                weighBatch<np, normal>(batch, r, J, e, costC == c ? e.loss : weigh(loss, r, costC).loss, cost,
                                       ownCost, terms, weights);
            if (!normal)
                return;
            addRows<np>(terms, weights, weighing, H, g, std::make_integer_sequence<int, np>());
        });
    Normal n;
    n.cost = cost;
    n.ownCost = ownCost;
    for (int i = 0, at = 0; i < np; i++) {
        n.g[i] = g[i];
        for (int j = i; j < np; j++)
            n.H[i][j] = H[at++];
    }
    return n;
}

// Calls f with the kind of pass as a compile-time constant.
template <class F> auto withPass(Pass pass, F f)
{
    switch (pass) {
    case Pass::CostOnly:
        return f(std::integral_constant<Pass, Pass::CostOnly>());
    case Pass::NormalAndRejected:
        return f(std::integral_constant<Pass, Pass::NormalAndRejected>());
    case Pass::Magnitudes:
        return f(std::integral_constant<Pass, Pass::Magnitudes>());
    case Pass::Normal:
        break;
    }
    return f(std::integral_constant<Pass, Pass::Normal>());
}

void addTo(Normal &sum, const Normal &more)
{
    sum.cost += more.cost;
    sum.ownCost += more.ownCost;
    for (int i = 0; i < MaxParameters; i++) {
        sum.g[i] += more.g[i];
        for (int j = 0; j < MaxParameters; j++)
            sum.H[i][j] += more.H[i][j];
    }
}

} // namespace

Normal evaluateRange(const Sample &s, const Model &m, const Parameters &t, const Request &ask, Range range,
                     LaneWidth width)
{
    return withShape(m.shape, [&](auto S) {
        return withPass(ask.pass, [&](auto P) {
            return withLanes(
                width, [&](auto lanes) __attribute__((always_inline)) {
                    return evaluateAs<S.value, P.value, decltype(lanes)>(s, m, t, ask, range);
                });
        });
    });
}

Normal evaluate(const Sample &s, const Model &m, const Parameters &t, const Request &ask)
{
    constexpr int threadedFrom = 100000;
    const int n = s.points.size();
    if (n / s.stride < threadedFrom)
        return evaluateRange(s, m, t, ask, {0, n, s.stride});
    // Without a second thread the same halves are summed in turn, so that
    // the budget does not move the result in its last bits.
    const int middle = n / 2 - (n / 2) % s.stride;
    Normal halves[2];
    std::vector<int> secondRejected;
    std::vector<double> secondMagnitudes;
    const auto sumHalf = [&](int half, int) {
        Request part = ask;
        if (half == 1) {
            part.rejected = ask.rejected ? &secondRejected : nullptr;
            part.magnitudes = ask.magnitudes ? &secondMagnitudes : nullptr;
        }
        const Range range = half == 0 ? Range{0, middle, s.stride} : Range{middle, n, s.stride};
        halves[half] = evaluateRange(s, m, t, part, range);
    };
    if (s.control && s.control->threads() > 1) {
        s.control->inParallel(2, sumHalf);
    } else {
        sumHalf(0, 1);
        sumHalf(1, 1);
    }
    if (ask.rejected)
        ask.rejected->insert(ask.rejected->end(), secondRejected.begin(), secondRejected.end());
    if (ask.magnitudes)
        ask.magnitudes->insert(ask.magnitudes->end(), secondMagnitudes.begin(), secondMagnitudes.end());
    addTo(halves[0], halves[1]);
    return halves[0];
}

} // namespace robust
} // namespace tavrin
