#include "gaussj.h"
#include "matrices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

void expectMatrixNear(const MatDoub &a, const MatDoub &b, Doub tol)
{
    ASSERT_EQ(a.nrows(), b.nrows());
    ASSERT_EQ(a.ncols(), b.ncols());
    for (Int i = 0; i < a.nrows(); i++)
        for (Int j = 0; j < a.ncols(); j++)
            EXPECT_NEAR(a[i][j], b[i][j], tol) << "at (" << i << ", " << j << ")";
}

// Runs gaussj on a copy and returns what it printed; empty when it did not raise.
std::string singularReport(MatDoub a)
{
    testing::internal::CaptureStdout();
    const NrErrorSink shown(stdout);
    try {
        gaussj(a);
    } catch (Int code) {
        EXPECT_EQ(code, 1);
        return testing::internal::GetCapturedStdout();
    }
    testing::internal::GetCapturedStdout();
    return {};
}

const char *singularPattern = "^ERROR: gaussj: Singular Matrix\n     in file gaussj\\.h at line [0-9]+\n$";

} // namespace

TEST(Gaussj, PivotingCasesComeOutExact)
{
    MatDoub swap = matrixOf({{0, 1}, {1, 0}});
    gaussj(swap);
    EXPECT_EQ(swap[0][0], 0.0);
    EXPECT_EQ(swap[0][1], 1.0);
    EXPECT_EQ(swap[1][0], 1.0);
    EXPECT_EQ(swap[1][1], 0.0);

    MatDoub id = matrixOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    gaussj(id);
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            EXPECT_EQ(id[i][j], i == j ? 1.0 : 0.0);

    MatDoub diag = matrixOf({{2, 0, 0}, {0, 4, 0}, {0, 0, 8}});
    gaussj(diag);
    EXPECT_EQ(diag[0][0], 0.5);
    EXPECT_EQ(diag[1][1], 0.25);
    EXPECT_EQ(diag[2][2], 0.125);
    EXPECT_EQ(diag[0][2], 0.0);

    MatDoub four = matrixOf({{4}});
    gaussj(four);
    EXPECT_EQ(four[0][0], 0.25);
}

TEST(Gaussj, SolvesRightHandSidesAlongside)
{
    MatDoub a = matrixOf({{2, 1}, {1, 3}});
    MatDoub b = matrixOf({{1, 0}, {0, 1}});
    gaussj(a, b);
    MatDoub expected = matrixOf({{0.6, -0.2}, {-0.2, 0.4}});
    expectMatrixNear(a, expected, 1e-15);
    expectMatrixNear(b, expected, 1e-15);

    MatDoub c = matrixOf({{4, -2, 1}, {3, 6, -4}, {2, 1, 8}});
    MatDoub rhs = matrixOf({{12}, {-25}, {32}});
    gaussj(c, rhs);
    expectMatrixNear(rhs, matrixOf({{1}, {-2}, {4}}), 1e-13);
}

TEST(Gaussj, SingularMatricesAreReported)
{
    EXPECT_THAT(singularReport(matrixOf({{0, 0}, {0, 0}})), testing::MatchesRegex(singularPattern));
    EXPECT_THAT(singularReport(matrixOf({{1, 2, 3}, {0, 0, 0}, {4, 5, 6}})),
                testing::MatchesRegex(singularPattern));
    EXPECT_THAT(singularReport(matrixOf({{1, 2}, {1, 2}})), testing::MatchesRegex(singularPattern));
    EXPECT_THAT(singularReport(matrixOf({{0}})), testing::MatchesRegex(singularPattern));
}

TEST(Gaussj, AllNaNPassIsSingularNotAnUnsetPivot)
{
    Doub nan = std::nan("");
    EXPECT_THAT(singularReport(matrixOf({{nan, nan}, {nan, nan}})), testing::MatchesRegex(singularPattern));
    // The finite pivot is used first; the second pass is all NaN.
    EXPECT_THAT(singularReport(matrixOf({{1, nan}, {nan, nan}})), testing::MatchesRegex(singularPattern));
}

TEST(Gaussj, NearlySingularIsStillInverted)
{
    Doub e = 1e-12;
    MatDoub a = matrixOf({{1, 1}, {1, 1 + e}});
    EXPECT_EQ(singularReport(a), "");
    MatDoub inv(a);
    gaussj(inv);
    MatDoub prod = a * inv;
    expectMatrixNear(prod, matrixOf({{1, 0}, {0, 1}}), 1e-2);
}
