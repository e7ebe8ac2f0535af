#include "robustfit.h"

#include "pointspread.h"

#include "gaussj.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

namespace tavrin {

namespace {

using namespace RobustLimits;

// The gain G = A^-1 as the fit varies it: all six entries of a symmetric
// matrix, its diagonal, one multiple of the identity, or the symmetric 2x2
// block of a plane whose points have a third coordinate of zero.
enum class Shape { Full, Diagonal, Sphere, Plane };

constexpr int MaxParameters = 9;

constexpr int biasCount(Shape s)
{
    return s == Shape::Plane ? 2 : 3;
}

constexpr int parameterCount(Shape s)
{
    constexpr int gains[] = {6, 3, 1, 3};
    return biasCount(s) + gains[int(s)];
}

void gainMatrix(Shape s, const double *g, double G[3][3])
{
    std::memset(G, 0, sizeof(double[3][3]));
    switch (s) {
    case Shape::Full:
        G[0][0] = g[0], G[1][1] = g[1], G[2][2] = g[2];
        G[0][1] = G[1][0] = g[3], G[0][2] = G[2][0] = g[4], G[1][2] = G[2][1] = g[5];
        break;
    case Shape::Diagonal:
        G[0][0] = g[0], G[1][1] = g[1], G[2][2] = g[2];
        break;
    case Shape::Sphere:
        G[0][0] = G[1][1] = G[2][2] = g[0];
        break;
    case Shape::Plane:
        G[0][0] = g[0], G[1][1] = g[1];
        G[0][1] = G[1][0] = g[2];
        break;
    }
}

// The gains of a symmetric G in the shape's order, the inverse of gainMatrix
// where G has the shape, its projection onto the shape otherwise.
int gainsOf(Shape s, const double G[3][3], double *g)
{
    switch (s) {
    case Shape::Full:
        g[0] = G[0][0], g[1] = G[1][1], g[2] = G[2][2], g[3] = G[0][1], g[4] = G[0][2], g[5] = G[1][2];
        return 6;
    case Shape::Diagonal:
        g[0] = G[0][0], g[1] = G[1][1], g[2] = G[2][2];
        return 3;
    case Shape::Sphere:
        g[0] = (G[0][0] + G[1][1] + G[2][2]) / 3;
        return 1;
    case Shape::Plane:
        g[0] = G[0][0], g[1] = G[1][1], g[2] = G[0][1];
        return 3;
    }
    return 0;
}

// c^T (dG/dg_k) d for each gain g_k: with c = G d, the derivative of |c|
// times |c|.
template <class T>
__attribute__((always_inline)) inline void gainGradient(Shape s, const T c[3], const T d[3], T *out)
{
    switch (s) {
    case Shape::Full:
        out[3] = c[0] * d[1] + c[1] * d[0], out[4] = c[0] * d[2] + c[2] * d[0],
        out[5] = c[1] * d[2] + c[2] * d[1];
        [[fallthrough]];
    case Shape::Diagonal:
        out[0] = c[0] * d[0], out[1] = c[1] * d[1], out[2] = c[2] * d[2];
        break;
    case Shape::Sphere:
        out[0] = c[0] * d[0] + c[1] * d[1] + c[2] * d[2];
        break;
    case Shape::Plane:
        out[0] = c[0] * d[0], out[1] = c[1] * d[1], out[2] = c[0] * d[1] + c[1] * d[0];
        break;
    }
}

double determinant(const double m[3][3])
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// 1 when the leading n x n block of the symmetric m is positive definite,
// -1 when it is negative definite, 0 otherwise: the signs of its leading
// minors.
int definiteness(const double m[3][3], int n)
{
    const double sign = m[0][0] > 0 ? 1.0 : -1.0;
    const bool definite = sign * m[0][0] > 0 && m[0][0] * m[1][1] - m[0][1] * m[1][0] > 0 &&
                          (n == 2 || sign * determinant(m) > 0);
    return definite ? int(sign) : 0;
}

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
};

enum class Loss { Huber, Tukey };

// Where the fit stands: the bias in the frame, then the gains.
struct Parameters {
    std::array<double, MaxParameters> v{};
};

// Calls f with the shape as a compile-time constant, for the templates
// whose loops over the parameters unroll.
template <class F> auto withShape(Shape s, F f)
{
    switch (s) {
    case Shape::Diagonal:
        return f(std::integral_constant<Shape, Shape::Diagonal>());
    case Shape::Sphere:
        return f(std::integral_constant<Shape, Shape::Sphere>());
    case Shape::Plane:
        return f(std::integral_constant<Shape, Shape::Plane>());
    case Shape::Full:
        break;
    }
    return f(std::integral_constant<Shape, Shape::Full>());
}

// Several doubles that go through each operation together: eight points
// through the residual at once, their chains of divisions and roots
// overlapping. Each lane is rounded as a double alone
// would be, so that a point's residual and gradient are the same to the last
// bit whichever lane, or no lane, computes them, and whatever vectors of the
// processor hold them: V, pairs on every x86-64 processor, or wider ones.
constexpr int LaneCount = 8;

template <class V> struct LanesOf {
    static constexpr int width = sizeof(V) / sizeof(double);
    V parts[LaneCount / width];

    LanesOf() = default;
    __attribute__((always_inline)) LanesOf(double x)
    {
        for (V &part : parts)
            part = filled(x);
    }
    /// Lane l of x[l][i].
    __attribute__((always_inline)) LanesOf(const double (*x)[3], int i)
    {
        for (int lane = 0; lane < LaneCount; lane++)
            parts[lane / width][lane % width] = x[lane][i];
    }

    double operator[](int lane) const { return parts[lane / width][lane % width]; }
    void set(int lane, double x) { parts[lane / width][lane % width] = x; }

    /// x in every lane of one vector.
    __attribute__((always_inline)) static V filled(double x)
    {
        V v;
        for (int lane = 0; lane < width; lane++)
            v[lane] = x;
        return v;
    }

    // Inlined whatever the compiler would choose: a call per operation
    // would cost more than the operation.
#define TAVRIN_LANEWISE(op)                                                                                  \
    __attribute__((always_inline)) friend LanesOf operator op(LanesOf a, LanesOf b)                          \
    {                                                                                                        \
        for (int k = 0; k < LaneCount / width; k++)                                                          \
            a.parts[k] = a.parts[k] op b.parts[k];                                                           \
        return a;                                                                                            \
    }
    TAVRIN_LANEWISE(+)
    TAVRIN_LANEWISE(-)
    TAVRIN_LANEWISE(*)
    TAVRIN_LANEWISE(/)
#undef TAVRIN_LANEWISE

    __attribute__((always_inline)) friend LanesOf operator-(LanesOf a)
    {
        for (V &part : a.parts)
            part = -part;
        return a;
    }
};

inline double root(double x)
{
    return std::sqrt(x);
}
template <class V> __attribute__((always_inline)) inline LanesOf<V> root(const LanesOf<V> &x)
{
    LanesOf<V> y;
    for (int lane = 0; lane < LaneCount; lane++)
        y.set(lane, std::sqrt(x[lane]));
    return y;
}

// The gradient of a point at the centre, which has no direction and pulls
// nowhere: zero.
template <int N> void zeroAtCentre(double rho, double *gradient)
{
    if (!(rho > 0))
        std::fill(gradient, gradient + N, 0.0);
}
template <int N, class V>
__attribute__((always_inline)) inline void zeroAtCentre(const LanesOf<V> &rho, LanesOf<V> *gradient)
{
    for (int lane = 0; lane < LaneCount; lane++)
        if (!(rho[lane] > 0))
            for (int i = 0; i < N; i++)
                gradient[i].set(lane, 0.0);
}

// G x. A diagonal gain scales x entry by entry: the products by its zeros
// would add nothing but the sign of a zero, which no sum over the points
// keeps, or, for an x not finite, turn a residual NaN that is NaN anyway.
template <Shape S, class T>
__attribute__((always_inline)) inline void gainTimes(const double G[3][3], const T x[3], T out[3])
{
    for (int i = 0; i < 3; i++)
        out[i] = S == Shape::Sphere || S == Shape::Diagonal
                     ? G[i][i] * x[i]
                     : G[i][0] * x[0] + G[i][1] * x[1] + G[i][2] * x[2];
}

// The distance of p to the surface |G (p - b)| = target, to first order,
// and, when gradient is given, its gradient; a template, so that the loops
// over the parameters unroll, and for one point (double) or several (Lanes). Measured in the points' own
// units, it cannot be made small by a gain that shrinks: |G (p - b)| - target alone can, by a gain towards
// zero and a bias far away, on points that cover a cap.
template <Shape S, class T>
__attribute__((always_inline)) inline T residualAs(const Parameters &t, const double G[3][3], double target,
                                                   const T p[3], T *gradient)
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
    if (gradient) {
        // r = e rho / |q|: dr = drho (rho + e) / |q| - e rho d|q| / |q|^2,
        // with drho = c^T dc / rho and d|q| = qhat^T (dG c + G dc).
        const T qhat[3] = {q[0] / qn, q[1] / qn, q[2] / qn};
        T p[3], Gp[3];
        gainTimes<S>(G, qhat, p);
        gainTimes<S>(G, p, Gp);
        const T alongRho = (rho + e) / (qn * rho), alongQ = e * rho / (qn * qn);
        for (int i = 0; i < nb; i++)
            gradient[i] = -q[i] * alongRho + Gp[i] * alongQ;
        T cd[6], qc[6], pd[6];
        gainGradient(S, c, d, cd);
        gainGradient(S, qhat, c, qc);
        gainGradient(S, p, d, pd);
        for (int k = 0; k < parameterCount(S) - nb; k++)
            gradient[nb + k] = cd[k] * alongRho - (qc[k] + pd[k]) * alongQ;
        zeroAtCentre<parameterCount(S)>(rho, gradient);
    }
    return r;
}

