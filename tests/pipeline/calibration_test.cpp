#include "calibration.h"
#include "pipeline.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

class CalibrateFileTest : public testing::Test {
protected:
    QString file(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QString("raw%1.txt").arg(++count));
        writeFile(path, bytes);
        return path;
    }
    QTemporaryDir dir;
    int count = 0;
};

QByteArray sphereText(Int n)
{
    return asFileText(ellipsoidPoints(sphereTruth(1.0, 5, 6, 7), 48.0, n, 0.2, 9));
}

} // namespace

TEST_F(CalibrateFileTest, RefusalsComeInTheRunsOrder)
{
    EXPECT_EQ(CalibrateFile(0.0, dir.filePath("missing")).error, CalibrationError::HmIsZero);
    EXPECT_EQ(CalibrateFile(48.0, dir.filePath("missing")).error, CalibrationError::CannotOpen);
    EXPECT_EQ(CalibrateFile(48.0, file("1 2 3 4\n")).error, CalibrationError::BadFormat);
    EXPECT_EQ(CalibrateFile(48.0, file(QByteArray("1 2 3\n").repeated(9))).error,
              CalibrationError::TooFewPoints);
    EXPECT_EQ(CalibrateFile(48.0, file("")).error, CalibrationError::TooFewPoints);
    testing::internal::CaptureStdout();
    const CalibrationRun degenerate = CalibrateFile(48.0, file(QByteArray("1 2 3\n").repeated(10)));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(degenerate.error, CalibrationError::NumericalFailure);
    EXPECT_FALSE(degenerate.fit.outlierWarning);
}

TEST_F(CalibrateFileTest, GoodFileGivesTwelveFourDecimalTexts)
{
    const QString path = file(sphereText(2000));
    CalibrationRun run = CalibrateFile(48.0, path);
    ASSERT_FALSE(run.error.has_value());
    EXPECT_FALSE(run.fit.outlierWarning);
    const QStringList texts = ResultTexts(run.parameters);
    ASSERT_EQ(texts.size(), 12);
    for (const QString &t : texts)
        EXPECT_TRUE(QRegularExpression("^-?[0-9]+\\.[0-9]{4}$").match(t).hasMatch()) << t.toStdString();
    EXPECT_EQ(texts[0], FormatResult(run.parameters.Bias[0][0]));
    EXPECT_EQ(texts[5], FormatResult(run.parameters.A[0][2]));
    EXPECT_EQ(texts[11], FormatResult(run.parameters.A[2][2]));
    EXPECT_EQ(ResultTexts(CalibrateFile(48.0, path).parameters), texts);
}

TEST(ResultText, FixedNotationWithFourDecimals)
{
    EXPECT_EQ(FormatResult(1.5), "1.5000");
    EXPECT_EQ(FormatResult(-12.34567), "-12.3457");
    EXPECT_EQ(FormatResult(0.1), "0.1000");
    EXPECT_EQ(FormatResult(1.0), "1.0000");
    EXPECT_EQ(FormatResult(123456.0), "123456.0000");
}

TEST(Messages, EveryErrorHasItsText)
{
    EXPECT_EQ(errorMessage(CalibrationError::HmIsZero), "The value of Hm must be non zero!");
    EXPECT_EQ(errorMessage(CalibrationError::CannotOpen), "The file does not exists!");
    EXPECT_EQ(errorMessage(CalibrationError::BadFormat), "Please, check the format of the raw data file.");
    EXPECT_EQ(errorMessage(CalibrationError::TooManyLines),
              "The file holds more than 500000 measurements or 100 million lines.");
    EXPECT_EQ(errorMessage(CalibrationError::TooFewPoints),
              "At least 10 measurements are needed for a calibration.");
    EXPECT_EQ(errorMessage(CalibrationError::NumericalFailure),
              "The calibration failed: the measurements do not determine an ellipsoid.");
    EXPECT_EQ(errorMessage(CalibrationError::CannotSave), "The calibration parameters could not be saved.");
    EXPECT_EQ(errorMessage(CalibrationError::ColumnsNotFound),
              "The columns named for x, y and z are not in the header.");
    EXPECT_EQ(errorMessage(CalibrationError::Cancelled), "The calibration was cancelled.");
    EXPECT_EQ(outlierWarningMessage(),
              "Data may contain outliers as the shape fitting is different from an ellisoid.");
}

