// The shapes of the robust fit's models: the gain matrix from the fit's
// parameters and back, and its definiteness.
#include "robustshape.h"

#include <algorithm>
#include <cmath>

namespace tavrin {
namespace robust {

Shape shapeOf(FitModel model)
{
    return model == FitModel::Sphere     ? Shape::Sphere
           : model == FitModel::Diagonal ? Shape::Diagonal
                                         : Shape::Full;
}

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

double determinant(const double m[3][3])
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The signs of the leading minors.
int definiteness(const double m[3][3], int n)
{
    const double sign = m[0][0] > 0 ? 1.0 : -1.0;
    const bool definite = sign * m[0][0] > 0 && m[0][0] * m[1][1] - m[0][1] * m[1][0] > 0 &&
                          (n == 2 || sign * determinant(m) > 0);
    return definite ? int(sign) : 0;
}

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

bool allFinite(const Parameters &t)
{
    return std::all_of(t.v.begin(), t.v.end(), [](double x) { return std::isfinite(x); });
}

} // namespace robust
} // namespace tavrin