struct Model {
    Shape shape;
    double target; ///< the calibrated norm, in the frame's units
};

// The loss of each lane's residual r for the tuning constant c, and its
// weight psi(r) / r of iteratively reweighted least squares, chosen lane by
// lane without a branch: each lane's the same as one residual's alone.
template <class V> struct WeighedLanes {
    LanesOf<V> loss, weight;
};

template <class V>
__attribute__((always_inline)) inline WeighedLanes<V> weigh(Loss loss, const LanesOf<V> &r, double c)
{
    typedef long long Mask __attribute__((vector_size(sizeof(V))));
    WeighedLanes<V> e;
    for (int k = 0; k < LaneCount / LanesOf<V>::width; k++) {
        const V x = r.parts[k], cs = LanesOf<V>::filled(c);
        const V a = V(Mask(x) & ~Mask(LanesOf<V>::filled(-0.0)));
        if (loss == Loss::Huber) {
            const Mask inside = a <= cs;
            e.loss.parts[k] = V((Mask(0.5 * x * x) & inside) | (Mask(cs * a - 0.5 * cs * cs) & ~inside));
            e.weight.parts[k] = V((Mask(LanesOf<V>::filled(1.0)) & inside) | (Mask(cs / a) & ~inside));
            continue;
        }
        const V u = 1 - (x / cs) * (x / cs);
        const Mask beyond = a >= cs;
        e.loss.parts[k] = V((Mask(cs * cs / 6) & beyond) | (Mask(cs * cs / 6 * (1 - u * u * u)) & ~beyond));
        e.weight.parts[k] = V(Mask(u * u) & ~beyond);
    }
    return e;
}

double tuning(Loss loss, double sigma)
{
    return (loss == Loss::Huber ? HuberK : TukeyC) * sigma;
}

// The robust cost and the normal equations J^T W J, J^T W r at t, in one
// pass; the cost at the scale of the normal equations too, where the cost
// is asked at another.
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

// What a pass is asked beside its kind: the loss and the robust scales, the
// points first to end - 1 that it takes, every stride-th, and where the
// rejected points (Pass::NormalAndRejected) and the magnitudes, when asked
// for, go.
struct Request {
    Loss loss;
    double sigma, costSigma;
    int first, end, stride;
    std::vector<int> *rejected;
    std::vector<double> *magnitudes;
};

