// The twenty steps of the fit computed again with Eigen's own inverse and
// eigen-solver, on random ellipsoids, against our library's result.
#include "ellipsoidfit.h"
#include "synthetic.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>

using namespace tavrin;

namespace {

using Dense = Eigen::MatrixXd;

struct Reference {
    Eigen::Vector3d bias;
    Eigen::Matrix3d A;
};

Reference eigenCalibration(const MatDoub &p, double Hm)
{
    const int n = p.nrows();
    Dense D(10, n);
    for (int k = 0; k < n; k++) {
        double x = p[k][0], y = p[k][1], z = p[k][2];
        D.col(k) << x * x, y * y, z * z, 2 * x * y, 2 * x * z, 2 * y * z, 2 * x, 2 * y, 2 * z, 1;
    }
    Dense K = D * D.transpose();
    Dense C = Dense::Zero(6, 6);
    C.topLeftCorner(3, 3) << -1, 1, 1, 1, -1, 1, 1, 1, -1;
    C.bottomRightCorner(3, 3) = -4 * Dense::Identity(3, 3);
    Dense S11 = K.topLeftCorner(6, 6), S12 = K.topRightCorner(6, 4), S22 = K.bottomRightCorner(4, 4);
    Dense S22inv = S22.inverse();
    Dense E = (S11 - S12 * S22inv * S12.transpose()).inverse() * C;

    Eigen::EigenSolver<Dense> es(E);
    int best = 0;
    for (int k = 1; k < 6; k++)
        if (es.eigenvalues()(k).real() > es.eigenvalues()(best).real())
            best = k;
    Eigen::VectorXd v1 = es.eigenvectors().col(best).real().normalized();
    Eigen::VectorXd v2 = -S22inv * S12.transpose() * v1;

    Eigen::Matrix3d M;
    M << v1(0), v1(3), v1(4), v1(3), v1(1), v1(5), v1(4), v1(5), v1(2);
    Eigen::Vector3d a = v2.head(3);
    double d = v2(3);

    Reference r;
    r.bias = -M.inverse() * a;
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> f(M);
    const Eigen::Matrix3d V = f.eigenvectors();
    const Eigen::Vector3d lambda = f.eigenvalues();
    Eigen::Vector3d Vta = V.transpose() * a;
    double temp = Vta.dot(lambda.cwiseInverse().asDiagonal() * Vta);
    double alphaT = Hm * Hm / (d - temp);
    Eigen::Vector3d root = (lambda * alphaT).cwiseAbs().cwiseSqrt();
    r.A = (V * root.asDiagonal() * V.transpose()).inverse();
    return r;
}

double relative(double ours, double theirs, double scale)
{
    return std::abs(ours - theirs) / scale;
}

} // namespace

TEST(FitOracle, AgreesWithEigenOnRandomEllipsoids)
{
    std::mt19937 rng(2026);
    std::uniform_real_distribution<double> axis(0.6, 1.6), angle(-3.14, 3.14), centre(-100, 100), hm(20, 60);
    for (int trial = 0; trial < 300; trial++) {
        Truth t;
        Eigen::Matrix3d R = (Eigen::AngleAxisd(angle(rng), Eigen::Vector3d::UnitZ()) *
                             Eigen::AngleAxisd(angle(rng), Eigen::Vector3d::UnitY()) *
                             Eigen::AngleAxisd(angle(rng), Eigen::Vector3d::UnitX()))
                                .toRotationMatrix();
        Eigen::Matrix3d A0 =
            R * Eigen::Vector3d(axis(rng), axis(rng), axis(rng)).asDiagonal() * R.transpose();
        for (int i = 0; i < 3; i++) {
            t.b0[i] = centre(rng);
            for (int j = 0; j < 3; j++)
                t.A0[i][j] = A0(i, j);
        }
        const double Hm = hm(rng);
        MatDoub p = ellipsoidPoints(t, Hm, 300, 0.02 * Hm, rng());

        std::optional<EllipsoidFit> fit = FitEllipsoid(p);
        ASSERT_TRUE(fit.has_value()) << trial;
        std::optional<CalibrationParameters> ours = DeriveCalibration(*fit, Hm);
        ASSERT_TRUE(ours.has_value()) << trial;
        Reference theirs = eigenCalibration(p, Hm);

        const double biasScale = theirs.bias.norm(), aScale = theirs.A.norm();
        for (int i = 0; i < 3; i++) {
            EXPECT_LE(relative(ours->Bias[i][0], theirs.bias(i), biasScale), 1e-8) << trial;
            for (int j = 0; j < 3; j++)
                EXPECT_LE(relative(ours->A[i][j], theirs.A(i, j), aScale), 1e-8) << trial;
        }
    }
}
