#include "bootstrap.h"
#include "calibration.h"
#include "handpath.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;

namespace {

// The generator of the sample data: data/make_sample.py.
bool same(const Spread &a, const Spread &b)
{
    return a.std == b.std && a.low == b.low && a.high == b.high;
}

Spread spreadAt(const Uncertainty &u, Int value)
{
    return value < 3 ? u.bias[value] : u.A[(value - 3) / 3][(value - 3) % 3];
}

Doub truthAt(Int value)
{
    return value < 3 ? sampleTruth.b0[value] : sampleTruth.A0[(value - 3) / 3][(value - 3) % 3];
}

} // namespace

TEST(Bootstrap, SameSeedRepeatsExactlyAnotherSeedDiffers)
{
    const MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 500, 0.25, 1);
    const Uncertainty a = BootstrapCalibration(Points(points, 500), 48.0, 40);
    const Uncertainty b = BootstrapCalibration(Points(points, 500), 48.0, 40);
    const Uncertainty c = BootstrapCalibration(Points(points, 500), 48.0, 40, BootstrapSeed + 1);
    ASSERT_TRUE(a.known);
    EXPECT_EQ(a.resamples, 40);
    EXPECT_EQ(a.failed, 0);
    for (Int v = 0; v < 12; v++) {
        EXPECT_TRUE(same(spreadAt(a, v), spreadAt(b, v))) << v;
        EXPECT_FALSE(same(spreadAt(a, v), spreadAt(c, v))) << v;
        EXPECT_GT(spreadAt(a, v).std, 0.0);
        EXPECT_LT(spreadAt(a, v).low, spreadAt(a, v).high);
    }
}

TEST(Bootstrap, IntervalsOfTheSampleHoldTheGeneratorsTruth)
{
    const CalibrationRun run = CalibrateFile(48.0, TAVRIN_SAMPLE);
    ASSERT_FALSE(run.error.has_value());
    const Uncertainty u = BootstrapCalibration(run.raw.points(), 48.0, DefaultResamples);
    ASSERT_TRUE(u.known);
    EXPECT_EQ(u.failed, 0);
    for (Int v = 0; v < 12; v++) {
        EXPECT_LE(spreadAt(u, v).low, truthAt(v)) << v;
        EXPECT_GE(spreadAt(u, v).high, truthAt(v)) << v;
    }
}

// Thirty data sets from the sample's generator with other seeds: the truth
// should fall inside about 95 % of the 360 intervals, and the bootstrap's
// standard deviations should match how much the values really vary from one
// data set to the next.
TEST(Bootstrap, IntervalsCoverTheTruthAtAboutTheirNominalRate)
{
    constexpr Int sets = 30;
    Int inside = 0;
    Doub estimates[12][sets], bootstrapStd[12] = {};
    for (Int s = 0; s < sets; s++) {
        const MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 2000, 0.25, 100 + unsigned(s));
        const CalibrationParameters p = *DeriveCalibration(*FitEllipsoid(points), 48.0);
        const Uncertainty u = BootstrapCalibration(Points(points, 2000), 48.0, DefaultResamples);
        ASSERT_TRUE(u.known);
        for (Int v = 0; v < 12; v++) {
            inside += spreadAt(u, v).low <= truthAt(v) && truthAt(v) <= spreadAt(u, v).high;
            estimates[v][s] = v < 3 ? p.Bias[v][0] : p.A[(v - 3) / 3][(v - 3) % 3];
            bootstrapStd[v] += spreadAt(u, v).std / sets;
        }
    }
    const Doub coverage = Doub(inside) / (12 * sets);
    RecordProperty("coverage", std::to_string(coverage));
    EXPECT_GT(coverage, 0.88);
    EXPECT_LT(coverage, 0.99);
    for (Int v = 0; v < 12; v++) {
        Doub mean = 0.0, squares = 0.0;
        for (Int s = 0; s < sets; s++)
            mean += estimates[v][s] / sets;
        for (Int s = 0; s < sets; s++)
            squares += SQR(estimates[v][s] - mean);
        const Doub realStd = std::sqrt(squares / (sets - 1));
        // Thirty sets pin a standard deviation to about 13 %.
        EXPECT_GT(bootstrapStd[v] / realStd, 0.65) << v;
        EXPECT_LT(bootstrapStd[v] / realStd, 1.5) << v;
    }
}