// Adds the terms of row i of J^T W J and J^T W r, for the points of
// gradients and residual terms[l] and weight weights[l] in their order: the
// row's sums stay in registers over the points, each summed in their order.
template <int N, int I>
__attribute__((always_inline)) inline void addRow(const double (*terms)[N + 1], const double *weights,
                                                  int count, double *H, double *g)
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
__attribute__((always_inline)) inline void addRows(const double (*terms)[N + 1], const double *weights,
                                                   int count, double *H, double *g,
                                                   std::integer_sequence<int, I...>)
{
    (addRow<N, I>(terms, weights, count, H, g), ...);
}

// The sums over the points asked for; for Pass::NormalAndRejected, also the
// points beyond Tukey's limit among all that the caller counts, left or not,
// added to rejected in their order. The cost is that of the robust scale
// costSigma, the normal equations and the rejected points those of sigma.
template <Shape S, Pass P, class V>
__attribute__((always_inline)) inline Normal evaluateAs(const Sample &s, const Model &m, const Parameters &t,
                                                        const Request &ask)
{
    using Lanes = LanesOf<V>;
    constexpr int np = parameterCount(S);
    constexpr bool judging = P == Pass::NormalAndRejected, listingOnly = P == Pass::Magnitudes,
                   normal = P == Pass::Normal || judging;
    const Loss loss = ask.loss;
    const double c = tuning(loss, ask.sigma), costC = tuning(loss, ask.costSigma);
    double G[3][3];
    gainMatrix(S, t.v.data() + biasCount(S), G);
    // Local sums, which the compiler keeps out of memory better than a
    // struct's: the upper triangle of J^T W J row by row, and J^T W r.
    double cost = 0.0, ownCost = 0.0, H[np * (np + 1) / 2] = {}, g[np] = {};
    // LaneCount points at a time through the residual, then added to the
    // sums one after the other, in their order.
    int batch[LaneCount], counts[LaneCount], batched = 0;
    const auto flush = [&]() __attribute__((always_inline))
    {
        double q[LaneCount][3];
        for (int lane = 0; lane < LaneCount; lane++)
            s.map(batch[std::min(lane, batched - 1)], q[lane]);
        Lanes p[3];
        for (int i = 0; i < 3; i++)
            p[i] = Lanes(q, i);
        Lanes J[np];
        const Lanes r = residualAs<S, Lanes>(t, G, m.target, p, normal ? J : nullptr);
        if (ask.magnitudes)
            for (int lane = 0; lane < batched; lane++)
                for (int copy = 0; copy < counts[lane]; copy++)
                    ask.magnitudes->push_back(std::abs(r[lane]));
        if (listingOnly) {
            batched = 0;
            return;
        }
        const WeighedLanes<V> e = weigh(loss, r, c), costE = costC == c ? e : weigh(loss, r, costC);
        // The gradient and residual of each point that weighs, and its weight.
        double terms[LaneCount][np + 1], weights[LaneCount];
        int weighing = 0;
        for (int lane = 0; lane < batched; lane++) {
            const int k = batch[lane], w = counts[lane];
            const double rl = r[lane];
            if (judging && s.countGiven(k) > 0 && !(std::abs(rl) < c))
                ask.rejected->push_back(k);
            if (w == 0)
                continue;
            cost += w * (costC == c ? e.loss : costE.loss)[lane];
            ownCost += w * e.loss[lane];
            if (!normal || e.weight[lane] == 0)
                continue;
            weights[weighing] = w * e.weight[lane];
            for (int i = 0; i < np; i++)
                terms[weighing][i] = J[i][lane];
            terms[weighing][np] = rl;
            weighing++;
        }
        if (normal)
            addRows<np>(terms, weights, weighing, H, g, std::make_integer_sequence<int, np>());
        batched = 0;
    };
    // One place that flushes, the last batch's too: the code of a flush is
    // long, and one copy of it stays in the processor's caches.
    for (int k = ask.first; k < ask.end;) {
        for (; k < ask.end && batched < LaneCount; k += ask.stride) {
            const int w = s.count(k);
            if (w == 0 && !(judging && s.countGiven(k) > 0))
                continue;
            batch[batched] = k;
            counts[batched++] = w;
        }
        if (batched > 0)
            flush();
    }
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

// The pass in pairs, which every x86-64 processor has, and, where the
// processor has them, in vectors of four: the same operations on each lane,
// in fewer instructions.
typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));

template <Shape S, Pass P>
Normal evaluateInPairs(const Sample &s, const Model &m, const Parameters &t, const Request &ask)
{
    return evaluateAs<S, P, Pair>(s, m, t, ask);
}

template <Shape S, Pass P>
__attribute__((target("avx2"))) Normal evaluateInQuads(const Sample &s, const Model &m, const Parameters &t,
                                                       const Request &ask)
{
    return evaluateAs<S, P, Quad>(s, m, t, ask);
}

Normal evaluateRange(const Sample &s, const Model &m, const Parameters &t, Pass pass, const Request &ask)
{
    static const bool quads = __builtin_cpu_supports("avx2");
    return withShape(m.shape, [&](auto S) {
        const auto as = [&](auto P) {
            return quads ? evaluateInQuads<S.value, P.value>(s, m, t, ask)
                         : evaluateInPairs<S.value, P.value>(s, m, t, ask);
        };
        switch (pass) {
        case Pass::CostOnly:
            return as(std::integral_constant<Pass, Pass::CostOnly>());
        case Pass::NormalAndRejected:
            return as(std::integral_constant<Pass, Pass::NormalAndRejected>());
        case Pass::Magnitudes:
            return as(std::integral_constant<Pass, Pass::Magnitudes>());
        case Pass::Normal:
            break;
        }
        return as(std::integral_constant<Pass, Pass::Normal>());
    });
}

bool cancelled(const Sample &s)
{
    return s.control && s.control->cancelled();
}

