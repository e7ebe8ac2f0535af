#include "ellipsoidfit.h"

#include "eigen_unsym.h"
#include "gaussj.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavrin {

namespace {

MatDoub inverse(MatDoub m)
{
    gaussj(m);
    return m;
}

bool allFinite(const MatDoub &m)
{
    for (Int i = 0; i < m.nrows(); i++)
        for (Int j = 0; j < m.ncols(); j++)
            if (!std::isfinite(m[i][j]))
                return false;
    return true;
}

// Where the points are summed: h' = (h - origin) / scale. The identity frame
// leaves every coordinate, and so every sum, exactly as it is.
struct Frame {
    Doub origin[3] = {0.0, 0.0, 0.0};
    Doub scale = 1.0;
};

// The scatter matrix is summed over blocks of points, whose terms are taken
// first; each sum then runs down a block with others beside it, pairs of
// them in one vector of two doubles. Every sum still adds its products point
// by point in the points' order, so the result is bit for bit that of the
// plain loop over the points, on one thread or on two, each with its rows.
constexpr Int ScatterBlock = 256;

using Pair = Doub __attribute__((vector_size(2 * sizeof(Doub))));

struct ScatterSums {
    Doub sums[10][10] = {};
};

// The terms of the points [from, from + count) in the frame f, with the point
// counted weights[k] times; points of weight zero are left out. Returns the
// number of points kept; scaled[k] holds the terms times the weight.
Int blockTerms(Points points, const Int *weights, const Frame &f, Int from, Int count, Doub (*terms)[10],
               Doub (*scaled)[10])
{
    const Doub inverseScale = 1.0 / f.scale;
    Int kept = 0;
    for (Int k = from; k < from + count; k++) {
        if (weights && weights[k] == 0)
            continue;
        Doub *t = terms[kept];
        quadricTerms((points[k][0] - f.origin[0]) * inverseScale, (points[k][1] - f.origin[1]) * inverseScale,
                     (points[k][2] - f.origin[2]) * inverseScale, t);
        if (weights) {
            // A weight of one leaves every product exactly as it is.
            const Doub w = weights[k];
            for (Int i = 0; i < 10; i++)
                scaled[kept][i] = w * t[i];
        }
        kept++;
    }
    return kept;
}

// Adds the products of row i, from its diagonal on, over the points of a block.
template <Int Pairs>
void addRow(Doub *row, Int i, const Doub (*terms)[10], const Doub (*scaled)[10], Int count)
{
    const Int first = i & ~Int(1);
    Pair acc[Pairs];
    for (Int p = 0; p < Pairs; p++)
        std::memcpy(&acc[p], row + first + 2 * p, sizeof(Pair));
    for (Int k = 0; k < count; k++) {
        const Pair u = {scaled[k][i], scaled[k][i]};
#pragma GCC unroll 8
        for (Int p = 0; p < Pairs; p++) {
            Pair t;
            std::memcpy(&t, terms[k] + first + 2 * p, sizeof(Pair));
            acc[p] += u * t;
        }
    }
    for (Int p = 0; p < Pairs; p++)
        std::memcpy(row + first + 2 * p, &acc[p], sizeof(Pair));
}

// Rows [firstRow, lastRow) of the sums over all the points.
void sumRows(Points points, const Int *weights, const Frame &f, Int firstRow, Int lastRow, ScatterSums &out)
{
    Doub terms[ScatterBlock][10];
    Doub scaled[ScatterBlock][10];
    for (Int from = 0; from < points.size(); from += ScatterBlock) {
        const Int count =
            blockTerms(points, weights, f, from, std::min(ScatterBlock, points.size() - from), terms, scaled);
        const Doub(*factors)[10] = weights ? scaled : terms;
        // Row i sums its columns from the even one at or below i: in odd rows
        // one product more, left of the diagonal, which the mirror ignores.
        using RowSum = void (*)(Doub *, Int, const Doub(*)[10], const Doub(*)[10], Int);
        static constexpr RowSum addRows[10] = {addRow<5>, addRow<5>, addRow<4>, addRow<4>, addRow<3>,
                                               addRow<3>, addRow<2>, addRow<2>, addRow<1>, addRow<1>};
        for (Int i = firstRow; i < lastRow; i++)
            addRows[i](out.sums[i], i, terms, factors, count);
    }
}

MatDoub scatterOf(Points points, const Int *weights, const Frame &f, const WorkControl &control)
{
    // Rows 0 to 2 sum about as many pairs as rows 3 to 9.
    constexpr Int split = 3;
    ScatterSums sums;
    control.inParallel(2, [&](int worker, int workers) {
        if (workers == 1)
            sumRows(points, weights, f, 0, 10, sums);
        else if (worker == 0)
            sumRows(points, weights, f, 0, split, sums);
        else
            sumRows(points, weights, f, split, 10, sums);
    });
    // The product is symmetric term by term, so the lower triangle is a mirror.
    MatDoub K(10, 10);
    for (Int i = 0; i < 10; i++)
        for (Int j = 0; j < 10; j++)
            K[i][j] = i <= j ? sums.sums[i][j] : sums.sums[j][i];
    return K;
}

// The mean of the points and their RMS distance from it: there the scatter
// matrix is as well conditioned as the shape allows, however far the points
// lie from the origin. The sums are taken about the first point, so that a
// large offset does not cancel their digits. No points leave the identity.
Frame conditioningFrame(Points points, const Int *weights)
{
    Frame f;
    if (points.size() == 0)
        return f;
    const Doub *first = points[0];
    Doub n = 0.0, sums[3] = {}, squares = 0.0;
    for (Int k = 0; k < points.size(); k++) {
        const Doub w = weights ? weights[k] : 1.0;
        for (Int i = 0; i < 3; i++) {
            const Doub d = points[k][i] - first[i];
            sums[i] += w * d;
            squares += w * d * d;
        }
        n += w;
    }
    if (n == 0.0)
        return f;
    Doub spread = squares / n;
    for (Int i = 0; i < 3; i++) {
        f.origin[i] = first[i] + sums[i] / n;
        spread -= SQR(sums[i] / n);
    }
    if (spread > 0.0)
        f.scale = std::sqrt(spread);
    return f;
}

// Repeated lines add nothing to the shape: the ten coefficients need
// MinimumPoints distinct points. Stops as soon as it has found them.
Bool hasDistinctPoints(Points points, const Int *weights)
{
    Int distinct[MinimumPoints];
    Int found = 0;
    for (Int k = 0; k < points.size() && found < MinimumPoints; k++) {
        if (weights && weights[k] == 0)
            continue;
        Bool repeated = false;
        for (Int j = 0; j < found && !repeated; j++)
            repeated = points[k][0] == points[distinct[j]][0] && points[k][1] == points[distinct[j]][1] &&
                       points[k][2] == points[distinct[j]][2];
        if (!repeated)
            distinct[found++] = k;
    }
    return found == MinimumPoints;
}

// The constraint 4ac - b^2 = 1 of the ellipsoid-specific fit, as a quadratic
// form on the six quadratic coefficients.
MatDoub constraintMatrix()
{
    MatDoub C(6, 6, 0.0);
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            C[i][j] = i == j ? -1.0 : 1.0;
    for (Int i = 3; i < 6; i++)
        C[i][i] = -4.0;
    return C;
}

// Points on a line or a plane determine no ellipsoid, but rounding can keep
// the inversions from seeing it. Their covariance, taken from the sums in K,
// has a vanishing smallest eigenvalue.
Bool spansSpace(const MatDoub &K)
{
    const Doub n = K[9][9];
    const Doub mean[3] = {K[6][9] / (2 * n), K[7][9] / (2 * n), K[8][9] / (2 * n)};
    const Int square[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
    MatDoub cov(3, 3);
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++) {
            const Doub sum = K[square[i][j]][9] / (i == j ? 1.0 : 2.0);
            cov[i][j] = sum / n - mean[i] * mean[j];
        }
    Unsymmeig spread(cov, false, false);
    const Doub largest = spread.wri[0].real(), smallest = spread.wri[2].real();
    return smallest > 1e-10 * largest;
}

// The quadric from its six quadratic coefficients v1 (of unit length) and
// its four others v2, with the ellipsoid test of the coefficients.
EllipsoidFit quadricOf(const MatDoub &v1, const MatDoub &v2)
{
    EllipsoidFit fit;
    fit.M = MatDoub(3, 3);
    const Doub m[3][3] = {
        {v1[0][0], v1[3][0], v1[4][0]}, {v1[3][0], v1[1][0], v1[5][0]}, {v1[4][0], v1[5][0], v1[2][0]}};
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            fit.M[i][j] = m[i][j];
    fit.a = MatDoub(3, 1);
    for (Int i = 0; i < 3; i++)
        fit.a[i][0] = v2[i][0];
    fit.d = v2[3][0];

    const MatDoub &M = fit.M;
    Doub I = (M[0][0] + M[1][1]) + M[2][2];
    Doub J = M[0][0] * M[1][1] + M[0][0] * M[2][2] + M[1][1] * M[2][2] - SQR(M[0][1]) - SQR(M[1][2]) -
             SQR(M[0][2]);
    fit.TestEllip = 4.0 * J - I * I;
    fit.outlierWarning = std::abs(fit.TestEllip - 1.0) > 0.1;
    return fit;
}

// The blocks of a scatter matrix that the fit works on: S22^-1 and the
// reduced scatter matrix E = S11 - S12 S22^-1 S12^T of the six quadratic
// coefficients, whose least value over unit vectors is the fit's residual.
struct Reduced {
    MatDoub S12, S22inv, E;

