#include "hmunit.h"
#include "synthetic.h"

#include <gtest/gtest.h>

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
