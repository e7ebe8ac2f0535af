#include "eigen_unsym.h"
#include "matrices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const Doub tiny = 1e-14;

void expectEigenvalue(const Complex &got, Doub re, Doub im, Doub tol = tiny)
{
    EXPECT_NEAR(got.real(), re, tol);
    EXPECT_NEAR(got.imag(), im, tol);
}

} // namespace

TEST(Unsymmeig, ComplexPairOfTwoByTwo)
{
    MatDoub a = matrixOf({{1, 2}, {-3, 1}});
    Unsymmeig h(a, true, false);
    const Doub root6 = std::sqrt(6.0);
    expectEigenvalue(h.wri[0], 1.0, root6);
    expectEigenvalue(h.wri[1], 1.0, -root6);
    EXPECT_NEAR(h.zz[0][0], 2.0 / root6, tiny);
    EXPECT_NEAR(h.zz[0][1], 0.0, tiny);
    EXPECT_NEAR(h.zz[1][0], 0.0, tiny);
    EXPECT_NEAR(h.zz[1][1], 1.0, tiny);
}

TEST(Unsymmeig, DefectiveMatrixKeepsItsOrderAndGuardsTheZeroPivot)
{
    MatDoub a = matrixOf({{1, 1}, {0, 1}});
    Unsymmeig h(a, true, false);
    expectEigenvalue(h.wri[0], 1.0, 0.0);
    expectEigenvalue(h.wri[1], 1.0, 0.0);
    EXPECT_EQ(h.zz[0][0], 1.0);
    EXPECT_EQ(h.zz[1][0], 0.0);
    EXPECT_NEAR(h.zz[0][1], -1.0, 1e-12);
    EXPECT_NEAR(h.zz[1][1], 6.66e-16, 1e-18);
}

TEST(Unsymmeig, CyclicPermutationNeedsTheExceptionalShift)
{
    MatDoub a = matrixOf({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}});
    Unsymmeig h(a, true, false);
    expectEigenvalue(h.wri[0], 1.0, 0.0, 1e-12);
    expectEigenvalue(h.wri[1], -0.5, std::sqrt(0.75), 1e-12);
    expectEigenvalue(h.wri[2], -0.5, -std::sqrt(0.75), 1e-12);
    // The real eigenvector is a multiple of (1, 1, 1).
    EXPECT_NEAR(h.zz[0][0], h.zz[1][0], 1e-12);
    EXPECT_NEAR(h.zz[1][0], h.zz[2][0], 1e-12);
    EXPECT_GT(std::abs(h.zz[0][0]), 0.1);
}

TEST(Unsymmeig, BalancingScalesByPowersOfTwo)
{
    MatDoub a = matrixOf({{1, 1e6}, {1e-6, 1}});
    Unsymmeig h(a, true, false);
    EXPECT_EQ(h.scale[0], 1048576.0);
    EXPECT_EQ(h.scale[1], 1.0);
    expectEigenvalue(h.wri[0], 2.0, 0.0, 1e-12);
    expectEigenvalue(h.wri[1], 0.0, 0.0, 1e-12);
    // (A - 2I) v = 0 gives v = (1e6, 1) up to scale.
    EXPECT_NEAR(h.zz[0][0] / h.zz[1][0], 1e6, 1e-3);

    MatDoub d = matrixOf({{3, 0, 0}, {0, 1, 0}, {0, 0, 2}});
    Unsymmeig hd(d, true, false);
    for (Int i = 0; i < 3; i++)
        EXPECT_EQ(hd.scale[i], 1.0);
}

TEST(Unsymmeig, TrivialShapes)
{
    Unsymmeig one(matrixOf({{-4.5}}), true, false);
    EXPECT_EQ(one.wri[0], Complex(-4.5, 0.0));
    EXPECT_EQ(one.zz[0][0], 1.0);

    Unsymmeig zero(MatDoub(3, 3, 0.0), true, false);
    for (Int i = 0; i < 3; i++) {
        EXPECT_EQ(zero.wri[i], Complex(0.0, 0.0));
        for (Int j = 0; j < 3; j++)
            EXPECT_EQ(zero.zz[i][j], i == j ? 1.0 : 0.0);
    }

    Unsymmeig empty(MatDoub(0, 0), true, false);
    EXPECT_EQ(empty.n, 0);
    EXPECT_EQ(empty.wri.nn, 0);
}