    explicit Reduced(const MatDoub &K)
        : S12(K.extractmat(0, 5, 6, 9)), S22inv(inverse(K.extractmat(6, 9, 6, 9))),
          E(K.extractmat(0, 5, 0, 5) - (S12 * S22inv) * S12.t())
    {
    }

    /// The four other coefficients that go best with the quadratic ones.
    MatDoub linearPart(const MatDoub &v1) const { return MatDoub(4, 1, 0.0) - (S22inv * S12.t()) * v1; }
};

// Points that lie on a quadric to the last digits make E singular, and its
// inverse is then rounding noise. In the conditioned frame the smallest
// eigenvalue of E, relative to the largest, is the squared relative residual
// of the best surface: below this the surface is exact, and when a second
// one is as small, the points do not single out a quadric.
constexpr Doub ExactResidual = 1e-12;

enum class Exactness { Noisy, Exact, Undetermined };

struct ExactFit {
    Exactness exactness = Exactness::Noisy;
    EllipsoidFit fit;
};

// A quadric found in the frame f, taken back to the measurements'
// own coordinates: q(h) = q'((h - o) / s) gives, scaled by s^2,
// M = M', a = s a' - M' o, d = o^T M' o - 2 s a'^T o + s^2 d'.
EllipsoidFit quadricFromFrame(const MatDoub &v1f, const MatDoub &v2f, const Frame &f)
{
    const EllipsoidFit q = quadricOf(v1f, v2f);
    const Doub s = f.scale;
    const Doub *o = f.origin;
    Doub a[3], d = s * s * q.d;
    for (Int i = 0; i < 3; i++) {
        a[i] = s * q.a[i][0];
        for (Int j = 0; j < 3; j++)
            a[i] -= q.M[i][j] * o[j];
        d -= 2 * s * q.a[i][0] * o[i];
        for (Int j = 0; j < 3; j++)
            d += o[i] * q.M[i][j] * o[j];
    }
    // The same quadric, its quadratic coefficients of unit length again.
    const Doub norm = std::sqrt(SQR(v1f[0][0]) + SQR(v1f[1][0]) + SQR(v1f[2][0]) + SQR(v1f[3][0]) +
                                SQR(v1f[4][0]) + SQR(v1f[5][0]));
    MatDoub v1(6, 1), v2(4, 1);
    for (Int k = 0; k < 6; k++)
        v1[k][0] = v1f[k][0] / norm;
    for (Int i = 0; i < 3; i++)
        v2[i][0] = a[i] / norm;
    v2[3][0] = d / norm;
    EllipsoidFit fit = quadricOf(v1, v2);
    if (std::hypot(o[0], o[1], o[2]) > FarFrame * s)
        fit.frame = EllipsoidFit::InFrame{{o[0], o[1], o[2]}, s, q.M, q.a, q.d};
    return fit;
}

// The fit in the frame f, carried back to the measurements' coordinates.
EllipsoidFit fitQuadric(const MatDoub &K, const Frame &f)
{
    const MatDoub C = constraintMatrix();
    const Reduced r(K);
    MatDoub Einv = inverse(r.E);
    MatDoub E = Einv * C;

    // Einv C has one eigenvalue of positive real part for data around an
    // ellipsoid; its eigenvector holds the quadratic coefficients.
    Unsymmeig h(E, true, false);
    Int eigindex = 0;
    Doub max = h.wri[0].real();
    for (Int k = 0; k < 6; k++)
        if (h.wri[k].real() > max) {
            max = h.wri[k].real();
            eigindex = k;
        }
    Doub normv1 = 0.0;
    for (Int k = 0; k < 6; k++)
        normv1 += SQR(h.zz[k][eigindex]);
    normv1 = std::sqrt(normv1);
    MatDoub v1(6, 1);
    for (Int k = 0; k < 6; k++)
        v1[k][0] = h.zz[k][eigindex] / normv1;
    return quadricFromFrame(v1, r.linearPart(v1), f);
}

// Whether the reduced scatter matrix in the frame f is singular, and the
// surface of its null direction when it is.
ExactFit exactIn(const Reduced &r, const Frame &f)
{
    Unsymmeig e(r.E, true, false);
    Int least = 0, largest = 0;
    for (Int k = 1; k < 6; k++) {
        if (e.wri[k].real() < e.wri[least].real())
            least = k;
        if (e.wri[k].real() > e.wri[largest].real())
            largest = k;
    }
    const Doub limit = ExactResidual * e.wri[largest].real();
    ExactFit exact;
    if (e.wri[least].real() > limit)
        return exact;
    for (Int k = 0; k < 6; k++)
        if (k != least && e.wri[k].real() <= limit) {
            exact.exactness = Exactness::Undetermined;
            return exact;
        }
    MatDoub v1(6, 1);
    Doub norm = 0.0;
    for (Int k = 0; k < 6; k++)
        norm += SQR(e.zz[k][least]);
    for (Int k = 0; k < 6; k++)
        v1[k][0] = e.zz[k][least] / std::sqrt(norm);
    exact.exactness = Exactness::Exact;
    exact.fit = quadricFromFrame(v1, r.linearPart(v1), f);
    return exact;
}

// Eigenvectors of a symmetric matrix are orthogonal, but for eigenvalues
// that (nearly) coincide, as for a sphere, the unsymmetric solver returns
// any vectors of their eigenspace. V Sqrt V^T needs an orthonormal basis of
// it: the columns are made one in order. Vectors already orthogonal to the
// last digits are left exactly as they are.
void orthonormalize(MatDoub &V)
{
    constexpr Doub tolerance = 1e-12;
    const auto dot = [&](Int a, Int b) { return V[0][a] * V[0][b] + V[1][a] * V[1][b] + V[2][a] * V[2][b]; };
    if (std::abs(dot(0, 1)) <= tolerance && std::abs(dot(0, 2)) <= tolerance &&
        std::abs(dot(1, 2)) <= tolerance)
        return;
    for (Int j = 0; j < 3; j++) {
        for (Int k = 0; k < j; k++) {
            const Doub overlap = dot(j, k);
            for (Int i = 0; i < 3; i++)
                V[i][j] -= overlap * V[i][k];
        }
        const Doub norm = std::sqrt(dot(j, j));
        for (Int i = 0; i < 3; i++)
            V[i][j] /= norm;
    }
}

CalibrationParameters calibrationOf(const EllipsoidFit &fit, Doub Hm)
{
    MatDoub M = fit.M, a = fit.a;
    CalibrationParameters p;
    MatDoub Minv = inverse(M);
    p.Bias = Minv * a;
    for (Int i = 0; i < 3; i++)
        p.Bias[i][0] = -p.Bias[i][0];

    Unsymmeig f(M, true, false);
    MatDoub V = f.zz;
    for (Int j = 0; j < 3; j++) {
        Doub NormRow = std::sqrt(SQR(V[0][j]) + SQR(V[1][j]) + SQR(V[2][j]));
        for (Int i = 0; i < 3; i++)
            V[i][j] /= NormRow;
    }
    orthonormalize(V);
    MatDoub EigDag(3, 3, 0.0);
    for (Int i = 0; i < 3; i++)
        EigDag[i][i] = f.wri[i].real();
    MatDoub EigDaginv = inverse(EigDag);

    // a^T M^-1 a through the eigen-decomposition of M.
    MatDoub Vta = V.t() * a;
    MatDoub Temp = (Vta.t() * EigDaginv) * Vta;
    Doub alphaT = Hm * Hm / (fit.d - Temp[0][0]);

    MatDoub SqrtEigDag(3, 3, 0.0);
    for (Int i = 0; i < 3; i++) {
        Doub lambda = EigDag[i][i];
        SqrtEigDag[i][i] = lambda * alphaT > 0 ? std::sqrt(lambda * alphaT) : std::sqrt(lambda * (-alphaT));
    }
    p.Ainv = (V * SqrtEigDag) * V.t();
    p.A = inverse(p.Ainv);
    return p;
}

} // namespace

