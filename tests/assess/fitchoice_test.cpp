#include "calibration.h"
#include "fitchoice.h"
#include "handpath.h"
#include "quality.h"
#include "synthetic.h"

#include <QRegularExpression>

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
    EXPECT_TRUE(c.reason.contains("least predicted bias error (sphere ")) << c.reason.toStdString();
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

namespace {

CalibrationRun calibrated(const MatDoub &points, FitModel model)
{
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const NrErrorSink silenced(nullptr);
    return CalibrateRawData(Hm, raw, model);
}

} // namespace

// However far a few gross points lie, full and auto fit the others as if
// they were not there, and name every one of them rejected.
TEST(FitChoice, GrossSpikesMoveNoRobustFit)
{
    Recording clean{sampleTruth};
    clean.sigma = 0.005 * Hm, clean.seed = 8;
    const MatDoub base = record(clean).points;
    const CalibrationRun reference = calibrated(base, FitModel::Full);
    ASSERT_FALSE(reference.error.has_value());

    struct Attack {
        const char *name;
        MatDoub points;
        std::vector<Int> spikes;
    };
    std::vector<Attack> attacks;
    const auto withSpikes = [&](const char *name, const std::vector<std::array<Doub, 3>> &moves) {
        Attack a{name, base, {}};
        for (size_t s = 0; s < moves.size(); s++) {
            const Int k = Int((2 * s + 1) * size_t(base.nrows()) / (2 * moves.size()));
            for (Int i = 0; i < 3; i++)
                a.points[k][i] = moves[s][size_t(i)];
            a.spikes.push_back(k);
        }
        attacks.push_back(a);
    };
    withSpikes("one at 60 Hm", {{60 * Hm, 0, 0}});
    withSpikes("one at 1e6", {{1e6, -1e6, 1e6}});
    std::vector<std::array<Doub, 3>> ten;
    for (Int s = 0; s < 10; s++)
        ten.push_back({2.0 * (s + 1) * Hm * std::cos(s), 2.0 * (s + 1) * Hm * std::sin(s), -Hm * s});
    withSpikes("ten up to 20 Hm", ten);
    for (const Doub share : {0.02, 0.05}) {
        Recording spiky = clean;
        spiky.spikeShare = share, spiky.minimumSpike = 0.2 * Hm;
        const Recorded r = record(spiky);
        attacks.push_back({share < 0.03 ? "2 %" : "5 %", r.points, r.spikes});
    }
    for (const Attack &a : attacks)
        for (const FitModel model : {FitModel::Full, FitModel::Auto}) {
            SCOPED_TRACE(std::string(a.name) + ", " + fitModelName(model));
            const CalibrationRun run = calibrated(a.points, model);
            ASSERT_FALSE(run.error.has_value());
            EXPECT_EQ(run.model, FitModel::Full);
            for (Int i = 0; i < 3; i++)
                EXPECT_NEAR(run.parameters.Bias[i][0], reference.parameters.Bias[i][0], 0.002 * Hm);
            for (const Int k : a.spikes)
                EXPECT_TRUE(std::count(run.robust->rejected.begin(), run.robust->rejected.end(), k)) << k;
            EXPECT_EQ(AssessCalibration(run, Hm).cellsHit, 100);
        }
}

// A clean sensor of unequal axis gains fails the ellipsoid test, yet has
// no outliers: every fit calls it good, and nothing recommends another fit.
TEST(Verdict, AnAnisotropicSensorWithoutFarPointsIsGood)
{
    for (const Doub ratio : {1.3, 1.5, 2.0}) {
        Recording r{rotatedEllipsoid(1.0, 1.0, ratio, 0.3, 0.2, -0.1, 12.5, -7.3, 20.1)};
        r.sigma = 0.002 * Hm, r.seed = 40;
        const MatDoub points = record(r).points;
        for (const FitModel model : {FitModel::Exact, FitModel::Full, FitModel::Auto}) {
            SCOPED_TRACE(std::to_string(ratio) + " " + fitModelName(model));
            const CalibrationRun run = calibrated(points, model);
            ASSERT_FALSE(run.error.has_value());
            EXPECT_TRUE(run.fit.outlierWarning);
            const QualityReport q = AssessCalibration(run, Hm);
            EXPECT_TRUE(q.findings.shape);
            EXPECT_EQ(q.farPoints, 0);
            EXPECT_EQ(q.verdict, Verdict::Good);
        }
    }
}

