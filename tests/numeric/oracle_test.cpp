// Our inversion and eigen-solver checked against Eigen on random matrices.
#include "eigen_unsym.h"
#include "gaussj.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using Dense = Eigen::MatrixXd;

MatDoub toNr(const Dense &m)
{
    MatDoub r(Int(m.rows()), Int(m.cols()));
    for (Int i = 0; i < r.nrows(); i++)
        for (Int j = 0; j < r.ncols(); j++)
            r[i][j] = m(i, j);
    return r;
}

// A test matrix and a matrix similar to it that Eigen can solve accurately:
// Eigen does not balance, so for badly scaled input it is given the unscaled one.
struct Sample {
    Dense m, similar;
};

struct Family {
    const char *name;
    int order; // 0: every order from 1 to 10
    std::function<Sample(std::mt19937 &, int)> make;
};

Dense uniform(std::mt19937 &rng, int n)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Dense m(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            m(i, j) = u(rng);
    return m;
}

Dense symmetric(std::mt19937 &rng, int n)
{
    Dense m = uniform(rng, n);
    return (m + m.transpose()) / 2.0;
}

Sample badlyScaled(std::mt19937 &rng, int n)
{
    std::uniform_int_distribution<int> e(-6, 6);
    Eigen::VectorXd d(n);
    for (int i = 0; i < n; i++)
        d(i) = std::pow(10.0, e(rng));
    Dense r = uniform(rng, n);
    return {d.asDiagonal() * r * d.cwiseInverse().asDiagonal(), r};
}

template <Dense (*make)(std::mt19937 &, int)> Sample plain(std::mt19937 &rng, int n)
{
    Dense m = make(rng, n);
    return {m, m};
}

// The 6x6 matrix of the ellipsoid fit: inverse of a positive definite matrix times the constraint.
Dense fitShape(std::mt19937 &rng, int)
{
    Dense g = uniform(rng, 6);
    Dense spd = g * g.transpose() + 0.5 * Dense::Identity(6, 6);
    Dense c = Dense::Zero(6, 6);
    c << -1, 1, 1, 0, 0, 0, 1, -1, 1, 0, 0, 0, 1, 1, -1, 0, 0, 0, 0, 0, 0, -4, 0, 0, 0, 0, 0, 0, -4, 0, 0, 0,
        0, 0, 0, -4;
    return spd.inverse() * c;
}

Dense quadricShape(std::mt19937 &rng, int)
{
    return symmetric(rng, 3) + 2.0 * Dense::Identity(3, 3);
}

const std::vector<Family> &families()
{
    static const std::vector<Family> all = {
        {"unsymmetric", 0, plain<uniform>},      {"symmetric", 0, plain<symmetric>},
        {"badly scaled", 0, badlyScaled},        {"ellipsoid-fit 6x6", 6, plain<fitShape>},
        {"quadric 3x3", 3, plain<quadricShape>},
    };
    return all;
}

// perOrder matrices of every order 1 to 10, and five times as many of each fit shape.
template <class Check> int forEachRandomMatrix(unsigned seed, int perOrder, Check check)
{
    std::mt19937 rng(seed);
    int count = 0;
    for (const Family &f : families()) {
        int total = f.order ? 5 * perOrder : 10 * perOrder;
        for (int k = 0; k < total; k++, count++)
            check(f.name, f.make(rng, f.order ? f.order : 1 + k / perOrder));
    }
    return count;
}

std::vector<std::complex<double>> column(const Unsymmeig &h, int j)
{
    std::vector<std::complex<double>> v(h.n);
    double im = h.wri[j].imag();
    for (int i = 0; i < h.n; i++) {
        if (im == 0.0) {
            v[i] = h.zz[i][j];
        } else if (im > 0.0) {
            v[i] = {h.zz[i][j], h.zz[i][j + 1]};
        } else {
            v[i] = {h.zz[i][j - 1], -h.zz[i][j]};
        }
    }
    return v;
}

} // namespace

TEST(Oracle, GaussjAgreesWithEigensInverse)
{
    int checked = forEachRandomMatrix(11, 100, [](const char *name, const Sample &s) {
        const Dense &m = s.m;
        MatDoub a = toNr(m);
        gaussj(a);
        Dense inv = m.inverse();
        double cond = m.norm() * inv.norm();
        double tol = 1e-14 * cond * m.rows();
        for (int i = 0; i < m.rows(); i++)
            for (int j = 0; j < m.cols(); j++)
                ASSERT_NEAR(a[i][j] / inv.norm(), inv(i, j) / inv.norm(), tol)
                    << name << ", order " << m.rows() << ", cond " << cond;
    });
    EXPECT_EQ(checked, 4000);
}

TEST(Oracle, UnsymmeigAgreesWithEigensEigenSolver)
{
    int checked = forEachRandomMatrix(29, 100, [](const char *name, const Sample &s) {
        const Dense &m = s.m;
        const int n = int(m.rows());
        Unsymmeig h(toNr(m), true, false);
        Eigen::EigenSolver<Dense> es(s.similar);
        ASSERT_EQ(es.info(), Eigen::Success);
        const double norm = m.norm();

        std::vector<std::complex<double>> theirs(es.eigenvalues().data(), es.eigenvalues().data() + n);
        std::vector<bool> used(n, false);
        for (int j = 0; j < n; j++) {
            int best = -1;
            for (int k = 0; k < n; k++)
                if (!used[k] &&
                    (best < 0 || std::abs(theirs[k] - h.wri[j]) < std::abs(theirs[best] - h.wri[j])))
                    best = k;
            used[best] = true;
            ASSERT_LE(std::abs(theirs[best] - h.wri[j]),
                      1e-9 * std::max(s.similar.norm(), std::abs(theirs[best])))
                << name << ", order " << n;
        }

        for (int j = 0; j < n; j++) {
            if (j > 0) {
                ASSERT_GE(h.wri[j - 1].real(), h.wri[j].real()) << name;
            }
            std::vector<std::complex<double>> v = column(h, j);
            double vnorm = 0.0, residual = 0.0;
            for (int i = 0; i < n; i++) {
                std::complex<double> av = 0.0;
                for (int k = 0; k < n; k++)
                    av += m(i, k) * v[k];
                residual += std::norm(av - h.wri[j] * v[i]);
                vnorm += std::norm(v[i]);
            }
            ASSERT_GT(vnorm, 0.0) << name;
            ASSERT_LE(std::sqrt(residual), 1e-9 * norm * std::sqrt(vnorm)) << name << ", order " << n;
        }
    });
    EXPECT_EQ(checked, 4000);
}
