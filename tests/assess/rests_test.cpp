#include "bootstrap.h"
#include "fitchoice.h"
#include "quality.h"
#include "rests.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;

namespace {

constexpr Doub Hm = 48.0;

} // namespace

// Auto chose full for data/sample.txt after a rest of half its readings,
// and followed the rest.
TEST(RestsJudged, AutoChoosesAndFitsAsWithoutTheRest)
{
    const MatDoub clean = sampleLike();
    const FitChoice reference = ChooseFit(clean, Hm);
    ASSERT_TRUE(reference.fit);
    for (const Doub share : {0.5, 0.95}) {
        SCOPED_TRACE(share);
        const FitChoice c = ChooseFit(restedSample(1999, restFor(share, 2000), 3), Hm);
        ASSERT_FALSE(c.failed) << c.reason.toStdString();
        EXPECT_EQ(c.model, reference.model);
        ASSERT_TRUE(c.fit);
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(c.fit->parameters.Bias[i][0], reference.fit->parameters.Bias[i][0], 1e-3 * Hm);
    }
}

// A floor robot's rests: the exact fit said "poor fit" as the rest named the
// turning readings gross, and auto found no plausible model.
TEST(RestsJudged, AFloorRobotWithRestsTurnsFlat)
{
    const RobotRecorded robot = recordRobot(robotTruth(), Hm, 190, 6, 8, 10.0, 0.4, 8);
    const std::optional<EllipsoidFit> fit = FitEllipsoid(robot.points);
    ASSERT_TRUE(fit);
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, Hm);
    ASSERT_TRUE(p);
    const QualityReport q = AssessQuality(robot.points, *fit, *p, Hm);
    EXPECT_EQ(q.verdict, Verdict::FlatRotation);
    EXPECT_LT(q.plane.flatness(), 0.05);
    const FitChoice c = ChooseFit(robot.points, Hm);
    ASSERT_FALSE(c.failed) << c.reason.toStdString();
    EXPECT_EQ(c.model, FitModel::Planar);
}

// Drawn again and again, a long rest narrowed the intervals along its one
// direction.
TEST(RestsJudged, ARestNarrowsNoInterval)
{
    const MatDoub clean = sampleLike();
    const std::optional<RobustFit> plain = FitRobust(clean, Hm, FitModel::Full);
    const MatDoub rested = restedSample(1000, restFor(0.9, 2000), 4);
    const std::optional<RobustFit> fit = FitRobust(rested, Hm, FitModel::Full);
    ASSERT_TRUE(plain && fit);
    const Uncertainty a = BootstrapCalibration(clean, Hm, 200, BootstrapSeed, &*plain);
    const Uncertainty b = BootstrapCalibration(rested, Hm, 200, BootstrapSeed, &*fit);
    ASSERT_TRUE(a.known && b.known);
    for (int i = 0; i < 3; i++)
        EXPECT_GT(b.bias[i].high - b.bias[i].low, 0.7 * (a.bias[i].high - a.bias[i].low)) << i;
}
