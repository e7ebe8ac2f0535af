// Where the robust fit works: the frame centred on the points' mean and
// scaled to unit RMS radius, turned for a plane; b and A from the fit's
// parameters there; and the checks that the points determine a fit.
#include "robustframe.h"

#include <algorithm>
#include <cmath>

namespace tavrin {
namespace robust {

namespace {

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

} // namespace

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

std::pair<Sample, Model> spaceFrame(Points points, double Hm, FitModel model, const int *weights,
                                    const SpreadBesideGross &known, const WorkControl &control)
{
    const Shape shape = shapeOf(model);
    const Sample s = fittedFrame(points, known.counted(weights), weights, shape, known.spread, nullptr,
                                 known.gross, control);
    return {s, Model{shape, Hm * s.L[0][0]}};
}

CalibrationParameters spaceParameters(const double origin[3], double scale, Shape shape, const Parameters &t)
{
    double G[3][3];
    gainMatrix(shape, t.v.data() + 3, G);
    CalibrationParameters p;
    p.Bias = MatDoub(3, 1);
    for (int i = 0; i < 3; i++)
        p.Bias[i][0] = origin[i] + t.v[size_t(i)] / scale;
    p.Ainv = MatDoub(3, 3);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            p.Ainv[i][j] = G[i][j];
    p.A = inverse3(G);
    return p;
}

CalibrationParameters planeParameters(const Sample &s, const Parameters &t, const double n[3])
{
    double G2[3][3];
    gainMatrix(Shape::Plane, t.v.data() + 2, G2);
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
        centre[j] = s.o[j] + radius * (t.v[0] * e[0][j] + t.v[1] * e[1][j]);
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
    const double least = RobustLimits::MinSpreadShare * RobustLimits::MinSpreadShare;
    if (!(minors > least))
        return Undetermined::Line;
    if (model != FitModel::Planar && !(across > least))
        return Undetermined::Plane;
    return Undetermined::No;
}

} // namespace robust
} // namespace tavrin