TEST(SampleData, CalibratesToTheGeneratorsTruth)
{
    CalibrationRun run = CalibrateFile(48.0, TAVRIN_SAMPLE);
    ASSERT_FALSE(run.error.has_value());
    EXPECT_FALSE(run.fit.outlierWarning);
    const double bias[3] = {12.5, -7.3, 20.1};
    const double A[3][3] = {{1.08, 0.05, -0.03}, {0.05, 0.94, 0.04}, {-0.03, 0.04, 1.02}};
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(run.parameters.Bias[i][0], bias[i], 0.05);
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(run.parameters.A[i][j], A[i][j], 0.005);
    }
}

// The judgement of a run is the same, to the last bit, whether it finds
// everything itself on one thread or on two, or takes what the robust fit
// and Auto's choice found of the points in a whole run: each of its parts
// as AssessQuality, about the robust sphere's centre, and CheckHmUnit find
// them on their own.
TEST(Assessment, SharedAndThreadedPartsChangeNoFigure)
{
    const auto expectSame = [](const QualityReport &a, const QualityReport &b, const QString &what) {
        EXPECT_EQ(a.cellHit, b.cellHit) << qPrintable(what);
        EXPECT_EQ(a.cellsHit, b.cellsHit) << qPrintable(what);
        EXPECT_EQ(a.largestEmptyCap.radius, b.largestEmptyCap.radius) << qPrintable(what);
        EXPECT_EQ(a.largestEmptyCap.centre, b.largestEmptyCap.centre) << qPrintable(what);
        for (const auto &[x, y] : {std::pair{a.before, b.before}, {a.after, b.after}}) {
            EXPECT_EQ(x.mean, y.mean) << qPrintable(what);
            EXPECT_EQ(x.rms, y.rms) << qPrintable(what);
            EXPECT_EQ(x.max, y.max) << qPrintable(what);
        }
        EXPECT_EQ(a.farLimit, b.farLimit) << qPrintable(what);
        EXPECT_EQ(a.farPoints, b.farPoints) << qPrintable(what);
        EXPECT_EQ(a.worstPoint, b.worstPoint) << qPrintable(what);
        EXPECT_EQ(a.coreRms, b.coreRms) << qPrintable(what);
        EXPECT_EQ(a.plane.across, b.plane.across) << qPrintable(what);
        EXPECT_EQ(a.plane.radius, b.plane.radius) << qPrintable(what);
        EXPECT_EQ(a.hmUnit.medianDistance, b.hmUnit.medianDistance) << qPrintable(what);
        EXPECT_EQ(a.verdict, b.verdict) << qPrintable(what);
    };
    Recording cap{sphereTruth(1.0, 5, 6, 7)}, spiky{sphereTruth(1.0, 5, 6, 7)},
        flat{sphereTruth(1.0, 5, 6, 7)};
    cap.capShare = 0.3, cap.sigma = 0.5;
    spiky.spikeShare = 0.02, spiky.sigma = 0.3;
    // Large enough for the robust fits' starts to converge on a sample.
    cap.n = spiky.n = 3 * RobustLimits::SubsampleSize;
    flat.flat = true, flat.sigma = 0.2;
    for (const auto &[name, recording] : {std::pair{"cap", cap}, {"spiky", spiky}, {"flat", flat}})
        for (const FitModel model : {FitModel::Exact, FitModel::Auto, FitModel::Full}) {
            RawData raw;
            raw.Mag = record(recording).points;
            raw.numLines = raw.Mag.nrows();
            const CalibrationRun run = CalibrateRawData(48.0, raw, model);
            ASSERT_FALSE(run.error) << name;
            const QString what = QString("%1 %2").arg(name, fitModelName(model));
            const Points points = run.raw.points();
            const RobustFit *robust = run.robustFit();
            const std::optional<std::array<double, 3>> sphere = RobustSphereCentre(points, 48.0);
            const double bias[3] = {run.parameters.Bias[0][0], run.parameters.Bias[1][0],
                                    run.parameters.Bias[2][0]};
            QualityReport alone =
                AssessQuality(points, run.fit, run.parameters, robust ? robust->calibratedNorm : 48.0,
                              sphere ? sphere->data() : bias);
            if (run.model != FitModel::Planar)
                alone.hmUnit = CheckHmUnit(points, run.parameters, 48.0);
            for (const int threads : {1, 2}) {
                const WorkControl control(nullptr, threads, {});
                expectSame(AssessCalibration(run, 48.0, control), alone, what + " afresh");
                CalibrationOptions options;
                options.hm = 48.0;
                options.fit = model;
                RunControl runControl;
                runControl.threads = threads;
                const CalibrationResult whole = runCalibration(Input::points(raw, name), options, runControl);
                ASSERT_TRUE(whole.calibrated()) << qPrintable(what);
                EXPECT_EQ(whole.run.parameters.values(), run.parameters.values()) << qPrintable(what);
                EXPECT_EQ(whole.run.model, run.model) << qPrintable(what);
                EXPECT_EQ(whole.run.fitReason, run.fitReason) << qPrintable(what);
                expectSame(whole.quality, alone, what + " in a whole run");
            }
        }
}

