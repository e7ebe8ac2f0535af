#include "ellipsoidfit.h"
#include "gaussj.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;

namespace {

CalibrationParameters calibrate(const MatDoub &p, Doub Hm, EllipsoidFit *fitOut = nullptr)
{
    std::optional<EllipsoidFit> fit = FitEllipsoid(p);
    EXPECT_TRUE(fit.has_value());
    if (!fit)
        return {};
    if (fitOut)
        *fitOut = *fit;
    std::optional<CalibrationParameters> c = DeriveCalibration(*fit, Hm);
    EXPECT_TRUE(c.has_value());
    return c ? *c : CalibrationParameters{};
}

bool fails(const MatDoub &p)
{
    testing::internal::CaptureStdout();
    std::optional<EllipsoidFit> fit = FitEllipsoid(p);
    bool failed = !fit || !DeriveCalibration(*fit, 48.0);
    testing::internal::GetCapturedStdout();
    return failed;
}

} // namespace

TEST(EllipsoidFit, NoisySphere)
{
    const Doub r = 50.0, Hm = 48.0;
    MatDoub p = ellipsoidPoints(sphereTruth(r / Hm, 10, -20, 30), Hm, 3000, 0.2, 1);
    EllipsoidFit fit;
    CalibrationParameters c = calibrate(p, Hm, &fit);
    EXPECT_NEAR(fit.TestEllip, 1.0, 1e-4);
    EXPECT_FALSE(fit.outlierWarning);
    EXPECT_NEAR(c.Bias[0][0], 10.0, 0.05);
    EXPECT_NEAR(c.Bias[1][0], -20.0, 0.05);
    EXPECT_NEAR(c.Bias[2][0], 30.0, 0.05);
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            EXPECT_NEAR(c.A[i][j], i == j ? r / Hm : 0.0, 1e-3);
}

TEST(EllipsoidFit, TestValueSeparatesRoundFromFlat)
{
    EllipsoidFit fit;
    calibrate(ellipsoidPoints(sphereTruth(1.0, 0, 0, 0), 1.0, 2000, 0.0, 2), 1.0, &fit);
    EXPECT_NEAR(fit.TestEllip, 1.0, 1e-9);

    Truth t = sphereTruth(1.0, 1, 2, 3);
    t.A0[2][2] = 1.2;
    calibrate(ellipsoidPoints(t, 40.0, 2000, 0.01, 3), 40.0, &fit);
    EXPECT_GT(fit.TestEllip, 0.9);
    EXPECT_FALSE(fit.outlierWarning);

    t.A0[2][2] = 1.3;
    calibrate(ellipsoidPoints(t, 40.0, 2000, 0.01, 3), 40.0, &fit);
    EXPECT_NEAR(fit.TestEllip, 0.86, 0.01);
    EXPECT_TRUE(fit.outlierWarning);
}

TEST(EllipsoidFit, RecoversRotatedSoftIronAndBias)
{
    const Doub Hm = 48.0, sigma = 0.1;
    const Int n = 5000;
    Truth t = rotatedEllipsoid(1.15, 0.92, 1.04, 0.4, -0.7, 1.1, 12.5, -7.25, 20.0);
    CalibrationParameters c = calibrate(ellipsoidPoints(t, Hm, n, sigma, 4), Hm);
    // Centre and shape errors of a least-squares fit shrink like sigma / sqrt(n).
    const Doub biasTol = 10 * sigma / std::sqrt(Doub(n));
    const Doub shapeTol = 10 * sigma / (Hm * std::sqrt(Doub(n)));
    for (Int i = 0; i < 3; i++) {
        EXPECT_NEAR(c.Bias[i][0], t.b0[i], biasTol);
        for (Int j = 0; j < 3; j++) {
            EXPECT_NEAR(c.A[i][j], t.A0[i][j], shapeTol) << i << j;
        }
    }
}

