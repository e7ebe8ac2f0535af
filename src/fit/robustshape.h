// The shapes of the robust fit's models: how the gain G = A^-1 is held in
// the fit's parameters, and the products with G that the residual takes.
// Internal to the robust fit.
#ifndef TAVRIN_ROBUSTSHAPE_H
#define TAVRIN_ROBUSTSHAPE_H

#include "fitmodels.h"
#include "lanes.h"

#include <array>
#include <cstring>
#include <type_traits>

namespace tavrin {
namespace robust {

// The gain as the fit varies it: all six entries of a symmetric matrix, its
// diagonal, one multiple of the identity, or the symmetric 2x2 block of a
// plane whose points have a third coordinate of zero.
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

/// The shape of a Full, Diagonal or Sphere model.
Shape shapeOf(FitModel model);

// Where the fit stands: the bias in the frame, then the gains.
struct Parameters {
    std::array<double, MaxParameters> v{};
};

// The model fitted: its shape and the calibrated norm in the frame's units.
struct Model {
    Shape shape;
    double target;
};

// Inline, so that a pass over the points keeps G where the compiler put it.
inline void gainMatrix(Shape s, const double *g, double G[3][3])
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

/// The gains of a symmetric G in the shape's order, the inverse of
/// gainMatrix where G has the shape, its projection onto the shape
/// otherwise; returns how many.
int gainsOf(Shape s, const double G[3][3], double *g);

double determinant(const double m[3][3]);

/// 1 when the leading n x n block of the symmetric m is positive definite,
/// -1 when it is negative definite, 0 otherwise.
int definiteness(const double m[3][3], int n);

/// The gain is determined up to its sign: |G d| = |-G d|. Turns t's gain
/// positive definite; false when it is neither.
bool makePositiveDefinite(Shape shape, Parameters &t);

bool allFinite(const Parameters &t);

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

// c^T (dG/dg_k) d for each gain g_k: with c = G d, the derivative of |c|
// times |c|.
template <class T> TAVRIN_INLINE void gainGradient(Shape s, const T c[3], const T d[3], T *out)
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

// G x. A diagonal gain scales x entry by entry: the products by its zeros
// would add nothing but the sign of a zero, which no sum over the points
// keeps, or, for an x not finite, turn a residual NaN that is NaN anyway.
template <Shape S, class T> TAVRIN_INLINE void gainTimes(const double G[3][3], const T x[3], T out[3])
{
    for (int i = 0; i < 3; i++)
        out[i] = S == Shape::Sphere || S == Shape::Diagonal
                     ? G[i][i] * x[i]
                     : G[i][0] * x[0] + G[i][1] * x[1] + G[i][2] * x[2];
}

} // namespace robust
} // namespace tavrin

#endif