MatDoub scatterMatrix(Points points, const Int *weights)
{
    return scatterOf(points, weights, Frame(), WorkControl().withThreads(1));
}

std::optional<EllipsoidFit> FitEllipsoid(Points points, const Int *weights, const WorkControl &control)
{
    const Frame f = conditioningFrame(points, weights);
    const MatDoub K = scatterOf(points, weights, f, control);
    // An empty set goes on to fail in the library, which says why.
    if (K[9][9] > 0 && !hasDistinctPoints(points, weights))
        return std::nullopt;
    try {
        if (K[9][9] > 0 && !spansSpace(K))
            return std::nullopt;
        const ExactFit exact = K[9][9] > 0 ? exactIn(Reduced(K), f) : ExactFit();
        if (exact.exactness == Exactness::Undetermined)
            return std::nullopt;
        const EllipsoidFit fit = exact.exactness == Exactness::Exact ? exact.fit : fitQuadric(K, f);
        if (allFinite(fit.M) && allFinite(fit.a) && std::isfinite(fit.d) && std::isfinite(fit.TestEllip))
            return fit;
    } catch (Int) {
        // The library has printed its error line; the caller reports the failure.
    }
    return std::nullopt;
}

EllipsoidFit QuadricOf(const CalibrationParameters &p, Doub Hm)
{
    // M = Ainv^T Ainv, a = -M b, d = b^T M b - Hm^2.
    const MatDoub M = p.Ainv.t() * p.Ainv;
    const MatDoub a = M * p.Bias;
    Doub d = -Hm * Hm;
    for (Int i = 0; i < 3; i++)
        d += p.Bias[i][0] * a[i][0];
    MatDoub v1(6, 1), v2(4, 1);
    const Doub quadratic[6] = {M[0][0], M[1][1], M[2][2], M[0][1], M[0][2], M[1][2]};
    Doub norm = 0.0;
    for (const Doub q : quadratic)
        norm += q * q;
    norm = std::sqrt(norm);
    for (Int k = 0; k < 6; k++)
        v1[k][0] = quadratic[k] / norm;
    for (Int i = 0; i < 3; i++)
        v2[i][0] = -a[i][0] / norm;
    v2[3][0] = d / norm;
    return quadricOf(v1, v2);
}

std::optional<CalibrationParameters> DeriveCalibration(const EllipsoidFit &fit, Doub Hm)
{
    try {
        CalibrationParameters p;
        if (fit.frame) {
            // h = o + s h' on |A^-1 (h' - b')| = Hm / s: b = o + s b', A = A'.
            const EllipsoidFit::InFrame &f = *fit.frame;
            EllipsoidFit inFrame;
            inFrame.M = f.M, inFrame.a = f.a, inFrame.d = f.d;
            p = calibrationOf(inFrame, Hm / f.scale);
            for (Int i = 0; i < 3; i++)
                p.Bias[i][0] = f.origin[i] + f.scale * p.Bias[i][0];
        } else {
            p = calibrationOf(fit, Hm);
        }
        if (p.finite())
            return p;
    } catch (Int) {
        // As in FitEllipsoid: printed already, reported by the caller.
    }
    return std::nullopt;
}

} // namespace tavrin