// A pass over many points shares its work with a second thread when the
// run's budget has one; without one it sums the same halves in turn, so
// that the budget does not move the result in its last bits. rejected: for
// Pass::NormalAndRejected. The cost is that of the robust scale costSigma
// when given, of sigma otherwise. magnitudes, when given, gets the
// magnitudes of the residuals.
Normal evaluate(const Sample &s, const Model &m, const Parameters &t, Loss loss, double sigma,
                Pass pass = Pass::Normal, std::vector<int> *rejected = nullptr,
                std::optional<double> costSigma = std::nullopt, std::vector<double> *magnitudes = nullptr)
{
    constexpr int threadedFrom = 100000;
    const int n = s.points.size();
    const Request all{loss, sigma, costSigma.value_or(sigma), 0, n, s.stride, rejected, magnitudes};
    if (n / s.stride < threadedFrom)
        return evaluateRange(s, m, t, pass, all);
    const int middle = n / 2 - (n / 2) % s.stride;
    Normal halves[2];
    std::vector<int> secondRejected;
    std::vector<double> secondMagnitudes;
    const auto sumHalf = [&](int half, int) {
        Request part = all;
        part.first = half == 0 ? 0 : middle;
        part.end = half == 0 ? middle : n;
        if (half == 1) {
            part.rejected = rejected ? &secondRejected : nullptr;
            part.magnitudes = magnitudes ? &secondMagnitudes : nullptr;
        }
        halves[half] = evaluateRange(s, m, t, pass, part);
    };
    if (s.control && s.control->threads() > 1) {
        s.control->inParallel(2, sumHalf);
    } else {
        sumHalf(0, 1);
        sumHalf(1, 1);
    }
    if (rejected)
        rejected->insert(rejected->end(), secondRejected.begin(), secondRejected.end());
    if (magnitudes)
        magnitudes->insert(magnitudes->end(), secondMagnitudes.begin(), secondMagnitudes.end());
    Normal &n1 = halves[0];
    const Normal &second = halves[1];
    n1.cost += second.cost;
    n1.ownCost += second.ownCost;
    for (int i = 0; i < MaxParameters; i++) {
        n1.g[i] += second.g[i];
        for (int j = 0; j < MaxParameters; j++)
            n1.H[i][j] += second.H[i][j];
    }
    return n1;
}

// The Cholesky factor L of a normal matrix J^T W J; false when a pivot
// falls below least (SingularPivot unless given) times the largest diagonal entry: some
// combination of the parameters moves no residual, and the data leave it
// free.
using Factor = double[MaxParameters][MaxParameters];

bool factorNormal(const Normal &n, int np, Factor L, double least = SingularPivot)
{
    double largest = 0.0;
    for (int i = 0; i < np; i++)
        largest = std::max(largest, n.H[i][i]);
    for (int i = 0; i < np; i++)
        for (int j = 0; j <= i; j++) {
            double sum = n.H[j][i];
            for (int k = 0; k < j; k++)
                sum -= L[i][k] * L[j][k];
            if (i != j) {
                L[i][j] = sum / L[j][j];
                continue;
            }
            if (!(sum > least * largest))
                return false;
            L[i][i] = std::sqrt(sum);
        }
    return true;
}

// Solves L L^T x = -g.
void solveFactored(const Factor L, int np, const double *g, double *x)
{
    double y[MaxParameters];
    for (int i = 0; i < np; i++) {
        double sum = -g[i];
        for (int k = 0; k < i; k++)
            sum -= L[i][k] * y[k];
        y[i] = sum / L[i][i];
    }
    for (int i = np - 1; i >= 0; i--) {
        double sum = y[i];
        for (int k = i + 1; k < np; k++)
            sum -= L[k][i] * x[k];
        x[i] = sum / L[i][i];
    }
}

// Solves (H + lambda diag H) x = -g by Cholesky; false when the damped
// matrix is not positive definite.
bool dampedStep(const Normal &n, int np, double lambda, double *x)
{
    Normal damped = n;
    for (int i = 0; i < np; i++)
        damped.H[i][i] += lambda * n.H[i][i];
    Factor L = {};
    if (!factorNormal(damped, np, L, 0.0))
        return false;
    solveFactored(L, np, n.g, x);
    return true;
}

// Levenberg-Marquardt on the robust cost for a fixed sigma, one pass over
// the sample per step tried; returns the steps tried, and the magnitudes of
// the residuals at the t it leaves, in the order of the points.
int minimise(const Sample &s, const Model &m, Parameters &t, Loss loss, double sigma, int mostSteps,
             std::vector<double> &magnitudes)
{
    const int np = parameterCount(m.shape);
    magnitudes.clear();
    Normal current = evaluate(s, m, t, loss, sigma, Pass::Normal, nullptr, std::nullopt, &magnitudes);
    std::vector<double> tried;
    double lambda = 1e-3;
    int iteration = 0;
    for (; iteration < mostSteps && lambda < 1e12 && !cancelled(s); iteration++) {
        double x[MaxParameters];
        if (!dampedStep(current, np, lambda, x)) {
            lambda *= 10;
            continue;
        }
        Parameters trial = t;
        double step = 0.0, size = 0.0;
        for (int i = 0; i < np; i++) {
            trial.v[i] += x[i];
            step += x[i] * x[i];
            size += t.v[i] * t.v[i];
        }
        // The last step tried ends the pass whether it is taken or not:
        // its normal equations would go unused.
        const bool last = iteration + 1 == mostSteps;
        tried.clear();
        const Normal next = evaluate(s, m, trial, loss, sigma, last ? Pass::CostOnly : Pass::Normal, nullptr,
                                     std::nullopt, &tried);
        if (!(next.cost <= current.cost)) {
            lambda *= 10;
            continue;
        }
        const bool settled = current.cost - next.cost <= 1e-12 * current.cost || step <= 1e-20 * (1 + size);
        t = trial;
        current = next;
        magnitudes.swap(tried);
        lambda = std::max(lambda / 10, 1e-12);
        if (settled)
            break;
    }
    return iteration + 1;
}

// 1.4826 times the median |r|: the standard deviation of Gaussian residuals,
// which a few gross ones barely move. An even subsample of about 20000
// points pins it to about 1 %, every sigmaStride-th of the sample's. It
// never falls to zero, so that points on the model to the last digits keep
// their weight.
int sigmaStride(const Sample &s)
{
    return evenSampleStride(s.points.size(), s.stride);
}