namespace {

RawData scaledRaw(const MatDoub &points, Doub scale)
{
    RawData raw;
    raw.Mag = points;
    for (Int k = 0; k < points.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            raw.Mag[k][i] *= scale;
    raw.numLines = raw.Mag.nrows();
    return raw;
}

} // namespace

// Every fit calibrates points at any scale from 1e-100 to 1e100, Hm in the
// same unit; beyond, the failure says that the scale is out of range, where
// it said only that the points determine no ellipsoid.
TEST(CalibrateRawData, ScalesOutsideTheFitsRangeAreNamed)
{
    const MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 500, 0.25, 5);
    for (const FitModel model : {FitModel::Exact, FitModel::Full, FitModel::Auto}) {
        for (const Doub scale : {1e-100, 1e100}) {
            const CalibrationRun run = CalibrateRawData(48.0 * scale, scaledRaw(points, scale), model);
            ASSERT_FALSE(run.error) << fitModelName(model) << scale;
            EXPECT_NEAR(run.parameters.Bias[0][0] / scale, sampleTruth.b0[0], 0.1) << fitModelName(model);
            EXPECT_NEAR(run.parameters.A[1][1], sampleTruth.A0[1][1], 0.01) << fitModelName(model);
        }
        for (const Doub scale : {1e-300, 1e300}) {
            const CalibrationRun run = CalibrateRawData(48.0, scaledRaw(points, scale), model);
            EXPECT_EQ(run.error, CalibrationError::NumericalFailure) << fitModelName(model) << scale;
            EXPECT_EQ(run.undetermined, Undetermined::Scale) << fitModelName(model) << scale;
            EXPECT_TRUE(failureDetail(run).endsWith(
                "(the median of their largest coordinates), outside the range from 1e-100 to 1e+100 that "
                "the fits support."))
                << failureDetail(run).toStdString();
        }
    }
}

// A reading whose squares overflow is a gross point: the robust fits leave
// it out and reject it; the exact fit, which takes every reading, fails
// naming it, where it said only that the points determine no ellipsoid.
TEST(CalibrateRawData, AReadingBeyondTheRangeIsRejectedOrNamed)
{
    RawData raw = scaledRaw(ellipsoidPoints(sampleTruth, 48.0, 501, 0.25, 6), 1.0);
    for (Int i = 0; i < 3; i++)
        raw.Mag[250][i] = 1e308;
    for (const FitModel model : {FitModel::Full, FitModel::Auto}) {
        const CalibrationRun run = CalibrateRawData(48.0, raw, model);
        ASSERT_FALSE(run.error) << fitModelName(model);
        EXPECT_EQ(run.robust->rejected, std::vector<int>{250}) << fitModelName(model);
        for (Int i = 0; i < 3; i++)
            EXPECT_NEAR(run.parameters.Bias[i][0], sampleTruth.b0[i], 0.2) << fitModelName(model);
    }
    const CalibrationRun exact = CalibrateRawData(48.0, raw);
    EXPECT_EQ(exact.error, CalibrationError::NumericalFailure);
    EXPECT_EQ(exact.undetermined, Undetermined::Reading);
    EXPECT_EQ(failureDetail(exact), "Reading 251 (1e+308, 1e+308, 1e+308) lies beyond 1e+100, outside the "
                                    "range the exact fit supports: it takes every reading, where a robust "
                                    "fit leaves such a one out.");
}