TEST(EllipsoidFit, HmOnlyScalesA)
{
    MatDoub p = ellipsoidPoints(rotatedEllipsoid(1.1, 0.9, 1.0, 0.3, 0.2, 0.1, 5, 6, 7), 48.0, 1000, 0.3, 5);
    CalibrationParameters once = calibrate(p, 48.0), twice = calibrate(p, 96.0);
    for (Int i = 0; i < 3; i++) {
        EXPECT_EQ(twice.Bias[i][0], once.Bias[i][0]);
        for (Int j = 0; j < 3; j++)
            EXPECT_NEAR(twice.A[i][j], once.A[i][j] / 2, 1e-15);
    }
}

TEST(EllipsoidFit, CalibratedSurfaceHasNormHm)
{
    const Doub Hm = 48.0;
    Truth t = rotatedEllipsoid(1.3, 0.8, 1.0, 0.9, 0.5, -0.3, -30, 4, 11);
    MatDoub p = ellipsoidPoints(t, Hm, 2000, 0.0, 6);
    CalibrationParameters c = calibrate(p, Hm);
    MatDoub Ainv(c.A);
    gaussj(Ainv);
    for (Int k = 0; k < p.nrows(); k += 97) {
        Doub norm2 = 0.0;
        for (Int i = 0; i < 3; i++) {
            Doub v = 0.0;
            for (Int j = 0; j < 3; j++)
                v += Ainv[i][j] * (p[k][j] - c.Bias[j][0]);
            norm2 += v * v;
        }
        EXPECT_NEAR(std::sqrt(norm2), Hm, 1e-6);
    }
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            EXPECT_NEAR(c.A[i][j], c.A[j][i], 1e-12);
}

TEST(EllipsoidFit, DegeneratePointSetsFailCleanly)
{
    EXPECT_TRUE(fails(MatDoub(0, 3)));

    MatDoub line(50, 3);
    for (Int k = 0; k < 50; k++) {
        line[k][0] = k - 25.0;
        line[k][1] = 0.0;
        line[k][2] = 0.0;
    }
    EXPECT_TRUE(fails(line));

    MatDoub plane(200, 3);
    for (Int k = 0; k < 200; k++) {
        plane[k][0] = 40 * std::cos(0.1 * k);
        plane[k][1] = 40 * std::sin(0.1 * k) + 0.01 * k;
        plane[k][2] = 5.0;
    }
    EXPECT_TRUE(fails(plane));

    MatDoub same(20, 3, 1.0);
    EXPECT_TRUE(fails(same));
}

// What the dialog shows on standard output, where it sends the library's errors.
TEST(EllipsoidFit, EmptySetPrintsTheSingularMatrixError)
{
    testing::internal::CaptureStdout();
    const NrErrorSink shown(stdout);
    EXPECT_FALSE(FitEllipsoid(MatDoub(0, 3)).has_value());
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("ERROR: gaussj: Singular Matrix\n", 0), 0u);
}

TEST(EllipsoidFit, ScatterMatrixEqualsTheDesignProductBitForBit)
{
    MatDoub p = ellipsoidPoints(rotatedEllipsoid(1.1, 0.9, 1.0, 0.3, 0.2, 0.1, 5, 6, 7), 48.0, 777, 0.3, 8);
    MatDoub D(10, p.nrows());
    for (Int k = 0; k < p.nrows(); k++) {
        Doub t[10];
        quadricTerms(p[k][0], p[k][1], p[k][2], t);
        for (Int i = 0; i < 10; i++)
            D[i][k] = t[i];
    }
    MatDoub expected = D * D.t();
    MatDoub K = scatterMatrix(p);
    for (Int i = 0; i < 10; i++)
        for (Int j = 0; j < 10; j++)
            EXPECT_EQ(K[i][j], expected[i][j]) << i << ", " << j;
}

