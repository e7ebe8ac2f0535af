#include "rests.h"
#include "robustfit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace tavrin;

namespace {

constexpr Doub Hm = 48.0;

Doub biasDistance(const CalibrationParameters &a, const CalibrationParameters &b)
{
    return std::sqrt(SQR(a.Bias[0][0] - b.Bias[0][0]) + SQR(a.Bias[1][0] - b.Bias[1][0]) +
                     SQR(a.Bias[2][0] - b.Bias[2][0]));
}

// The largest heading error of a planar calibration on the robot's
// readings without noise, its constant offset aside, in degrees.
Doub headingError(const RobotRecorded &robot, const CalibrationParameters &p)
{
    const Calibrator calibrate(p);
    std::vector<Doub> offsets;
    for (Int k = 0; k < robot.points.nrows(); k++) {
        Doub c[3];
        calibrate(robot.points[k], c);
        offsets.push_back(std::remainder(std::atan2(-c[1], c[0]) - robot.heading[size_t(k)], 2 * M_PI));
    }
    const Doub mean = std::accumulate(offsets.begin(), offsets.end(), 0.0) / Doub(offsets.size());
    Doub worst = 0.0;
    for (const Doub o : offsets)
        worst = std::max(worst, std::abs(std::remainder(o - mean, 2 * M_PI)));
    return worst * 180 / M_PI;
}

} // namespace

TEST(Rests, ThinToAFewReadingsOnlyWhereTheSensorRests)
{
    const MatDoub clean = sampleLike();
    // Readings in no order hold no rest, however their neighbours lie.
    EXPECT_TRUE(RestCounts(clean).empty());
    const MatDoub rested = restedSample(700, 1500, 2);
    const std::vector<int> counts = RestCounts(rested);
    ASSERT_EQ(counts.size(), size_t(rested.nrows()));
    const int inRest = std::accumulate(counts.begin() + 700, counts.begin() + 2200, 0);
    EXPECT_GE(inRest, RestReadings);
    EXPECT_LE(inRest, 3 * RestReadings);
    EXPECT_EQ(std::count(counts.begin(), counts.begin() + 700, 1), 700);
    // The reading after the rest lies at its attitude too.
    EXPECT_EQ(std::count(counts.begin() + 2201, counts.end(), 1), 1299);
    // Weights given count as they are but for a rest's thinning.
    const std::vector<int> twice(size_t(rested.nrows()), 2);
    const std::vector<int> doubled = RestCounts(rested, twice.data());
    for (size_t k = 0; k < counts.size(); k++)
        ASSERT_EQ(doubled[k], 2 * counts[k]) << k;
}

// Before the rests were thinned, a rest of half the readings made every
// turning reading gross, and the fits followed the rest.
TEST(Rests, NoShareOfRestMovesTheRobustFits)
{
    const MatDoub clean = sampleLike();
    for (const FitModel model : {FitModel::Full}) {
        const std::optional<RobustFit> reference = FitRobust(clean, Hm, model);
        ASSERT_TRUE(reference);
        for (const Doub share : {0.5, 0.7, 0.9, 0.95}) {
            SCOPED_TRACE(testing::Message() << fitModelName(model) << " " << share);
            const Int rest = restFor(share, clean.nrows()), at = 1000;
            const MatDoub points = restedSample(at, rest, 5);
            const std::vector<bool> gross = GrossPoints(points);
            EXPECT_EQ(std::count(gross.begin(), gross.end(), true), 0);
            const std::optional<RobustFit> fit = FitRobust(points, Hm, model);
            ASSERT_TRUE(fit);
            EXPECT_LT(biasDistance(fit->parameters, reference->parameters), 1e-3 * Hm);
            EXPECT_LE(fit->rejected.size(), reference->rejected.size() + 2);
            EXPECT_TRUE(std::none_of(fit->rejected.begin(), fit->rejected.end(),
                                     [&](int k) { return k >= at && k < at + rest; }));
        }
    }
}

