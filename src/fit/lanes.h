// Lanes: several doubles that go through each operation together, so that
// eight points pass through the robust fit's residual at once, their chains
// of divisions and roots overlapping. Each lane is rounded as a double alone
// would be: a point's numbers are the same to the last bit whichever lane,
// or no lane, computes them, and whatever vectors of the processor hold the
// lanes. The plain double is the scalar reference: every operation here has
// an overload for it that the lanes must match bit for bit.
#ifndef TAVRIN_LANES_H
#define TAVRIN_LANES_H

#include <cmath>

namespace tavrin {

constexpr int LaneCount = 8;

// The vectors that hold the lanes: one double, the reference; pairs, which
// every x86-64 processor has; quads, where the processor has AVX2.
typedef double Single __attribute__((vector_size(sizeof(double))));
typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));

enum class LaneWidth { Single, Pair, Quad };

/// The widest vectors this processor has.
inline LaneWidth widestLanes()
{
    static const bool quads = __builtin_cpu_supports("avx2");
    return quads ? LaneWidth::Quad : LaneWidth::Pair;
}

// Every function on lanes is inlined whatever the compiler would choose: a
// call per operation would cost more than the operation.
#define TAVRIN_INLINE __attribute__((always_inline)) inline

template <class V> struct LanesOf {
    static constexpr int width = sizeof(V) / sizeof(double);
    static constexpr int parts = LaneCount / width;
    typedef long long Mask __attribute__((vector_size(sizeof(V))));

    V part[parts];

    LanesOf() = default;
    TAVRIN_INLINE LanesOf(double x)
    {
        for (V &p : part)
            p = filled(x);
    }
    /// Lane l of x[l][i].
    TAVRIN_INLINE LanesOf(const double (*x)[3], int i)
    {
        for (int lane = 0; lane < LaneCount; lane++)
            part[lane / width][lane % width] = x[lane][i];
    }

    double operator[](int lane) const { return part[lane / width][lane % width]; }
    void set(int lane, double x) { part[lane / width][lane % width] = x; }

    // Operands of a double count as filled into every lane.
    TAVRIN_INLINE friend LanesOf operator+(LanesOf a, const LanesOf &b)
    {
        for (int k = 0; k < parts; k++)
            a.part[k] += b.part[k];
        return a;
    }
    TAVRIN_INLINE friend LanesOf operator-(LanesOf a, const LanesOf &b)
    {
        for (int k = 0; k < parts; k++)
            a.part[k] -= b.part[k];
        return a;
    }
    TAVRIN_INLINE friend LanesOf operator*(LanesOf a, const LanesOf &b)
    {
        for (int k = 0; k < parts; k++)
            a.part[k] *= b.part[k];
        return a;
    }
    TAVRIN_INLINE friend LanesOf operator/(LanesOf a, const LanesOf &b)
    {
        for (int k = 0; k < parts; k++)
            a.part[k] /= b.part[k];
        return a;
    }
    TAVRIN_INLINE friend LanesOf operator-(LanesOf a)
    {
        for (V &p : a.part)
            p = -p;
        return a;
    }

    /// x in every lane of one vector.
    TAVRIN_INLINE static V filled(double x)
    {
        V v;
        for (int lane = 0; lane < width; lane++)
            v[lane] = x;
        return v;
    }
};

// Lane by lane: how many lanes, one lane's value, one lane set.
inline int lanesIn(double)
{
    return 1;
}
inline double laneOf(double x, int)
{
    return x;
}
inline void setLane(double &x, int, double value)
{
    x = value;
}
template <class V> constexpr int lanesIn(const LanesOf<V> &)
{
    return LaneCount;
}
template <class V> TAVRIN_INLINE double laneOf(const LanesOf<V> &x, int lane)
{
    return x[lane];
}
template <class V> TAVRIN_INLINE void setLane(LanesOf<V> &x, int lane, double value)
{
    x.set(lane, value);
}

inline double root(double x)
{
    return std::sqrt(x);
}
template <class V> TAVRIN_INLINE LanesOf<V> root(const LanesOf<V> &x)
{
    LanesOf<V> y;
    for (int lane = 0; lane < LaneCount; lane++)
        y.set(lane, std::sqrt(x[lane]));
    return y;
}

inline double magnitude(double x)
{
    return std::abs(x);
}
/// The sign bit cleared, as std::abs does.
template <class V> TAVRIN_INLINE LanesOf<V> magnitude(LanesOf<V> x)
{
    using Mask = typename LanesOf<V>::Mask;
    const Mask sign = Mask(LanesOf<V>::filled(-0.0));
    for (V &p : x.part)
        p = V(Mask(p) & ~sign);
    return x;
}

// Choices lane by lane without a branch: the lanes where a <= b (or a >=
// b), then in each lane x where it holds and y where not.
struct Chosen {
    bool holds;
};
inline Chosen atMost(double a, double b)
{
    return {a <= b};
}
inline Chosen atLeast(double a, double b)
{
    return {a >= b};
}
inline double choose(Chosen where, double x, double y)
{
    return where.holds ? x : y;
}

template <class V> struct ChosenLanes {
    typename LanesOf<V>::Mask part[LanesOf<V>::parts];
};
template <class V> TAVRIN_INLINE ChosenLanes<V> atMost(const LanesOf<V> &a, double b)
{
    ChosenLanes<V> m;
    for (int k = 0; k < LanesOf<V>::parts; k++)
        m.part[k] = a.part[k] <= LanesOf<V>::filled(b);
    return m;
}
template <class V> TAVRIN_INLINE ChosenLanes<V> atLeast(const LanesOf<V> &a, double b)
{
    ChosenLanes<V> m;
    for (int k = 0; k < LanesOf<V>::parts; k++)
        m.part[k] = a.part[k] >= LanesOf<V>::filled(b);
    return m;
}
template <class V>
TAVRIN_INLINE LanesOf<V> choose(const ChosenLanes<V> &where, const LanesOf<V> &x, const LanesOf<V> &y)
{
    using Mask = typename LanesOf<V>::Mask;
    LanesOf<V> out;
    for (int k = 0; k < LanesOf<V>::parts; k++)
        out.part[k] = V((Mask(x.part[k]) & where.part[k]) | (Mask(y.part[k]) & ~where.part[k]));
    return out;
}

/// Calls f with a LanesOf<V>() of the width asked. f, a lambda marked
/// always_inline, runs inlined here, with the instructions of that width's
/// vectors: AVX2's for quads.
template <class F> auto inSingles(F f)
{
    return f(LanesOf<Single>());
}
template <class F> auto inPairs(F f)
{
    return f(LanesOf<Pair>());
}
template <class F> [[gnu::target("avx2")]] auto inQuads(F f)
{
    return f(LanesOf<Quad>());
}

template <class F> auto withLanes(LaneWidth width, F f)
{
    switch (width) {
    case LaneWidth::Single:
        return inSingles(f);
    case LaneWidth::Quad:
        return inQuads(f);
    case LaneWidth::Pair:
        break;
    }
    return inPairs(f);
}

} // namespace tavrin

#endif