// Auto's reason and the verdict count the directions about one centre, so
// they name the same cells, whatever fit auto took.
TEST(Verdict, AutoAndTheVerdictCountTheSameCells)
{
    for (const Doub share : {1.0, 0.5, 0.15}) {
        Recording r{sampleTruth};
        r.capShare = share, r.sigma = 0.02 * Hm, r.spikeShare = 0.02, r.seed = 41;
        const CalibrationRun run = calibrated(record(r).points, FitModel::Auto);
        ASSERT_FALSE(run.error.has_value());
        const QualityReport q = AssessCalibration(run, Hm);
        EXPECT_TRUE(run.fitReason.contains(QStringLiteral("%1 of 100 cells hit, largest empty cap %2 degrees")
                                               .arg(q.cellsHit)
                                               .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1)))
            << share << " " << run.fitReason.toStdString() << " verdict " << q.cellsHit;
    }
}

// A fit whose bias lies far from the data or whose axes differ beyond any
// real soft iron is no answer: auto falls to the next model and says why.
TEST(FitChoice, AutoLeavesOutImplausibleFits)
{
    const MatDoub cloud = ellipsoidPoints(sphereTruth(1.0, 0.0, 0.0, 0.0), Hm, 500, 0.0, 9);
    const std::vector<bool> none(size_t(cloud.nrows()), false);
    const PointSpread spread = SpreadOf(cloud, nullptr, &none);
    EXPECT_NEAR(spread.radius, Hm, 0.01 * Hm);
    CalibrationParameters p;
    p.Bias = MatDoub(3, 1, 0.0);
    for (Int i = 0; i < 3; i++)
        p.Bias[i][0] = spread.mean[i];
    p.A = MatDoub(3, 3, 0.0);
    p.Ainv = MatDoub(3, 3, 0.0);
    for (Int i = 0; i < 3; i++)
        p.A[i][i] = 1.0;
    EXPECT_TRUE(Implausibility(p, spread).isEmpty());
    p.Bias[1][0] += 39 * spread.radius;
    EXPECT_EQ(Implausibility(p, spread), "its bias lies 39.0 radii of the points from their mean, beyond 10");
    p.Bias[1][0] = spread.mean[1], p.A[2][2] = 5.0;
    EXPECT_EQ(Implausibility(p, spread), "its axes differ by 1 : 5.0, beyond 1 : 4");

    // Rotated ellipsoids of every orientation, stretched beyond real soft
    // iron: full fits them exactly, and is left out for its axes; auto falls
    // to a plausible model, or, when none is left, refuses.
    const auto stretched = [](Doub shortAxis, Doub longAxis) {
        return ellipsoidPoints(rotatedEllipsoid(shortAxis, 0.8, longAxis, 0.5, 0.7, 0.2, 5, -3, 8), Hm, 2000,
                               0.002 * Hm, 10);
    };
    const MatDoub fourFold = stretched(0.6, 2.5);
    const FitChoice c = ChooseFit(fourFold, Hm);
    ASSERT_TRUE(c.fit.has_value()) << c.reason.toStdString();
    EXPECT_NE(c.model, FitModel::Full);
    EXPECT_TRUE(c.reason.contains("full left out: its axes differ by 1 : 4.2, beyond 1 : 4"))
        << c.reason.toStdString();
    const std::vector<bool> kept(size_t(fourFold.nrows()), false);
    EXPECT_TRUE(Implausibility(c.fit->parameters, SpreadOf(fourFold, nullptr, &kept)).isEmpty());

    const CalibrationRun refused = calibrated(stretched(0.5, 2.5), FitModel::Auto);
    EXPECT_EQ(refused.error, CalibrationError::NumericalFailure);
    // No sphere finds the centre of axes so far apart, but the readings
    // surround their mean: nothing in the turns is to blame.
    EXPECT_TRUE(refused.fitReason.startsWith(
        "no model gives a plausible calibration: the readings surround their mean (99 of 100 cells hit "
        "about "
        "it), yet no model fits them as a sensor's: check that the three columns are one sensor's axes, read "
        "at one gain, and that nothing magnetic moved with the sensor; "))
        << refused.fitReason.toStdString();
    EXPECT_TRUE(refused.fitReason.contains("full left out: its axes differ by 1 : 5.0, beyond 1 : 4"));
}