TEST(Rests, SpikesBesideARestAreStillGross)
{
    const MatDoub clean = sampleLike();
    const std::optional<RobustFit> reference = FitRobust(clean, Hm, FitModel::Full);
    MatDoub points = restedSample(0, restFor(0.9, clean.nrows()), 9);
    const Int last = points.nrows() - 1, middle = points.nrows() - 1000;
    for (Int i = 0; i < 3; i++) {
        points[last][i] += 60 * Hm;
        points[middle][i] = 1e6;
    }
    const std::vector<bool> gross = GrossPoints(points);
    EXPECT_EQ(std::count(gross.begin(), gross.end(), true), 2);
    EXPECT_TRUE(gross[size_t(last)] && gross[size_t(middle)]);
    const std::optional<RobustFit> fit = FitRobust(points, Hm, FitModel::Full);
    ASSERT_TRUE(reference && fit);
    EXPECT_LT(biasDistance(fit->parameters, reference->parameters), 1e-3 * Hm);
    EXPECT_TRUE(std::count(fit->rejected.begin(), fit->rejected.end(), int(last)) &&
                std::count(fit->rejected.begin(), fit->rejected.end(), int(middle)));
}

// A floor robot that rests at its first heading for most of the recording:
// the gross rule named the turning readings, and the planar fit put b 30
// units away.
TEST(Rests, AFloorRobotsRestsLeaveItsPlanarFit)
{
    for (const Int firstRest : {0, 190, 2000}) {
        SCOPED_TRACE(firstRest);
        const RobotRecorded robot = recordRobot(robotTruth(), Hm, firstRest, 12, 8, 5.0, 0.05, 8),
                            exact = recordRobot(robotTruth(), Hm, firstRest, 12, 8, 5.0, 0.0, 8);
        EXPECT_LT(SpreadAboutPlane(robot.points).flatness(), 0.05);
        const std::vector<bool> gross = GrossPoints(robot.points);
        EXPECT_EQ(std::count(gross.begin(), gross.end(), true), 0);
        const std::optional<RobustFit> fit = FitRobust(robot.points, Hm, FitModel::Planar);
        ASSERT_TRUE(fit);
        EXPECT_NEAR(fit->parameters.Bias[0][0], 14.0, 0.5);
        EXPECT_NEAR(fit->parameters.Bias[1][0], -9.0, 0.5);
        EXPECT_LT(headingError(exact, fit->parameters), 0.1);
        EXPECT_TRUE(fit->rejected.empty());
    }
}

// Readings brought back to one attitude again and again, never for long
// enough to be a rest: nine of every ten readings, and still no turning
// reading is gross.
TEST(Rests, AnAttitudeReturnedToIsNoCluster)
{
    const MatDoub clean = sampleLike(), truth = sampleLike(0.0);
    const std::optional<RobustFit> reference = FitRobust(clean, Hm, FitModel::Full);
    const MatDoub cluster = withRest(clean, 0, 9 * clean.nrows(), truth[0], 0.25, 6);
    MatDoub points(10 * clean.nrows(), 3);
    for (Int k = 0; k < points.nrows(); k++) {
        const Doub *from = k % 10 ? cluster[k - k / 10 - 1] : clean[k / 10];
        std::copy(from, from + 3, points[k]);
    }
    // A turning reading near the attitude may join two visits into a rest;
    // no more.
    const std::vector<int> counts = RestCounts(points);
    EXPECT_GE(counts.empty() ? points.nrows() : std::accumulate(counts.begin(), counts.end(), 0),
              points.nrows() - 100);
    const std::vector<bool> gross = GrossPoints(points);
    EXPECT_EQ(std::count(gross.begin(), gross.end(), true), 0);
    // Far from flat, as the readings without the cluster (0.72): the
    // cluster's medians alone measured 0.03.
    EXPECT_GT(SpreadAboutPlane(points).flatness(), 0.5);
    const std::optional<RobustFit> fit = FitRobust(points, Hm, FitModel::Full);
    ASSERT_TRUE(reference && fit);
    EXPECT_LT(biasDistance(fit->parameters, reference->parameters), 1e-3 * Hm);
}