// The robust scale of the magnitudes |r| of those points' residuals.
double scaleOf(const Model &m, std::vector<double> &magnitudes)
{
    if (magnitudes.empty())
        return 0.0;
    std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2, magnitudes.end());
    return std::max(1.4826 * magnitudes[magnitudes.size() / 2], 1e-9 * m.target);
}

// The magnitudes |r| at t of the points robustSigma takes.
std::vector<double> magnitudesForSigma(const Sample &s, const Model &m, const Parameters &t)
{
    std::vector<double> magnitudes;
    evaluateRange(s, m, t, Pass::Magnitudes,
                  {Loss::Tukey, 0.0, 0.0, 0, s.points.size(), sigmaStride(s), nullptr, &magnitudes});
    return magnitudes;
}

double robustSigma(const Sample &s, const Model &m, const Parameters &t)
{
    std::vector<double> magnitudes = magnitudesForSigma(s, m, t);
    return scaleOf(m, magnitudes);
}

// Huber's loss first, which is convex and forgives a rough start, then
// Tukey's, which gives gross outliers no weight; sigma follows the fit.
// Points that leave a direction undetermined, as a sphere's centre along the
// axis of a flat turn, would have the steps crawl along it: each loss has a
// budget of passes.
double refine(const Sample &s, const Model &m, Parameters &t)
{
    constexpr int passes = 150;
    double sigma = robustSigma(s, m, t);
    std::vector<double> magnitudes;
    for (const Loss loss : {Loss::Huber, Loss::Tukey}) {
        for (int left = passes; left > 0;) {
            left -= minimise(s, m, t, loss, sigma, std::min(left, 50), magnitudes);
            // A pass over the sample at t listed the magnitudes that
            // robustSigma would, where it takes the same points.
            const double next = sigmaStride(s) == s.stride ? scaleOf(m, magnitudes) : robustSigma(s, m, t);
            const bool settled = std::abs(next - sigma) <= 1e-5 * sigma;
            sigma = next;
            if (settled || cancelled(s))
                break;
        }
    }
    return sigma;
}

bool allFinite(const Parameters &t)
{
    return std::all_of(t.v.begin(), t.v.end(), [](double x) { return std::isfinite(x); });
}

// The frame of a fit: centred on the mean, scaled to unit RMS radius, and
// for a plane turned so that its normal is the third axis.
Sample frameOf(Points points, const int *weights, Shape shape, const PointSpread &spread,
               const double normal[3], const WorkControl &control)
{
    Sample s{points, weights, {spread.mean[0], spread.mean[1], spread.mean[2]}, {}, 1, &control};
    const double scale = spread.radius > 0 ? 1.0 / spread.radius : 1.0;
    if (shape != Shape::Plane) {
        for (int i = 0; i < 3; i++)
            s.L[i][i] = scale;
        return s;
    }
    double e1[3], e2[3];
    PlaneBasis(normal, e1, e2);
    s.turned = true;
    for (int j = 0; j < 3; j++) {
        s.L[0][j] = scale * e1[j];
        s.L[1][j] = scale * e2[j];
    }
    return s;
}

// The least-squares sphere (or circle, for a plane) |p - b|^2 = R^2 of the
// sample: linear in b and R^2 - |b|^2. Its gain makes the radius the target.
std::optional<Parameters> sphereStart(const Sample &s, const Model &m)
{
    const int nb = biasCount(m.shape), unknowns = nb + 1;
    MatDoub normal(unknowns, unknowns, 0.0), rhs(unknowns, 1, 0.0);
    for (int k = 0; k < s.points.size(); k += s.stride) {
        double p[3];
        s.map(k, p);
        double row[4];
        for (int i = 0; i < nb; i++)
            row[i] = 2 * p[i];
        row[nb] = 1.0;
        const double y = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
        for (int i = 0; i < unknowns; i++) {
            rhs[i][0] += s.count(k) * row[i] * y;
            for (int j = 0; j < unknowns; j++)
                normal[i][j] += s.count(k) * row[i] * row[j];
        }
    }
    try {
        const NrErrorSink silenced(nullptr);
        gaussj(normal, rhs);
    } catch (int) {
        return std::nullopt;
    }
    Parameters t;
    double r2 = rhs[nb][0];
    for (int i = 0; i < nb; i++) {
        t.v[size_t(i)] = rhs[i][0];
        r2 += rhs[i][0] * rhs[i][0];
    }
    if (!(r2 > 0))
        return std::nullopt;
    const double gain = m.target / std::sqrt(r2);
    const double G[3][3] = {{gain, 0, 0}, {0, gain, 0}, {0, 0, gain}};
    gainsOf(m.shape, G, t.v.data() + nb);
    return t;
}

// A calibration in the frame p = (h - o) / radius: the bias moves and
// scales; the gain relates norms, and both sides scale alike.
Parameters inFrame(const Sample &s, const Model &m, const CalibrationParameters &p)
{
    Parameters t;
    const double scale = s.L[0][0];
    for (int i = 0; i < 3; i++)
        t.v[size_t(i)] = (p.Bias[i][0] - s.o[i]) * scale;
    double G[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            G[i][j] = p.Ainv[i][j];
    gainsOf(m.shape, G, t.v.data() + 3);
    return t;
}

// The algebraic fit of an even sample, taken into the frame, when it is an
// ellipsoid: its M is definite.
std::optional<Parameters> algebraicStart(const Sample &s, const Model &m, double Hm)
{
    const int rows = (s.points.size() + s.stride - 1) / s.stride;
    MatDoub table(rows, 3);
    std::vector<int> counts(static_cast<size_t>(rows));
    for (int k = 0, row = 0; k < s.points.size(); k += s.stride, row++) {
        std::copy(s.points[k], s.points[k] + 3, table[row]);
        counts[size_t(row)] = s.count(k);
    }
    const NrErrorSink silenced(nullptr);
    const std::optional<EllipsoidFit> fit = FitEllipsoid(table, counts.data());
    if (!fit)
        return std::nullopt;
    const double M[3][3] = {{fit->M[0][0], fit->M[0][1], fit->M[0][2]},
                            {fit->M[1][0], fit->M[1][1], fit->M[1][2]},
                            {fit->M[2][0], fit->M[2][1], fit->M[2][2]}};
    if (definiteness(M, 3) == 0)
        return std::nullopt;
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, Hm);
    if (!p)
        return std::nullopt;
    return inFrame(s, m, *p);
}

