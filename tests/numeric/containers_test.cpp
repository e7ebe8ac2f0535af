#include "nr3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

TEST(Vector, NonPositiveSizesHoldNoStorage)
{
    VecDoub empty(0), negative(-1);
    EXPECT_EQ(empty.nn, 0);
    EXPECT_EQ(empty.v, nullptr);
    EXPECT_EQ(negative.nn, -1);
    EXPECT_EQ(negative.v, nullptr);
}

TEST(Vector, FillingAndComplexZeroStart)
{
    VecDoub filled(4, 2.5);
    for (Int i = 0; i < 4; i++)
        EXPECT_EQ(filled[i], 2.5);
    VecComplex c(3);
    for (Int i = 0; i < 3; i++)
        EXPECT_EQ(c[i], Complex(0.0, 0.0));
}

TEST(Vector, CopiesAreDeep)
{
    VecDoub a(3, 1.0);
    VecDoub b(a);
    b[1] = 7.0;
    EXPECT_EQ(a[1], 1.0);
    VecDoub c(1);
    c = a;
    EXPECT_EQ(c.nn, 3);
    c[2] = -1.0;
    EXPECT_EQ(a[2], 1.0);
    EXPECT_NE(c.v, a.v);
    c = c;
    EXPECT_EQ(c[2], -1.0);
}

TEST(Matrix, DefaultAndDegenerateShapes)
{
    MatDoub none;
    EXPECT_EQ(none.nrows(), 0);
    EXPECT_EQ(none.ncols(), 0);
    EXPECT_EQ(none.v, nullptr);

    MatDoub noRows(0, 5);
    EXPECT_EQ(noRows.v, nullptr);
    EXPECT_EQ(noRows.ncols(), 5);

    MatDoub emptyRows(3, 0);
    ASSERT_NE(emptyRows.v, nullptr);
    for (Int i = 0; i < 3; i++)
        EXPECT_EQ(emptyRows[i], nullptr);
}

TEST(Matrix, FilledStorageIsOneRowMajorBlock)
{
    MatDoub m(2, 3, 1.5);
    EXPECT_EQ(m.v[1], m.v[0] + 3);
    for (Int i = 0; i < 2; i++)
        for (Int j = 0; j < 3; j++)
            EXPECT_EQ(m[i][j], 1.5);
}

TEST(Matrix, AssignmentTakesShapeAndValuesAndStaysIndependent)
{
    // Equal shape, larger, smaller, empty, and itself.
    MatDoub a(3, 3, 1.0), b(3, 3, 2.0);
    a = b;
    b[2][2] = 7.0;
    EXPECT_EQ(a[2][2], 2.0);

    MatDoub target(2, 5, 1.0);
    for (const MatDoub &source : {MatDoub(10, 10, 4.0), MatDoub(1, 2, -1.0), MatDoub()}) {
        target = source;
        ASSERT_EQ(target.nrows(), source.nrows());
        ASSERT_EQ(target.ncols(), source.ncols());
        for (Int i = 0; i < source.nrows(); i++)
            for (Int j = 0; j < source.ncols(); j++)
                EXPECT_EQ(target[i][j], source[i][j]);
    }

    a = a;
    EXPECT_EQ(a.nrows(), 3);
    EXPECT_EQ(a[1][1], 2.0);
}

TEST(Matrix, CopiesAreIndependent)
{
    MatDoub a(2, 2, 1.0);
    MatDoub b(a);
    b[0][1] = 9.0;
    EXPECT_EQ(a[0][1], 1.0);
    a[1][0] = -3.0;
    EXPECT_EQ(b[1][0], 1.0);
}

namespace {
MatDoub counting(Int n, Int m)
{
    MatDoub r(n, m);
    for (Int i = 0; i < n; i++)
        for (Int j = 0; j < m; j++)
            r[i][j] = 10.0 * i + j;
    return r;
}
} // namespace

TEST(Matrix, TransposeAndBlocks)
{
    MatDoub a = counting(2, 3);
    MatDoub t = a.t();
    EXPECT_EQ(t.nrows(), 3);
    EXPECT_EQ(t.ncols(), 2);
    EXPECT_EQ(t[2][1], a[1][2]);
    EXPECT_EQ(a[1][2], 12.0);

    MatDoub k = counting(10, 10);
    MatDoub s12 = k.extractmat(0, 5, 6, 9);
    EXPECT_EQ(s12.nrows(), 6);
    EXPECT_EQ(s12.ncols(), 4);
    EXPECT_EQ(s12[0][0], k[0][6]);
    EXPECT_EQ(s12[5][3], k[5][9]);
    MatDoub one = k.extractmat(2, 2, 4, 4);
    EXPECT_EQ(one.nrows(), 1);
    EXPECT_EQ(one.ncols(), 1);
    EXPECT_EQ(one[0][0], 24.0);
    MatDoub s22 = k.extractmat(6, 9, 6, 9);
    EXPECT_EQ(s22[3][0], 96.0);
}

