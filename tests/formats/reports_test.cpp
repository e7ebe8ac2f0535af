#include "figure.h"
#include "jsonreport.h"
#include "outputs.h"
#include "parametersfile.h"
#include "synthetic.h"
#include "textreport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A turn about one axis only: the exact fit gets advice.
CalibrationResult flatTurn()
{
    Recording r{sphereTruth(1.0, 5, -3, 7)};
    r.flat = true, r.sigma = 0.005 * r.Hm, r.seed = 42;
    RawData raw;
    raw.Mag = record(r).points;
    raw.numLines = raw.Mag.nrows();
    CalibrationOptions options;
    options.hm = r.Hm;
    return runCalibration(Input::points(raw, "-"), options);
}

} // namespace

TEST(Reports, AdviceIsInTheFrontEndsWordsAndTheRestInTheData)
{
    const CalibrationResult result = flatTurn();
    ASSERT_EQ(RecommendedFit(result.run, result.quality), FitModel::Planar);
    const QByteArray plain = CalibrationReport(result, 48.0, ReportWords());
    const QByteArray cli = CalibrationReport(result, 48.0, {QStringLiteral("try --fit %1")});
    EXPECT_TRUE(plain.startsWith("<stdin>\n  Bias b  ")) << plain.toStdString();
    EXPECT_TRUE(plain.endsWith("  Recommendation  try the planar fit\n")) << plain.toStdString();
    EXPECT_TRUE(cli.endsWith("  Recommendation  try --fit planar\n")) << cli.toStdString();
    EXPECT_EQ(plain.chopped(QByteArray("try the planar fit\n").size()),
              cli.chopped(QByteArray("try --fit planar\n").size()));

    const QJsonObject json = JsonResult(result, 48.0, ReportWords());
    EXPECT_EQ(json["path"].toString(), "<stdin>");
    EXPECT_EQ(json["recommendation"].toString(), "try the planar fit");
    EXPECT_EQ(json["verdict"].toString(), "flat rotation");
    EXPECT_EQ(json["verdictReason"].toString(), VerdictReason(result.quality));
    EXPECT_FALSE(json.contains("input"));
    EXPECT_FALSE(json.contains("uncertainty"));
}

TEST(Outputs, WrittenFilesAreTheFormatsBytesAndFailuresComeInOrderWithTheirReasons)
{
    QTemporaryDir dir;
    CalibrationOptions options;
    options.hm = 48.0;
    const CalibrationResult result = runCalibration(Input::file(TAVRIN_SAMPLE), options);
    ASSERT_TRUE(result.calibrated());
    const OutputTargets targets{dir.filePath("p.txt"), dir.filePath("c.txt"), QString()};
    EXPECT_TRUE(writeOutputs(result, 48.0, targets, nullptr, WriteFigure).isEmpty());
    EXPECT_EQ(contents(targets.parameters), ParametersFileBytes(ResultTexts(result.run.parameters)));
    EXPECT_EQ(contents(targets.calibrated).count('\n'), result.run.raw.numLines);

    const OutputTargets missing{dir.filePath("no/p.txt"), dir.filePath("no/c.txt"), QString()};
    const QList<WriteFailure> failures = writeOutputs(result, 48.0, missing, nullptr, WriteFigure);
    ASSERT_EQ(failures.size(), 2);
    EXPECT_EQ(failures[0].path, missing.parameters);
    EXPECT_TRUE(failures[0].message.startsWith("The calibration parameters could not be saved. ("))
        << failures[0].message.toStdString();
    EXPECT_EQ(failures[1].path, missing.calibrated);
    EXPECT_TRUE(failures[1].message.startsWith("The calibrated measurements could not be saved. ("));

    // The figure is drawn by the writer given, and comes last.
    const OutputTargets figure{dir.filePath("no/p.txt"), QString(), dir.filePath("f.png")};
    const FigureWriter refuse = [](const QString &, const FigureData &data, QString *reason) {
        *reason = data.name + QStringLiteral(" at %1").arg(data.hm);
        return false;
    };
    const QList<WriteFailure> figureFailures = writeOutputs(result, 48.0, figure, nullptr, refuse);
    ASSERT_EQ(figureFailures.size(), 2);
    EXPECT_EQ(figureFailures[1].path, figure.figure);
    EXPECT_EQ(figureFailures[1].message, "The figure could not be saved. (sample.txt at 48)");

    const Expected<ExportResult> refused =
        Expected<ExportResult>::failure(QStringLiteral("Cannot export this."));
    const QList<WriteFailure> refusal =
        writeOutputs(result, 48.0, {dir.filePath("e.txt"), {}, {}}, &refused, WriteFigure);
    ASSERT_EQ(refusal.size(), 1);
    EXPECT_EQ(refusal[0].message, "Cannot export this.");
    EXPECT_FALSE(QFile::exists(dir.filePath("e.txt")));
}

TEST(Outputs, FourDecimalsCanHideAValue)
{
    CalibrationParameters p;
    p.Bias = MatDoub(3, 1, 0.0);
    p.A = MatDoub(3, 3, 0.0);
    p.Ainv = MatDoub(3, 3, 0.0);
    for (int i = 0; i < 3; i++)
        p.A[i][i] = p.Ainv[i][i] = 1.0;
    EXPECT_FALSE(ShowsValuesAsZero(p));
    p.Bias[1][0] = 0.00004;
    EXPECT_TRUE(ShowsValuesAsZero(p));
    p.Bias[1][0] = -0.00006;
    EXPECT_FALSE(ShowsValuesAsZero(p));
}

// A fit that failed put the readings' median |h - b| far from Hm, and the
// reason blamed Hm's unit.
TEST(Reports, OnlyAnotherUnitIsCalledOne)
{
    QualityReport q;
    q.hm = 48.0;
    q.hmUnit.hm = 48.0;
    q.hmUnit.medianDistance = 0.5;
    q.hmUnit.fitFails = true;
    q.hmUnit.medianNormError = 0.97;
    EXPECT_EQ(VerdictReason(q),
              QStringLiteral("median |h - b| 0.500000 against Hm 48.0000, the calibrated norms a "
                             "median 97.0 % of Hm from it: the fit failed"));
    q.hmUnit.fitFails = false;
    q.hmUnit.scaleDiffers = true;
    q.hmUnit.hm = 48000.0;
    q.hmUnit.medianDistance = 48.0;
    EXPECT_EQ(VerdictReason(q),
              QStringLiteral("median |h - b| 48.0000 against Hm 48000.0000: Hm in another unit"));
}