TEST(Bootstrap, FailedResamplesAreCountedQuietly)
{
    // A circle and the two poles: a whole family of quadrics passes through
    // them, so no resample determines an ellipsoid.
    MatDoub points(42, 3);
    for (Int k = 0; k < 40; k++) {
        points[k][0] = 48 * std::cos(k * 0.3);
        points[k][1] = 48 * std::sin(k * 0.3);
        points[k][2] = 0.0;
    }
    points[40][2] = 48.0;
    points[41][2] = -48.0;
    points[40][0] = points[40][1] = points[41][0] = points[41][1] = 0.0;
    testing::internal::CaptureStdout();
    const NrErrorSink shown(stdout); // as the dialog has it
    const Uncertainty u = BootstrapCalibration(Points(points, 42), 48.0, 50);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(u.failed, 50);
    EXPECT_FALSE(u.known);
    EXPECT_EQ(nrerrfile, stdout);
}

namespace {

CalibrationRun handRun(const HandRecording &r, FitModel model)
{
    RawData raw;
    raw.Mag = recordHand(r).points;
    raw.numLines = raw.Mag.nrows();
    const NrErrorSink silenced(nullptr);
    return CalibrateRawData(r.Hm, raw, model);
}

} // namespace

// Readings that share their noise with their neighbours are drawn in runs,
// longer the longer the noise remembers; a robust fit's intervals then hold
// the truth of recordings that move like a hand, caps included, at about
// their nominal rate, where single readings drawn alone would not.
TEST(Bootstrap, RunsOfReadingsHoldTheTruthOfRecordingsThatMoveLikeAHand)
{
    HandRecording white{handSensor(1.0, 48.0, 3)};
    white.sigma = 0.01 * 48, white.noiseMemory = 0.0, white.seed = 3;
    const CalibrationRun whiteRun = handRun(white, FitModel::Full);
    ASSERT_FALSE(whiteRun.error.has_value());
    const Uncertainty w =
        BootstrapCalibration(whiteRun.raw.points(), 48.0, 50, BootstrapSeed, whiteRun.robustFit());
    EXPECT_LE(w.runLength, 6);
    HandRecording shared = white;
    shared.noiseMemory = 0.8;
    const CalibrationRun sharedRun = handRun(shared, FitModel::Full);
    const Uncertainty s =
        BootstrapCalibration(sharedRun.raw.points(), 48.0, 50, BootstrapSeed, sharedRun.robustFit());
    EXPECT_GE(s.runLength, 20);
    EXPECT_LE(s.runLength, 60);
    // A round sensor: the smaller models are as good, and say so.
    ASSERT_FALSE(s.alike.empty());
    EXPECT_EQ(s.alike.front(), FitModel::Full);
    EXPECT_EQ(std::count(s.alike.begin(), s.alike.end(), FitModel::Sphere), 1);

    Int inside = 0, components = 0;
    for (const Doub share : {1.0, 0.3})
        for (const Doub ratio : {1.0, 1.5})
            for (unsigned seed = 1; seed <= 4; seed++) {
                HandRecording r{handSensor(ratio, 48.0, 60 + seed)};
                r.capShare = share, r.sigma = 0.01 * 48, r.seed = 60 + seed;
                const CalibrationRun run = handRun(r, FitModel::Auto);
                ASSERT_FALSE(run.error.has_value());
                const Uncertainty u = BootstrapCalibration(run.raw.points(), 48.0, DefaultResamples,
                                                           BootstrapSeed, run.robustFit(), true);
                ASSERT_TRUE(u.known);
                for (Int i = 0; i < 3; i++, components++)
                    inside += u.bias[i].low <= r.truth.b0[i] && r.truth.b0[i] <= u.bias[i].high;
            }
    RecordProperty("inside", std::to_string(inside));
    EXPECT_GE(Doub(inside) / components, 0.9) << inside << " of " << components;
}

TEST(Bootstrap, ACancelLeavesTheUncertaintyUnknown)
{
    HandRecording r{handSensor(1.0, 48.0, 5)};
    r.sigma = 0.01 * 48, r.seed = 5;
    const CalibrationRun run = handRun(r, FitModel::Full);
    const std::atomic<bool> cancel{true};
    for (const RobustFit *fit : {run.robustFit(), static_cast<const RobustFit *>(nullptr)}) {
        const Uncertainty u = BootstrapCalibration(run.raw.points(), 48.0, 50, BootstrapSeed, fit, false,
                                                   WorkControl(&cancel, 0, {}));
        EXPECT_FALSE(u.known);
        EXPECT_EQ(u.failed, 50);
    }
}
