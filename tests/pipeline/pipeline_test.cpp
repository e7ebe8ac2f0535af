#include "pipeline.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

using namespace tavrin;

namespace {

struct Report {
    double fraction;
    RunPhase phase;
};

// A file large enough that reading it takes several chunks and a robust
// fit's passes take a second thread when the budget has one.
class PipelineTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        path = dir->filePath("raw.txt");
        writeFile(path, asFileText(ellipsoidPoints(rotatedEllipsoid(1.1, 0.9, 1.0, 0.3, 0.2, 0.1, 5, -6, 7),
                                                   48.0, 120000, 0.2, 11)));
    }
    static void TearDownTestSuite() { delete dir; }

    static CalibrationOptions options(FitModel fit, int resamples)
    {
        CalibrationOptions o;
        o.hm = 48.0;
        o.fit = fit;
        o.resamples = resamples;
        return o;
    }

    static inline QTemporaryDir *dir = nullptr;
    static inline QString path;
};

} // namespace

TEST_F(PipelineTest, ProgressNeverGoesBackAndEndsAtOneInThePhasesOrder)
{
    for (const int resamples : {0, 6}) {
        std::vector<Report> reports;
        RunControl control;
        control.progress = [&](double fraction, RunPhase phase) { reports.push_back({fraction, phase}); };
        const CalibrationResult result =
            runCalibration(Input::file(path), options(FitModel::Full, resamples), control);
        ASSERT_TRUE(result.calibrated());
        ASSERT_GE(reports.size(), 4u);
        EXPECT_EQ(reports.front().fraction, 0.0);
        EXPECT_EQ(reports.front().phase, RunPhase::Reading);
        EXPECT_EQ(reports.back().fraction, 1.0);
        int readingReports = 0;
        for (size_t k = 1; k < reports.size(); k++) {
            EXPECT_GE(reports[k].fraction, reports[k - 1].fraction) << k;
            EXPECT_GE(int(reports[k].phase), int(reports[k - 1].phase)) << k;
            readingReports += reports[k].phase == RunPhase::Reading;
        }
        // The file is several chunks long: reading says how far it got.
        EXPECT_GE(readingReports, 2);
        EXPECT_EQ(reports.back().phase, resamples > 0 ? RunPhase::Uncertainty : RunPhase::Assessing);
    }
}

TEST_F(PipelineTest, ACancelInAnyPhaseEndsTheRunThereWithNothingKept)
{
    for (const RunPhase at :
         {RunPhase::Reading, RunPhase::Fitting, RunPhase::Assessing, RunPhase::Uncertainty}) {
        // Reading and the bootstrap are cancelled midway, after their first
        // chunk or resample; the fits and the judgement as they begin.
        const int reportsBeforeCancel = at == RunPhase::Reading || at == RunPhase::Uncertainty ? 2 : 1;
        std::atomic<bool> cancel{false};
        std::vector<Report> reports;
        int reportsInPhase = 0;
        RunControl control;
        control.cancel = &cancel;
        control.progress = [&](double fraction, RunPhase phase) {
            reports.push_back({fraction, phase});
            if (phase == at && ++reportsInPhase == reportsBeforeCancel)
                cancel = true;
        };
        const CalibrationResult result =
            runCalibration(Input::file(path), options(FitModel::Full, 200), control);
        EXPECT_EQ(result.status, RunStatus::Cancelled) << runPhaseName(at);
        EXPECT_EQ(result.path, path);
        EXPECT_EQ(result.run.raw.numLines, 0);
        EXPECT_FALSE(result.uncertainty.has_value());
        // No later phase began, and the cancelled step said no more.
        EXPECT_EQ(reports.back().phase, at);
        EXPECT_EQ(reportsInPhase, reportsBeforeCancel) << runPhaseName(at);
        EXPECT_LT(reports.back().fraction, 1.0);
    }
}

TEST_F(PipelineTest, ACancelFromAnotherThreadEndsALongRun)
{
    std::atomic<bool> cancel{false}, bootstrapping{false};
    RunControl control;
    control.cancel = &cancel;
    control.progress = [&](double, RunPhase phase) {
        if (phase == RunPhase::Uncertainty)
            bootstrapping = true;
    };
    CalibrationResult result;
    // Ten thousand resamples of 120000 points would run for many minutes.
    std::thread run(
        [&] { result = runCalibration(Input::file(path), options(FitModel::Full, 10000), control); });
    while (!bootstrapping)
        std::this_thread::yield();
    cancel = true;
    run.join();
    EXPECT_EQ(result.status, RunStatus::Cancelled);
    EXPECT_EQ(result.run.raw.numLines, 0);
}

// On one thread every resample reports its progress: a cancel set once a
// hundredth of them are done ends the run with no resample more, where the
// run would otherwise make a thousand.
TEST_F(PipelineTest, ACancelStopsALargeRunWithinAHundredthOfItsWork)
{
    constexpr int Resamples = 1000;
    std::atomic<bool> cancel{false};
    int resampled = 0;
    RunControl control;
    control.cancel = &cancel;
    control.threads = 1;
    control.progress = [&](double, RunPhase phase) {
        if (phase != RunPhase::Uncertainty)
            return;
        // The phase's first report comes as it begins, before any resample.
        if (++resampled == 1 + Resamples / 100)
            cancel = true;
    };
    const CalibrationResult result =
        runCalibration(Input::file(path), options(FitModel::Auto, Resamples), control);
    EXPECT_EQ(result.status, RunStatus::Cancelled);
    EXPECT_FALSE(result.uncertainty.has_value());
    EXPECT_EQ(resampled, 1 + Resamples / 100);
}

TEST_F(PipelineTest, TheThreadBudgetBoundsTheThreadsAndNotTheResult)
{
    std::vector<CalibrationResult> results;
    for (const int threads : {1, 2, 3}) {
        RunControl control;
        control.threads = threads;
        results.push_back(runCalibration(Input::file(path), options(FitModel::Full, 6), control));
        const CalibrationResult &r = results.back();
        ASSERT_TRUE(r.calibrated());
        // A budget of one starts no thread; a larger one is used in full.
        EXPECT_EQ(r.threadsUsed, threads);
    }
    // Each resample draws from its own generator and fits on one thread:
    // the bootstrap is the same however many threads share it.
    for (size_t k = 1; k < results.size(); k++)
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(results[k].uncertainty->bias[i].std, results[0].uncertainty->bias[i].std);
            for (int j = 0; j < 3; j++)
                EXPECT_NEAR(results[k].run.parameters.A[i][j], results[0].run.parameters.A[i][j], 1e-9);
        }
}

TEST_F(PipelineTest, TheOutlierWarningComesBackAsAWarning)
{
    // An ellipsoid stretched this far fails the ellipsoid test.
    Truth stretched = sphereTruth(1.0, 5, 6, 7);
    stretched.A0[2][2] = 1.4;
    RawData raw;
    raw.Mag = ellipsoidPoints(stretched, 48.0, 2000, 0.01, 3);
    raw.numLines = raw.Mag.nrows();
    const CalibrationResult result =
        runCalibration(Input::points(raw, "stretched"), options(FitModel::Exact, 0));
    EXPECT_TRUE(result.calibrated());
    ASSERT_TRUE(result.run.fit.outlierWarning);
    EXPECT_EQ(result.warnings, QStringList{outlierWarningMessage()});
    const CalibrationResult clean =
        runCalibration(Input::points(CalibrateFile(48.0, path).raw, "clean"), options(FitModel::Exact, 0));
    EXPECT_TRUE(clean.calibrated());
    EXPECT_TRUE(clean.warnings.isEmpty());
}
