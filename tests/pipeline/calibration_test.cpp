#include "calibration.h"
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
