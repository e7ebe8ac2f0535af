#include "hmunit.h"
#include "pointspread.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace tavrin;

namespace {

// b = (5, -3, 8), A = a times the identity, for points of radius 48.
CalibrationParameters sphereParameters(double a, double b0 = 5)
{
    CalibrationParameters p{MatDoub(3, 1), MatDoub(3, 3, 0.0), MatDoub(3, 3, 0.0)};
    const double b[3] = {b0, -3, 8};
    for (int i = 0; i < 3; i++) {
        p.Bias[i][0] = b[i];
        p.A[i][i] = a;
        p.Ainv[i][i] = 1 / a;
    }
    return p;
}

} // namespace

TEST(HmUnit, TheMedianDistanceStandsAgainstHmWithinAFactorOfFive)
{
    MatDoub points = ellipsoidPoints(sphereTruth(1, 5, -3, 8), 48.0, 1001, 0.0, 7);
    // Spikes far out in almost half the points leave the median where it is.
    for (int k = 0; k < 500; k++)
        points[k][0] += 1e6;
    for (const auto &[hm, differs] : {std::pair{48.0, false},
                                      {239.0, false},
                                      {241.0, true},
                                      {9.7, false},
                                      {9.5, true},
                                      {48000.0, true},
                                      {-48.0, false}}) {
        const HmUnitCheck check = CheckHmUnit(points, sphereParameters(48 / hm), hm);
        EXPECT_NEAR(check.medianDistance, 48.0, 1e-9) << hm;
        EXPECT_EQ(check.scaleDiffers, differs) << hm;
        EXPECT_FALSE(check.valuesVanish) << hm; // nothing shown, nothing lost
    }
}

TEST(HmUnit, AZeroShownIsLostOnlyBeyondItsScale)
{
    const MatDoub points = ellipsoidPoints(sphereTruth(1, 5, -3, 8), 48.0, 200, 0.0, 7);
    const auto shown = [](const CalibrationParameters &p) {
        QStringList texts;
        for (const double v : p.values())
            texts << QString::number(v, 'f', 4);
        return texts;
    };
    CalibrationParameters p = sphereParameters(1);
    p.A[0][1] = 4e-5; // a misalignment of a well-aligned sensor
    p.Bias[0][0] = 4e-5;
    EXPECT_FALSE(CheckHmUnit(points, p, 48, shown(p)).valuesVanish);
    CalibrationParameters small = sphereParameters(0.001);
    small.A[0][1] = 4e-5; // 4 % of the largest entry of A
    EXPECT_TRUE(CheckHmUnit(points, small, 48, shown(small)).valuesVanish);
    EXPECT_FALSE(CheckHmUnit(points, small, 48).valuesVanish);
    const QString message = hmUnitWarningMessage(CheckHmUnit(points, small, 48000, shown(small)));
    EXPECT_EQ(message, "Hm is 48000, and the measurements lie at a median distance of 48 from the bias b: Hm "
                       "must be in the unit of the measurements. Some results are not zero but show as zero "
                       "with four decimals.");
}

// A large set's median distance is bracketed by the median of an even
// sample and picked among the few points in the bracket: it is still the
// exact one, whether the sample guesses it well, badly, or meets distances
// that overflow.
TEST(HmUnit, TheMedianDistanceOfALargeSetIsExact)
{
    const int n = 120001;
    const CalibrationParameters p = sphereParameters(1);
    const auto exactMedian = [&](const MatDoub &points) {
        std::vector<double> d(static_cast<size_t>(n));
        for (int k = 0; k < n; k++)
            d[size_t(k)] = std::sqrt(SQR(points[k][0] - 5) + SQR(points[k][1] + 3) + SQR(points[k][2] - 8));
        std::nth_element(d.begin(), d.begin() + n / 2, d.end());
        return d[size_t(n / 2)];
    };
    const MatDoub noisy = ellipsoidPoints(sphereTruth(1, 5, -3, 8), 48.0, n, 0.5, 3);
    // Every point the even sample takes lies at radius 10, the others about 48.
    MatDoub misled = noisy;
    const int stride = n / MedianSampleSize;
    for (int k = 0; k < n; k += stride)
        for (int i = 0; i < 3; i++)
            misled[k][i] = p.Bias[i][0] + (noisy[k][i] - p.Bias[i][0]) * 10 / 48;
    MatDoub overflowing = noisy;
    for (int k = 0; k < n; k += 7)
        overflowing[k][0] = 1e300;
    const MatDoub equal = ellipsoidPoints(sphereTruth(1, 0, 0, 0), 48.0, n, 0.0, 3);
    for (const MatDoub *points : std::initializer_list<const MatDoub *>{&noisy, &misled, &overflowing}) {
        const double median = CheckHmUnit(*points, p, 48).medianDistance;
        EXPECT_EQ(median, exactMedian(*points));
    }
    EXPECT_NEAR(CheckHmUnit(misled, p, 48).medianDistance, 48.0, 2.0);
    CalibrationParameters centred = sphereParameters(1, 0);
    centred.Bias[1][0] = centred.Bias[2][0] = 0;
    EXPECT_NEAR(CheckHmUnit(equal, centred, 48).medianDistance, 48.0, 1e-12);
}

// A fit far from the points puts their median |h - b| far from Hm too: the
// unit may be right, and the check says the fit failed instead.
TEST(HmUnit, AFailedFitIsNoOtherUnit)
{
    const MatDoub points = ellipsoidPoints(sphereTruth(1, 5, -3, 8), 48.0, 1001, 0.0, 7);
    const HmUnitCheck unit = CheckHmUnit(points, sphereParameters(0.001), 48000);
    EXPECT_TRUE(unit.scaleDiffers);
    EXPECT_FALSE(unit.fitFails);
    EXPECT_NEAR(unit.medianNormError, 0.0, 1e-9);
    // b on one of the points, A the identity: the readings calibrate to
    // about 68, far from an Hm of 4.8, which they should have been scaled to.
    CalibrationParameters failed = sphereParameters(1);
    for (int i = 0; i < 3; i++)
        failed.Bias[i][0] = points[0][i];
    const HmUnitCheck check = CheckHmUnit(points, failed, 4.8);
    EXPECT_FALSE(check.scaleDiffers);
    EXPECT_FALSE(check.warns());
    EXPECT_TRUE(check.fitFails);
    EXPECT_GT(check.medianNormError, 10.0);
}