// The gain is determined up to its sign: |G d| = |-G d|. The fit keeps a
// positive definite one, or fails.
bool makePositiveDefinite(Shape shape, Parameters &t)
{
    double G[3][3];
    const int nb = biasCount(shape);
    gainMatrix(shape, t.v.data() + nb, G);
    const int sign = definiteness(G, shape == Shape::Plane ? 2 : 3);
    if (sign == 0)
        return false;
    for (int k = nb; k < parameterCount(shape); k++)
        t.v[size_t(k)] *= sign;
    return true;
}

struct Solution {
    Parameters t;
    double sigma = std::numeric_limits<double>::infinity();
};

// A solution, the normal equations J^T W J, J^T W r of Tukey's loss at it,
// and the 0-based indices of the points of weight zero there among all the
// caller counts, the gross points included, in their order.
struct Judged {
    Solution fit;
    Normal normal;
    std::vector<int> rejected;
};

Judged judge(const Sample &s, const Model &m, const Solution &fit)
{
    Judged j{fit, {}, {}};
    j.normal = evaluate(s, m, fit.t, Loss::Tukey, fit.sigma, Pass::NormalAndRejected, &j.rejected);
    return j;
}

// How far the next polishing step may still move the fit, in standard
// errors of its parameters, for the fit to count as converged on every
// point. The errors shrink as one over the root of the number of points,
// while a fit converged on an even sample lies about the root of the
// points' share in it from the fit of all of them: one step does not always
// close that gap. Lengthened to the loss's curvature, the step foresees
// where the fit converges, so that a short one need not be taken.
constexpr double PolishedShare = 0.1;
constexpr int MostPolishingSteps = 20;

// The squared length of the step x in standard errors of the fit: x^T H x
// over sigma^2, as the covariance sigma^2 H^-1 measures it; H holds its
// upper triangle.
double squaredStandardErrors(const Normal &n, int np, const double *x, double sigma)
{
    double sum = 0.0;
    for (int i = 0; i < np; i++) {
        sum += n.H[i][i] * x[i] * x[i];
        for (int j = i + 1; j < np; j++)
            sum += 2 * n.H[i][j] * x[i] * x[j];
    }
    return sum / (sigma * sigma);
}

// How much longer than the step of J^T W J the step to the minimum of
// Tukey's loss is. Its curvature in a residual, psi' = (1 - u^2)(1 - 5 u^2)
// with u = r / c, is less than the weight (1 - u^2)^2, so that the weighted
// steps stop short by the share 1 - sum psi' / sum w of the way: about a
// sixth for Gaussian residuals, hence steps that shrink sixfold. Residuals
// crowded near the limit, where psi' turns negative, would have a step of
// that ratio overshoot: it is at most doubled.
double stepLengthening(const std::vector<double> &magnitudes, double sigma)
{
    const double c = tuning(Loss::Tukey, sigma);
    double curvature = 0.0, weight = 0.0;
    for (const double r : magnitudes) {
        const double u2 = SQR(r / c);
        if (u2 >= 1)
            continue;
        curvature += (1 - u2) * (1 - 5 * u2);
        weight += SQR(1 - u2);
    }
    return curvature > 0.5 * weight ? weight / curvature : weight > 0 ? 2.0 : 1.0;
}

// A fit converged on an even sample of the points, polished on all of them
// by steps of Tukey's loss: Levenberg-Marquardt's steps lengthened to the
// loss's curvature, each kept when it lowers the cost at the robust scale
// it was taken at, until the next would move the fit by less than
// PolishedShare of its standard errors. A lengthened step that does not
// lower the cost is tried again unlengthened. The pass at the start judges
// it, and each pass that tries a step judges the step at the robust scale
// there as it sums the cost: whichever the last step leaves is judged
// without another pass over the points.
std::optional<Judged> polish(const Sample &all, const Model &m, const Parameters &start)
{
    const int np = parameterCount(m.shape);
    std::vector<double> magnitudes = magnitudesForSigma(all, m, start);
    const double sigma = scaleOf(m, magnitudes);
    double lengthening = stepLengthening(magnitudes, sigma);
    Judged kept = judge(all, m, {start, sigma});
    for (int step = 0; step < MostPolishingSteps && !cancelled(all); step++) {
        double x[MaxParameters];
        if (!dampedStep(kept.normal, np, 1e-3, x))
            break;
        for (int i = 0; i < np; i++)
            x[i] *= lengthening;
        if (squaredStandardErrors(kept.normal, np, x, kept.fit.sigma) <= SQR(PolishedShare))
            break;
        Judged trial{{kept.fit.t}, {}, {}};
        for (int i = 0; i < np; i++)
            trial.fit.t.v[size_t(i)] += x[i];
        trial.fit.sigma = robustSigma(all, m, trial.fit.t);
        // Its cost is that of the scale the step was taken at, which
        // decides: the scale moves with the fit.
        trial.normal = evaluate(all, m, trial.fit.t, Loss::Tukey, trial.fit.sigma, Pass::NormalAndRejected,
                                &trial.rejected, kept.fit.sigma);
        if (!(trial.normal.cost <= kept.normal.ownCost)) {
            if (lengthening == 1.0)
                break;
            lengthening = 1.0;
            continue;
        }
        kept = std::move(trial);
    }
    const Parameters asFound = kept.fit.t;
    if (!allFinite(kept.fit.t) || !makePositiveDefinite(m.shape, kept.fit.t))
        return std::nullopt;
    // A gain of the other sign moves no residual but turns the gradient.
    if (kept.fit.t.v != asFound.v)
        return judge(all, m, kept.fit);
    return kept;
}