TEST(Matrix, ProductAndDifference)
{
    MatDoub a(2, 3), b(3, 2);
    Doub av[] = {1, 2, 3, 4, 5, 6}, bv[] = {7, 8, 9, 10, 11, 12};
    for (Int k = 0; k < 6; k++) {
        a.v[0][k] = av[k];
        b.v[0][k] = bv[k];
    }
    MatDoub c = a * b;
    ASSERT_EQ(c.nrows(), 2);
    ASSERT_EQ(c.ncols(), 2);
    EXPECT_EQ(c[0][0], 58.0);
    EXPECT_EQ(c[0][1], 64.0);
    EXPECT_EQ(c[1][0], 139.0);
    EXPECT_EQ(c[1][1], 154.0);

    MatDoub d = c - MatDoub(2, 2, 4.0);
    EXPECT_EQ(d[1][1], 150.0);
    EXPECT_EQ(c[1][1], 154.0);

    MatDoub z = MatDoub(2, 0) * MatDoub(0, 2);
    ASSERT_EQ(z.nrows(), 2);
    ASSERT_EQ(z.ncols(), 2);
    for (Int i = 0; i < 2; i++)
        for (Int j = 0; j < 2; j++)
            EXPECT_EQ(z[i][j], 0.0);
}

TEST(Matrix, ProductOfMismatchedShapesIsTheLibrarysError)
{
    testing::internal::CaptureStdout();
    const NrErrorSink shown(stdout);
    EXPECT_THROW((void)(MatDoub(3, 4, 1.0) * MatDoub(3, 3, 1.0)), Int);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind(
                  "ERROR: a_cols <> b_rows (4,3): dmmult\n     in file nr3.h", 0),
              0u);
}

TEST(Helpers, SignTakesTheSignOfTheSecondArgument)
{
    EXPECT_EQ(SIGN(3.0, 0.0), 3.0);
    EXPECT_EQ(SIGN(-3.0, 0.0), 3.0);
    EXPECT_EQ(SIGN(3.0, -2.0), -3.0);
    EXPECT_EQ(SIGN(-3.0, -2.0), -3.0);
    EXPECT_EQ(SIGN(-3.0, -0.0), 3.0);
    EXPECT_EQ(SIGN(3.0, std::nan("")), -3.0);
}

TEST(Helpers, MaxSquareAndSwap)
{
    Doub x = 1.0, y = 1.0;
    EXPECT_EQ(&MAX(x, y), &x);
    Doub big = 2.0;
    EXPECT_EQ(&MAX(x, big), &big);
    Doub nan = std::nan("");
    EXPECT_EQ(&MAX(x, nan), &x);
    EXPECT_EQ(MAX(Int(-4), Int(-7)), -4);
    EXPECT_EQ(SQR(-1.5), 2.25);
    Doub p = 1.0, q = 2.0;
    SWAP(p, q);
    EXPECT_EQ(p, 2.0);
    EXPECT_EQ(q, 1.0);
}

TEST(ErrorReport, PrintsHeaderNameAndLineThenThrowsOne)
{
    testing::internal::CaptureStdout();
    const NrErrorSink shown(stdout);
    Int line = __LINE__ + 2;
    try {
        raiseerror("some failure");
        FAIL() << "raiseerror returned";
    } catch (Int code) {
        EXPECT_EQ(code, 1);
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "ERROR: some failure\n     in file containers_test.cpp at line " + std::to_string(line) + "\n");
}

// A library has no terminal: with no sink set, on any thread, nothing is written.
TEST(ErrorReport, GoesNowhereUnlessAsked)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_THROW(raiseerror("unasked"), Int);
    std::thread([] { EXPECT_THROW(raiseerror("unasked on a thread"), Int); }).join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ErrorReport, GoesWhereTheThreadPointsItOrNowhere)
{
    std::FILE *sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    testing::internal::CaptureStdout();
    std::thread([sink] {
        {
            const NrErrorSink redirected(sink);
            EXPECT_THROW(raiseerror("redirected"), Int);
            const NrErrorSink silenced(nullptr);
            EXPECT_THROW(raiseerror("silenced"), Int);
        }
        EXPECT_EQ(nrerrfile, nullptr);
    }).join();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(nrerrfile, nullptr);
    std::rewind(sink);
    char text[64] = {};
    EXPECT_GT(std::fread(text, 1, sizeof text - 1, sink), 0u);
    EXPECT_EQ(std::string(text).rfind("ERROR: redirected\n", 0), 0u);
    EXPECT_EQ(std::string(text).find("silenced"), std::string::npos);
    std::fclose(sink);
}

TEST(Matrix, MovingHandsOverTheStorage)
{
    MatDoub a(4, 2, 3.0);
    Doub *block = a.v[0];
    MatDoub b(std::move(a));
    EXPECT_EQ(b.v[0], block);
    EXPECT_EQ(b.nrows(), 4);
    EXPECT_EQ(a.v, nullptr);
    MatDoub c(1, 1, 0.0);
    c = std::move(b);
    EXPECT_EQ(c.v[0], block);
    EXPECT_EQ(c[3][1], 3.0);
}