// A refusal says what in the readings left every model implausible and
// what to turn: a turn about one axis, or a cap, with the share of the
// sphere it covers; a plane that the data make implausible is no answer.
TEST(FitChoice, ARefusalSaysWhatToTurn)
{
    const auto refusal = [](const MatDoub &points) {
        const CalibrationRun run = calibrated(points, FitModel::Auto);
        EXPECT_EQ(run.error, CalibrationError::NumericalFailure);
        return run.fitReason.toStdString();
    };
    HandRecording cap{handSensor(1.5, Hm, 6)};
    cap.n = 40, cap.rate = 2.0, cap.capShare = 0.05, cap.sigma = 0.01 * Hm, cap.seed = 6;
    EXPECT_EQ(
        refusal(recordHand(cap).points),
        "no model gives a plausible calibration: the directions cover about 8 % of the sphere (8 of 100 "
        "cells hit, largest empty cap 121.0 degrees): turn the sensor about each of its axes, upside "
        "down as well as level, so that its readings point every way; sphere left out: its predicted "
        "bias error, 467.10 % of Hm, exceeds Hm: the readings leave its bias undetermined; full left "
        "out: its bias error is beyond measure: the readings leave its bias undetermined");

    // A level turn of a sensor whose axes in the plane differ by 1 : 5.
    Recording flat{rotatedEllipsoid(0.5, 2.5, 1.0, 0.0, 0.0, 0.0, 5, -3, 8)};
    flat.flat = true, flat.sigma = 0.005 * Hm, flat.seed = 3;
    const std::string flatRefusal = refusal(record(flat).points);
    EXPECT_EQ(flatRefusal.substr(0, 201),
              "no model gives a plausible calibration: the sensor turned about its "
              "axis (0.00, 0.00, 1.00) alone (1 of 100 cells hit, largest empty "
              "cap 173.4 degrees): turn it about its other axes too, upside down as");
    EXPECT_NE(flatRefusal.find("planar left out: its axes differ by 1 : 5.0, beyond 1 : 4"),
              std::string::npos);
}

// Readings at one attitude, whatever their share, and readings that turn
// all the time, whatever their spread.
TEST(FitChoice, RestingShareCountsTheReadingsOfARest)
{
    for (const Doub rest : {0.5, 0.7, 0.95}) {
        HandRecording r{sampleTruth};
        r.n = 1000, r.sigma = 0.005 * Hm, r.restShare = rest, r.seed = 12;
        EXPECT_NEAR(RestingShare(recordHand(r).points), rest, 0.01) << rest;
    }
    HandRecording turning{sampleTruth};
    turning.sigma = 0.005 * Hm;
    EXPECT_LT(RestingShare(recordHand(turning).points), 0.01);
    turning.capShare = 0.05;
    EXPECT_LT(RestingShare(recordHand(turning).points), 0.2);
}

namespace {

// A cap of 15 % of the sphere, n readings over 40 seconds of a hand's turns:
// a recording of the accuracy bench.
HandRecording smallCap(Doub ratio, Int n, unsigned seed)
{
    HandRecording r{handSensor(ratio, Hm, seed)};
    r.n = n, r.rate = n / 40.0, r.capShare = 0.15, r.sigma = 0.01 * Hm, r.seed = seed;
    return r;
}

Doub biasErrorShare(const CalibrationParameters &p, const Truth &truth)
{
    return std::sqrt(SQR(p.Bias[0][0] - truth.b0[0]) + SQR(p.Bias[1][0] - truth.b0[1]) +
                     SQR(p.Bias[2][0] - truth.b0[2])) /
           Hm;
}

Candidate candidate(FitModel model, Doub bx, Doub variance, Doub subsetVariance = 0.0, bool misfit = false)
{
    Candidate c;
    c.model = model;
    c.bias[0] = bx;
    for (Int i = 0; i < 3; i++)
        c.covariance[i][i] = variance / 3;
    c.subsetVariance = subsetVariance;
    c.misfit = misfit;
    return c;
}

} // namespace

// The predicted error takes the larger of a fit's covariance and the spread
// of its bias over subsets; the general model's own variance discounts how
// far the others lie from it, but not for a model whose residuals misfit.
TEST(FitChoice, PredictedErrorsTakeTheLargerVariance)
{
    std::vector<Candidate> c = {candidate(FitModel::Sphere, 5.0, 1.0), candidate(FitModel::Full, 0.0, 4.0)};
    std::vector<Doub> e = PredictedErrors(c);
    EXPECT_DOUBLE_EQ(e[0], 1.0 + 25.0 - 4.0);
    EXPECT_DOUBLE_EQ(e[1], 4.0);
    // The full fit's bias strays over subsets far beyond its covariance.
    c[1].subsetVariance = 100.0;
    e = PredictedErrors(c);
    EXPECT_DOUBLE_EQ(e[0], 1.0);
    EXPECT_DOUBLE_EQ(e[1], 100.0);
    c[0].subsetVariance = 9.0;
    EXPECT_DOUBLE_EQ(PredictedErrors(c)[0], 9.0);
    c[0].misfit = true;
    EXPECT_DOUBLE_EQ(PredictedErrors(c)[0], 9.0 + 25.0);
    // A subset that determines no fit leaves its error beyond measure.
    c[1].subsetVariance = INFINITY;
    EXPECT_EQ(PredictedErrors(c)[1], INFINITY);
}