// From the start given, or from the algebraic fit (but for a plane) and
// from a sphere, converged on an even sample of a large set: the solution of
// least robust scale, on the sample. Empty when none converges.
std::optional<Solution> convergedStart(const Sample &all, const Model &m, double Hm,
                                       const CalibrationParameters *start)
{
    Sample sample = all;
    sample.stride = subsampleStride(all.points.size());
    std::vector<std::optional<Parameters>> starts;
    if (start) {
        starts.push_back(inFrame(sample, m, *start));
    } else {
        if (m.shape != Shape::Plane)
            starts.push_back(algebraicStart(sample, m, Hm));
        starts.push_back(sphereStart(sample, m));
    }
    // The starts converge apart, each on its own thread when the budget
    // has one; the best is then taken in their order.
    std::vector<std::optional<Solution>> refined(starts.size());
    const auto refineStarts = [&](int worker, int workers) {
        for (size_t k = size_t(worker); k < starts.size(); k += size_t(workers))
            if (starts[k]) {
                Solution s{*starts[k]};
                s.sigma = refine(sample, m, s.t);
                refined[k] = s;
            }
    };
    if (sample.control)
        sample.control->inParallel(int(starts.size()), refineStarts);
    else
        refineStarts(0, 1);
    std::optional<Solution> best;
    for (std::optional<Solution> &s : refined)
        if (s && allFinite(s->t) && std::isfinite(s->sigma) && makePositiveDefinite(m.shape, s->t) &&
            (!best || s->sigma < best->sigma))
            best = s;
    return best;
}

// The solution of the converged starts, or of sampled when they converged
// ahead: polished on every point when they converged on a sample of them,
// and judged there.
std::optional<Judged> solve(const Sample &all, const Model &m, double Hm, const CalibrationParameters *start,
                            const SampledStart *sampled)
{
    if (sampled) {
        if (!sampled->converged)
            return std::nullopt;
        Parameters t;
        std::copy(std::begin(sampled->parameters), std::end(sampled->parameters), t.v.begin());
        return polish(all, m, t);
    }
    const std::optional<Solution> best = convergedStart(all, m, Hm, start);
    if (!best)
        return std::nullopt;
    if (subsampleStride(all.points.size()) > 1)
        return polish(all, m, best->t);
    return judge(all, m, *best);
}

// unit (J^T W J)^-1 restricted to the bias, from the factor L: L^-T L^-1,
// whose bias block sums products of the first three columns of L^-1.
void biasBlock(const Factor L, int np, double unit, double out[3][3])
{
    double inv[MaxParameters][3] = {};
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < np; i++) {
            double sum = i == j ? 1.0 : 0.0;
            for (int k = 0; k < i; k++)
                sum -= L[i][k] * inv[k][j];
            inv[i][j] = sum / L[i][i];
        }
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            double sum = 0.0;
            for (int i = 0; i < np; i++)
                sum += inv[i][a] * inv[i][b];
            out[a][b] = unit * sum;
        }
}

// How many distinct points there are, counting up to enough only.
int distinctPoints(Points points, const int *weights, int enough)
{
    std::vector<const double *> distinct;
    for (int k = 0; k < points.size() && int(distinct.size()) < enough; k++) {
        if (weights && weights[k] == 0)
            continue;
        const double *h = points[k];
        if (std::none_of(distinct.begin(), distinct.end(),
                         [&](const double *d) { return d[0] == h[0] && d[1] == h[1] && d[2] == h[2]; }))
            distinct.push_back(h);
    }
    return int(distinct.size());
}

MatDoub inverse3(const double G[3][3])
{
    const double det = determinant(G);
    MatDoub inv(3, 3);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
            inv[i][j] = (G[a][c] * G[b][d] - G[a][d] * G[b][c]) / det;
        }
    return inv;
}

// b and A of a fit in three dimensions: the gain is A^-1 in any frame that
// only moves and scales, since both sides of |G d| = Hm scale alike.
CalibrationParameters spaceParameters(const double origin[3], double scale, Shape shape, const Solution &fit)
{
    double G[3][3];
    gainMatrix(shape, fit.t.v.data() + 3, G);
    CalibrationParameters p;
    p.Bias = MatDoub(3, 1);
    for (int i = 0; i < 3; i++)
        p.Bias[i][0] = origin[i] + fit.t.v[size_t(i)] / scale;
    p.Ainv = MatDoub(3, 3);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            p.Ainv[i][j] = G[i][j];
    p.A = inverse3(G);
    return p;
}

// b and A of a plane: in it, the ellipse's gain scaled to determinant one,
// so that the circle keeps the ellipse's area; along the normal, bias 0 and
// scale 1, the reading as it is.
CalibrationParameters planeParameters(const Sample &s, const Solution &fit, const double n[3])
{
    double G2[3][3];
    gainMatrix(Shape::Plane, fit.t.v.data() + 2, G2);
    const double root = std::sqrt(G2[0][0] * G2[1][1] - G2[0][1] * G2[1][0]);
    // The rows of L are e1 / radius and e2 / radius.
    const double radius =
        1.0 / std::sqrt(s.L[0][0] * s.L[0][0] + s.L[0][1] * s.L[0][1] + s.L[0][2] * s.L[0][2]);
    double e[2][3];
    for (int r = 0; r < 2; r++)
        for (int j = 0; j < 3; j++)
            e[r][j] = s.L[r][j] * radius;
    double centre[3];
    for (int j = 0; j < 3; j++)
        centre[j] = s.o[j] + radius * (fit.t.v[0] * e[0][j] + fit.t.v[1] * e[1][j]);
    const double along = centre[0] * n[0] + centre[1] * n[1] + centre[2] * n[2];
    // In the plane's basis, A2 = G2^-1 root and A2^-1 = G2 / root.
    const double A2[2][2] = {{G2[1][1] / root, -G2[0][1] / root}, {-G2[1][0] / root, G2[0][0] / root}};
    CalibrationParameters p;
    p.Bias = MatDoub(3, 1);
    p.A = MatDoub(3, 3);
    p.Ainv = MatDoub(3, 3);
    for (int i = 0; i < 3; i++) {
        p.Bias[i][0] = centre[i] - along * n[i];
        for (int j = 0; j < 3; j++) {
            double a = n[i] * n[j], ainv = n[i] * n[j];
            for (int r = 0; r < 2; r++)
                for (int c = 0; c < 2; c++) {
                    a += e[r][i] * A2[r][c] * e[c][j];
                    ainv += e[r][i] * G2[r][c] / root * e[c][j];
                }
            p.A[i][j] = a;
            p.Ainv[i][j] = ainv;
        }
    }
    return p;
}