TEST(EllipsoidFit, TwoThreadsFitBitForBitAsOne)
{
    const MatDoub p =
        ellipsoidPoints(rotatedEllipsoid(1.2, 0.8, 1.0, 0.4, 0.1, 0.3, 9, -3, 2), 48.0, 3001, 0.5, 4);
    // A resample: points counted zero, one or several times.
    std::vector<Int> weights(size_t(p.nrows()));
    for (size_t k = 0; k < weights.size(); k++)
        weights[k] = Int(k * 7 % 4);
    for (const Int *w : {static_cast<const Int *>(nullptr), static_cast<const Int *>(weights.data())}) {
        const WorkControl one = WorkControl().withThreads(1), two = WorkControl().withThreads(2);
        const std::optional<EllipsoidFit> a = FitEllipsoid(p, w, one), b = FitEllipsoid(p, w, two);
        ASSERT_TRUE(a && b);
        for (Int i = 0; i < 3; i++) {
            EXPECT_EQ(a->a[i][0], b->a[i][0]);
            for (Int j = 0; j < 3; j++)
                EXPECT_EQ(a->M[i][j], b->M[i][j]);
        }
        EXPECT_EQ(a->d, b->d);
        EXPECT_EQ(two.mostThreads(), 2);
    }
}

namespace {

// The largest difference from the truth, relative to the largest entry of A0
// for A and to Hm for b.
void expectTruth(const CalibrationParameters &c, const Truth &t, Doub Hm, Doub relative, const char *name)
{
    Doub scaleA = 0.0;
    for (const auto &row : t.A0)
        for (const Doub a : row)
            scaleA = std::max(scaleA, std::abs(a));
    for (Int i = 0; i < 3; i++) {
        EXPECT_NEAR(c.Bias[i][0], t.b0[i], relative * Hm) << name << " b" << i;
        for (Int j = 0; j < 3; j++)
            EXPECT_NEAR(c.A[i][j], t.A0[i][j], relative * scaleA) << name << " A" << i << j;
    }
}

} // namespace

TEST(EllipsoidFit, NoiseFreeSurfacesGiveTheirTruthExactly)
{
    struct Case {
        const char *name;
        Truth truth;
        Doub Hm;
    } cases[] = {
        {"sphere at the origin", sphereTruth(1.0, 0, 0, 0), 48.0},
        {"sphere far off", sphereTruth(1.0, 1000, -500, 300), 48.0},
        {"sphere in tesla", sphereTruth(1.0, 12.5e-6, -7.3e-6, 20.1e-6), 48e-6},
        {"ellipsoid", rotatedEllipsoid(1.1, 0.9, 1.0, 0.3, 0.2, 0.1, 12.5, -7.3, 20.1), 48.0},
        {"spheroid", rotatedEllipsoid(1.0, 1.0, 1.2, 0.4, -0.3, 0.8, -30, 40, 5), 48.0},
        {"ellipsoid in counts", rotatedEllipsoid(1.3, 0.7, 1.0, 1.0, 0.5, -0.2, 1.2e5, -6e4, 3e4), 48000.0},
    };
    for (const Case &k : cases) {
        const MatDoub p = ellipsoidPoints(k.truth, k.Hm, 2000, 0.0, 11);
        expectTruth(calibrate(p, k.Hm), k.truth, k.Hm, 1e-9, k.name);
    }
}

TEST(EllipsoidFit, FewerThanTenDistinctPointsFail)
{
    const MatDoub cloud =
        ellipsoidPoints(rotatedEllipsoid(1.1, 0.9, 1.0, 0.3, 0.2, 0.1, 5, 6, 7), 48.0, 10, 0.5, 4);
    MatDoub repeated(40, 3);
    for (Int k = 0; k < 40; k++)
        for (Int c = 0; c < 3; c++)
            repeated[k][c] = cloud[k % 9][c];
    EXPECT_TRUE(fails(repeated)) << "nine distinct points, each four times";
    for (Int c = 0; c < 3; c++)
        repeated[39][c] = cloud[9][c];
    EXPECT_FALSE(fails(repeated)) << "a tenth distinct point";

    // Only points with a weight count.
    std::vector<Int> weights(40, 0);
    for (Int k = 0; k < 9; k++)
        weights[k] = 3;
    weights[39] = 0;
    EXPECT_FALSE(FitEllipsoid(repeated, weights.data()).has_value());
}