TEST(FitChoice, SubsetsShowWhatTheCovarianceHides)
{
    // 78 readings of a round sensor: the full fit's covariance promises a
    // fifth of Hm, its bias lies a third away, and its spread over subsets
    // says so.
    const HandRecording r = smallCap(1.0, 78, 7792);
    const MatDoub points = recordHand(r).points;
    const std::optional<RobustFit> full = FitRobust(points, Hm, FitModel::Full);
    ASSERT_TRUE(full.has_value());
    const Candidate c = CandidateOf(*full, CorrelationTime(points, *full));
    const Doub promised = std::sqrt(c.covariance[0][0] + c.covariance[1][1] + c.covariance[2][2]) / Hm;
    const Doub spread = std::sqrt(SubsetVariance(points, Hm, *full)) / Hm;
    const Doub error = biasErrorShare(full->parameters, r.truth);
    EXPECT_NEAR(promised, 0.21, 0.01);
    EXPECT_NEAR(error, 0.35, 0.01);
    EXPECT_NEAR(spread, 0.63, 0.01);
    // On many points the covariance holds, and no subset is fitted.
    Recording many{sampleTruth};
    many.n = ChoiceLimits::MostSubsetPoints + 1;
    EXPECT_EQ(SubsetVariance(record(many).points, Hm, *full), 0.0);
}

// On few readings of a round sensor a sphere wins over a full fit that the
// data cannot pin down; on a sensor of 1 : 1.5 the sphere's residuals show
// the shape it lacks, and the full fit wins however uncertain it is.
TEST(FitChoice, ASimplerModelWinsUnlessTheDataAskForMore)
{
    for (const unsigned seed : {7792u, 7814u}) {
        const HandRecording r = smallCap(1.0, 78, seed);
        const FitChoice c = ChooseFit(recordHand(r).points, Hm);
        ASSERT_TRUE(c.fit.has_value()) << c.reason.toStdString();
        EXPECT_EQ(c.model, FitModel::Sphere) << seed << " " << c.reason.toStdString();
        EXPECT_LT(biasErrorShare(c.fit->parameters, r.truth), 0.03) << seed;
    }
    for (const auto &[n, seed] : {std::pair<Int, unsigned>{300, 10013u}, {500, 12011u}}) {
        const HandRecording r = smallCap(1.5, n, seed);
        const MatDoub points = recordHand(r).points;
        const std::optional<RobustFit> sphere = FitRobust(points, Hm, FitModel::Sphere);
        const std::optional<RobustFit> full = FitRobust(points, Hm, FitModel::Full);
        ASSERT_TRUE(sphere && full);
        const Doub independent = points.nrows() / CorrelationTime(points, *full);
        EXPECT_TRUE(Misfits(*sphere, *full, independent)) << seed;
        EXPECT_FALSE(Misfits(*full, *full, independent));
        EXPECT_GT(biasErrorShare(sphere->parameters, r.truth), 0.3) << seed;
        const FitChoice c = ChooseFit(points, Hm);
        ASSERT_TRUE(c.fit.has_value()) << c.reason.toStdString();
        EXPECT_EQ(c.model, FitModel::Full) << seed << " " << c.reason.toStdString();
        EXPECT_TRUE(c.reason.contains(QRegularExpression("sphere [0-9.]+ \\(misfits\\)")))
            << c.reason.toStdString();
        EXPECT_LT(biasErrorShare(c.fit->parameters, r.truth), 0.08) << seed;
    }
    // A round sensor's sphere fits as well as the full model.
    const MatDoub round = recordHand(smallCap(1.0, 500, 12002)).points;
    const std::optional<RobustFit> sphere = FitRobust(round, Hm, FitModel::Sphere);
    const std::optional<RobustFit> full = FitRobust(round, Hm, FitModel::Full);
    ASSERT_TRUE(sphere && full);
    EXPECT_FALSE(Misfits(*sphere, *full, round.nrows() / CorrelationTime(round, *full)));
}
