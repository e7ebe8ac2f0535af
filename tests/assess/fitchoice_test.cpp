#include "calibration.h"
#include "fitchoice.h"
#include "quality.h"
#include "synthetic.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

constexpr Doub Hm = 48.0;

Recording flatTurn(Doub wobbleDegrees)
{
    Recording r{sampleTruth};
    r.flat = true, r.sigma = 0.005 * Hm, r.wobble = wobbleDegrees * M_PI / 180, r.seed = 21;
    return r;
}

QualityReport judged(const MatDoub &points, FitModel model)
{
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const CalibrationRun run = CalibrateRawData(Hm, raw, model);
    EXPECT_FALSE(run.error.has_value());
    return AssessCalibration(run, Hm);
}

} // namespace

TEST(FitChoice, AutoChoosesByTheData)
{
    // Every orientation: the full model.
    Recording all{sampleTruth};
    all.sigma = 0.25;
    FitChoice c = ChooseFit(record(all).points, Hm);
    EXPECT_EQ(c.model, FitModel::Full);
    EXPECT_TRUE(c.reason.startsWith("full: the directions cover the sphere (100 of 100 cells hit"))
        << c.reason.toStdString();

    // A turn about one axis, level or tilting by a few degrees: the plane.
    for (const Doub wobble : {0.0, 3.0}) {
        c = ChooseFit(record(flatTurn(wobble)).points, Hm);
        EXPECT_EQ(c.model, FitModel::Planar) << wobble;
        EXPECT_TRUE(c.reason.startsWith("planar: the points spread across their plane by "))
            << c.reason.toStdString();
    }

    // A cap: a round sensor needs no more than a sphere, soft iron needs the
    // full model, and the criterion tells them apart.
    Recording cap{sphereTruth(1.02, 12.5, -7.3, 20.1)};
    cap.capShare = 0.3, cap.sigma = 0.01 * Hm;
    c = ChooseFit(record(cap).points, Hm);
    EXPECT_EQ(c.model, FitModel::Sphere) << c.reason.toStdString();
    cap.truth = sampleTruth;
    c = ChooseFit(record(cap).points, Hm);
    EXPECT_EQ(c.model, FitModel::Full) << c.reason.toStdString();
    EXPECT_TRUE(c.reason.contains("poor coverage (")) << c.reason.toStdString();
    EXPECT_TRUE(c.reason.contains("least information criterion (sphere ")) << c.reason.toStdString();
    ASSERT_TRUE(c.fit.has_value());
    for (Int i = 0; i < 3; i++)
        EXPECT_NEAR(c.fit->parameters.Bias[i][0], sampleTruth.b0[i], 0.03 * Hm);
}

TEST(FitChoice, AWideCapIsNoFlatRotation)
{
    Recording cap{sampleTruth};
    cap.capShare = 0.15, cap.sigma = 0.02 * Hm;
    const PlaneSpread plane = SpreadAboutPlane(record(cap).points);
    EXPECT_GT(plane.flatness(), 1.5 * QualityLimits::MaxFlatness);
    const PlaneSpread flat = SpreadAboutPlane(record(flatTurn(0.0)).points);
    EXPECT_LT(flat.flatness(), 0.02);
    EXPECT_GT(flat.normal[2], 0.99);
}

TEST(Verdict, NamesTheFirstCauseInItsOrder)
{
    // A flat turn is a flat rotation for every fit, however well it fits.
    const MatDoub flat = record(flatTurn(0.0)).points;
    for (const FitModel model : {FitModel::Exact, FitModel::Full, FitModel::Planar, FitModel::Auto}) {
        const QualityReport q = judged(flat, model);
        EXPECT_EQ(q.verdict, Verdict::FlatRotation) << fitModelName(model);
        EXPECT_TRUE(q.findings.emptyCap) << fitModelName(model);
    }

    // Half a sphere with spikes: poor coverage comes before the outliers.
    Recording half{sampleTruth};
    half.capShare = 0.5, half.sigma = 0.25, half.spikeShare = 0.02, half.minimumSpike = 0.2 * Hm;
    QualityReport q = judged(record(half).points, FitModel::Full);
    EXPECT_TRUE(q.findings.farPoints);
    EXPECT_EQ(q.verdict, Verdict::PoorCoverage);

    // Every orientation with spikes: the robust fit fits the rest, and the
    // spikes are what is left to name.
    half.capShare = 1.0;
    q = judged(record(half).points, FitModel::Full);
    EXPECT_FALSE(q.findings.residual);
    EXPECT_EQ(q.verdict, Verdict::LikelyOutliers);
    EXPECT_EQ(q.farPoints, 40);

    // Points on no ellipsoid: a poor fit, far points or not.
    MatDoub cube(2000, 3);
    std::mt19937 rng(5);
    std::uniform_real_distribution<Doub> side(-Hm, Hm);
    for (Int k = 0; k < cube.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            cube[k][i] = side(rng);
    EXPECT_EQ(judged(cube, FitModel::Full).verdict, Verdict::PoorFit);
}

TEST(Verdict, CoverageCountsDirectionsAboutTheRobustCentre)
{
    // The exact fit of a flat turn stretches the ellipsoid across the
    // plane, and its calibrated directions would look spread; about a
    // robust centre they stay on one ring.
    const QualityReport q = judged(record(flatTurn(0.0)).points, FitModel::Exact);
    EXPECT_LT(q.cellsHit, 20);
    EXPECT_GT(q.largestEmptyCap.radiusDegrees(), 60);
}

// Squares that overflow make the points' spread infinite: no plane, no fit,
// and a numerical failure to report, never the library's exception.
TEST(FitChoice, PointsWhoseSquaresOverflowFailCleanly)
{
    MatDoub points = ellipsoidPoints(sampleTruth, 1.0, 40, 0.01, 3);
    for (Int k = 0; k < points.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            points[k][i] *= k % 2 ? 1e300 : -1e-300;
    EXPECT_EQ(SpreadAboutPlane(points).flatness(), 1.0);
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere, FitModel::Planar})
        EXPECT_FALSE(FitRobust(points, Hm, model).has_value()) << fitModelName(model);
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const NrErrorSink silenced(nullptr);
    EXPECT_EQ(CalibrateRawData(Hm, raw, FitModel::Auto).error, CalibrationError::NumericalFailure);
}