TEST(EllipsoidFit, PointsThatSingleOutNoQuadricFail)
{
    // Exactly on two circles of one sphere, which are also on many other
    // quadrics (the pair of their planes, and all that lies between).
    MatDoub circles(200, 3);
    for (Int k = 0; k < 200; k++) {
        const Doub angle = 0.1 * k, z = k % 2 ? 20.0 : -10.0, r = std::sqrt(48.0 * 48.0 - z * z);
        circles[k][0] = r * std::cos(angle);
        circles[k][1] = r * std::sin(angle);
        circles[k][2] = z;
    }
    EXPECT_TRUE(fails(circles));
}

// A ring of a small ellipsoid far from the origin: without conditioning
// only the last digits of the sums tell its shape, and rounding the input
// at its seventh digit moved b by a few percent of the field at ten times
// the offset of the recording that showed it (|h| about 470, radius 41).
TEST(EllipsoidFit, LargeOffsetDoesNotAmplifyRounding)
{
    const Doub Hm = 41.0;
    const MatDoub directions = ellipsoidPoints(sphereTruth(1.0, 0, 0, 0), 1.0, 8000, 0.0, 7);
    for (const Doub offset : {470.0, 4700.0}) {
        SCOPED_TRACE(offset);
        const Truth t =
            rotatedEllipsoid(1.04, 0.97, 1.0, 0.3, -0.2, 0.1, 0.64 * offset, -0.53 * offset, 0.57 * offset);
        std::mt19937 rng(8);
        std::normal_distribution<Doub> noise(0.0, 0.3);
        std::uniform_real_distribution<Doub> jitter(-1e-7, 1e-7);
        MatDoub p(2000, 3), rounded(2000, 3);
        for (Int k = 0, n = 0; n < 2000; k++) {
            if (std::abs(directions[k][2]) > 0.3)
                continue;
            for (Int i = 0; i < 3; i++) {
                p[n][i] = t.b0[i] + noise(rng);
                for (Int j = 0; j < 3; j++)
                    p[n][i] += t.A0[i][j] * Hm * directions[k][j];
                rounded[n][i] = p[n][i] * (1.0 + jitter(rng));
            }
            n++;
        }
        const CalibrationParameters a = calibrate(p, Hm), b = calibrate(rounded, Hm);
        for (Int i = 0; i < 3; i++) {
            EXPECT_LT(std::abs(a.Bias[i][0] - b.Bias[i][0]), 1e-4 * Hm);
            EXPECT_NEAR(a.Bias[i][0], t.b0[i], 0.05);
        }
    }
}

// Shifted by 2^40, the points of a sensor keep 0.25 mT of resolution, but
// the quadric's constant term in the measurements' own coordinates cancels
// all the digits of Hm^2: the calibration was pure rounding. Derived in the
// frame of the points it is the unshifted one, moved by the shift; a frame
// near the origin leaves the derivation, and so its digits, as they were.
TEST(EllipsoidFit, FarFromTheOriginTheCalibrationIsDerivedInThePointsFrame)
{
    const Doub Hm = 48.0;
    const MatDoub p = ellipsoidPoints(sampleTruth, Hm, 2000, 0.25, 9);
    EllipsoidFit near;
    const CalibrationParameters own = calibrate(p, Hm, &near);
    EXPECT_FALSE(near.frame);
    for (const Doub shift : {std::ldexp(1.0, 20), std::ldexp(1.0, 40)}) {
        SCOPED_TRACE(shift);
        MatDoub shifted = p;
        for (Int k = 0; k < p.nrows(); k++)
            for (Int i = 0; i < 3; i++)
                shifted[k][i] += shift;
        EllipsoidFit far;
        const CalibrationParameters c = calibrate(shifted, Hm, &far);
        ASSERT_TRUE(far.frame);
        for (Int i = 0; i < 3; i++) {
            EXPECT_NEAR(c.Bias[i][0] - shift, own.Bias[i][0], 1e-3);
            for (Int j = 0; j < 3; j++)
                EXPECT_NEAR(c.A[i][j], own.A[i][j], 1e-5);
        }
    }
}