// The frame of a fit, with the gross points left out: least-squares
// starts, which one gross point can pull anywhere, and even Huber's loss,
// whose gradient in the gains grows with the point's distance, leave them
// out; the rejected points are still judged among all that given counts,
// the readings a rest's thinning (counted) leaves out too.
Sample fittedFrame(Points points, const int *counted, const int *given, Shape shape,
                   const PointSpread &spread, const double normal[3], const std::vector<bool> &gross,
                   const WorkControl &control)
{
    Sample s = frameOf(points, counted, shape, spread, normal, control);
    s.left = &gross;
    s.thinned = counted != given;
    s.given = given;
    return s;
}

Shape shapeOf(FitModel model)
{
    return model == FitModel::Sphere     ? Shape::Sphere
           : model == FitModel::Diagonal ? Shape::Diagonal
                                         : Shape::Full;
}

// The frame and the model of a Full, Diagonal or Sphere fit.
std::pair<Sample, Model> spaceFrame(Points points, double Hm, FitModel model, const int *weights,
                                    const SpreadBesideGross &known, const WorkControl &control)
{
    const Shape shape = shapeOf(model);
    const Sample s = fittedFrame(points, known.counted(weights), weights, shape, known.spread, nullptr,
                                 known.gross, control);
    return {s, Model{shape, Hm * s.L[0][0]}};
}

std::optional<RobustFit> fitSpace(Points points, double Hm, FitModel model, const int *weights,
                                  const CalibrationParameters *start, const SpreadBesideGross &known,
                                  const WorkControl &control, const SampledStart *sampled)
{
    const Shape shape = shapeOf(model);
    const auto [s, m] = spaceFrame(points, Hm, model, weights, known, control);
    std::optional<Judged> judged = solve(s, m, Hm, start, sampled);
    Factor L = {};
    if (!judged || !factorNormal(judged->normal, parameterCount(shape), L))
        return std::nullopt;
    const Solution *fit = &judged->fit;
    RobustFit r;
    r.rejected = std::move(judged->rejected);
    r.model = model;
    r.parameters = spaceParameters(s.o, s.L[0][0], shape, *fit);
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
        std::optional<Judged> judged = solve(s, m, 1.0, nullptr, nullptr);
        if (!judged)
            return r;
        const Solution *fit = &judged->fit;
        Factor L = {};
        r = RobustFit();
        r->rejected = std::move(judged->rejected);
        if (!factorNormal(judged->normal, parameterCount(Shape::Plane), L))
            return std::nullopt;
        r->model = FitModel::Planar;
        r->parameters = planeParameters(s, *fit, n->data());
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

const char *undeterminedName(Undetermined why)
{
    const char *names[] = {"", "few-points", "line", "plane", "singular", "reading", "scale"};
    return names[int(why)];
}

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
    r.parameters = spaceParameters(origin, scale, shape, moved);
    r.scale = sigma / scale;
    r.calibratedNorm = Hm;
    biasBlock(L, np, SQR(sigma / scale), r.biasCovariance);
    return r;
}

namespace {

// Why points of that spread, their gross ones left out, determine no fit of
// model; Undetermined::No when they may.
Undetermined undeterminedBySpread(FitModel model, const PointSpread &spread)
{
    const std::optional<std::array<double, 3>> normal = LeastDirection(spread.covariance);
    if (!(spread.radius > 0) || !normal)
        return Undetermined::Singular;
    // The covariance is in units of the RMS radius, its trace one: the sum
    // of its principal 2x2 minors is about the second variance share, n^T C
    // n the third.
    const double(&C)[3][3] = spread.covariance;
    const double minors = C[0][0] * C[1][1] - C[0][1] * C[1][0] + C[0][0] * C[2][2] - C[0][2] * C[2][0] +
                          C[1][1] * C[2][2] - C[1][2] * C[2][1];
    double across = 0.0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            across += (*normal)[size_t(i)] * C[i][j] * (*normal)[size_t(j)];
    const double least = MinSpreadShare * MinSpreadShare;
    if (!(minors > least))
        return Undetermined::Line;
    if (model != FitModel::Planar && !(across > least))
        return Undetermined::Plane;
    return Undetermined::No;
}

} // namespace

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

std::optional<RobustFit> FitRobust(Points points, double Hm, FitModel model, const int *weights,
                                   const CalibrationParameters *start, Undetermined *why,
                                   const WorkControl &control, const SpreadBesideGross *known,
                                   const SampledStart *sampled)
{
    const auto refuse = [&](Undetermined reason) {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (why)
        *why = Undetermined::No;
    if (distinctPoints(points, weights, MinimumPoints) < MinimumPoints)
        return refuse(Undetermined::FewPoints);
    std::optional<SpreadBesideGross> found;
    if (!known)
        known = &found.emplace(SpreadWithoutGross(points, weights));
    if (const Undetermined reason = undeterminedBySpread(model, known->spread); reason != Undetermined::No)
        return refuse(reason);
    // A start converged ahead serves the fit it was converged for alone:
    // of a set large enough to converge on a sample.
    if (sampled && (weights || start || sampled->model != model || sampled->Hm != Hm ||
                    subsampleStride(points.size()) == 1))
        sampled = nullptr;
    std::optional<RobustFit> r = model == FitModel::Planar
                                     ? fitPlane(points, weights, *known, control)
                                     : fitSpace(points, Hm, model, weights, start, *known, control, sampled);
    if (control.cancelled())
        return std::nullopt;
    if (!r || !r->parameters.finite())
        return refuse(Undetermined::Singular);
    return r;
}

} // namespace tavrin