TEST(Unsymmeig, UpperTriangularNeedsNoSweep)
{
    MatDoub a = matrixOf({{5, 1, 2}, {0, -1, 7}, {0, 0, 3}});
    Unsymmeig h(a, true, false);
    expectEigenvalue(h.wri[0], 5.0, 0.0);
    expectEigenvalue(h.wri[1], 3.0, 0.0);
    expectEigenvalue(h.wri[2], -1.0, 0.0);
}

TEST(Unsymmeig, SortingMovesColumnsWithTheirEigenvalues)
{
    Unsymmeig h(matrixOf({{2, 0}, {0, 3}}), true, false);
    EXPECT_EQ(h.wri[0], Complex(3.0, 0.0));
    EXPECT_EQ(h.wri[1], Complex(2.0, 0.0));
    EXPECT_EQ(h.zz[0][0], 0.0);
    EXPECT_EQ(h.zz[1][0], 1.0);
    EXPECT_EQ(h.zz[0][1], 1.0);
    EXPECT_EQ(h.zz[1][1], 0.0);

    // A real eigenvalue sharing the real part of a complex pair never splits it.
    MatDoub a = matrixOf({{1, 0, 0}, {0, 1, 2}, {0, -3, 1}});
    Unsymmeig p(a, true, false);
    for (Int j = 0; j < 3; j++)
        EXPECT_NEAR(p.wri[j].real(), 1.0, tiny);
    Int first = p.wri[0].imag() == 0.0 ? 1 : 0;
    EXPECT_GT(p.wri[first].imag(), 0.0);
    EXPECT_LT(p.wri[first + 1].imag(), 0.0);
}

TEST(Unsymmeig, CallersMatrixIsLeftAlone)
{
    MatDoub a = matrixOf({{4, -2, 1}, {3, 6, -4}, {2, 1, 8}});
    MatDoub copy(a);
    Unsymmeig h(a, true, false);
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            EXPECT_EQ(a[i][j], copy[i][j]);
}

TEST(Unsymmeig, AllFourPathsAgreeOnTheEigenvalues)
{
    // Upper Hessenberg, so the hessenb paths are valid on it too.
    MatDoub a = matrixOf({{4, -2, 1, 3}, {3, 6, -4, 1}, {0, 1, 8, -2}, {0, 0, 2, 1}});
    Unsymmeig reference(a, true, false);
    Unsymmeig hess(a, true, true);
    Unsymmeig values(a, false, false);
    Unsymmeig hessValues(a, false, true);
    for (Int j = 0; j < 4; j++) {
        for (const Unsymmeig *other : {&hess, &values, &hessValues}) {
            EXPECT_NEAR(other->wri[j].real(), reference.wri[j].real(), 1e-12);
            EXPECT_NEAR(std::abs(other->wri[j].imag()), std::abs(reference.wri[j].imag()), 1e-12);
        }
        for (Int i = 0; i < 4; i++)
            EXPECT_EQ(values.zz[i][j], 0.0);
    }
}

TEST(Unsymmeig, NaNNeverDeflatesAndIsReported)
{
    Doub nan = std::numeric_limits<Doub>::quiet_NaN();
    for (Bool vecs : {true, false}) {
        MatDoub a = matrixOf({{1, 2, 3}, {4, nan, 6}, {7, 8, 9}});
        testing::internal::CaptureStdout();
        const NrErrorSink shown(stdout);
        Int code = 0;
        try {
            Unsymmeig h(a, vecs, false);
        } catch (Int c) {
            code = c;
        }
        EXPECT_EQ(code, 1);
        EXPECT_THAT(testing::internal::GetCapturedStdout(),
                    testing::MatchesRegex("^ERROR: Too many iterations in hqr\n     in file "
                                          "eigen_unsym\\.h at line [0-9]+\n$"));
    }
}

TEST(Unsymmeig, InfiniteEntriesEndInsteadOfLoopingInBalance)
{
    Doub inf = std::numeric_limits<Doub>::infinity();
    MatDoub a = matrixOf({{1, 2}, {inf, 1}});
    testing::internal::CaptureStdout();
    Bool reported = false, finite = true;
    try {
        Unsymmeig h(a, true, false);
        for (Int i = 0; i < 2; i++)
            finite = finite && std::isfinite(h.wri[i].real()) && std::isfinite(h.wri[i].imag());
    } catch (Int) {
        reported = true;
    }
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(reported || !finite);
}
