#include "coverage.h"

#include "synthetic.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

void addAll(CoverageTracker &tracker, const MatDoub &points, int from = 0, int to = -1)
{
    for (int k = from; k < (to < 0 ? points.nrows() : to); k++)
        tracker.add({points[k][0], points[k][1], points[k][2]});
}

} // namespace

TEST(Coverage, FindsTheCentreAndCallsAFullSphereEnough)
{
    const Truth t = sphereTruth(1.0, 1200.0, -700.0, 300.0);
    CoverageTracker tracker(480.0);
    addAll(tracker, ellipsoidPoints(t, 480.0, 2000, 2.0, 5));
    const CoverageState s = tracker.state();
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(s.centre[size_t(k)], t.b0[k], 0.5);
    EXPECT_NEAR(s.radius, 480.0, 0.5);
    EXPECT_GT(s.biasError, 0.0);
    EXPECT_LT(s.biasError, 0.2);
    EXPECT_GE(s.cellsHit, 99);
    EXPECT_TRUE(s.enough);
}

TEST(Coverage, AHalfSphereOrTooFewPointsIsNotEnough)
{
    Recording r;
    r.truth = sampleTruth;
    r.capShare = 0.5;
    r.sigma = 0.3;
    CoverageTracker half(r.Hm);
    addAll(half, record(r).points);
    const CoverageState s = half.state();
    EXPECT_LE(s.cellsHit, 60);
    EXPECT_FALSE(s.enough);

    // Noisy points pin the centre down slowly: few of them leave it uncertain.
    r.capShare = 1.0;
    r.sigma = 3.0;
    CoverageTracker few(r.Hm);
    const MatDoub points = record(r).points;
    addAll(few, points, 0, 20);
    EXPECT_GT(few.state().biasError, 0.01 * r.Hm);
    EXPECT_FALSE(few.state().enough);

    CoverageTracker none(r.Hm);
    EXPECT_LT(none.state().biasError, 0.0);
    EXPECT_EQ(none.state().cellsHit, 0);
}

TEST(Coverage, TruncatingIsAddingOnlyTheFirstReadings)
{
    const MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 400, 0.5, 9);
    CoverageTracker cut(48.0), first(48.0);
    addAll(cut, points);
    cut.truncate(150);
    addAll(first, points, 0, 150);
    const CoverageState a = cut.state(), b = first.state();
    EXPECT_EQ(cut.readings().size(), 150u);
    EXPECT_EQ(a.cellsHit, b.cellsHit);
    EXPECT_EQ(a.centre, b.centre);
    EXPECT_EQ(a.biasError, b.biasError);
}
