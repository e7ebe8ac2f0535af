// tavrin-cli run as a process: exact standard output and error, exit
// statuses and the files it writes, checked against the calibration core.
#include "calibratedfile.h"
#include "calibration.h"
#include "clitest.h"
#include "parametersfile.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

CalibrationRun coreRun(const QString &path)
{
    return CalibrateFile(48.0, path);
}

QStringList lines(const QByteArray &out)
{
    return QString::fromUtf8(out).split('\n');
}

} // namespace

// At least six significant digits and at least four decimals.
void expectShownInFull(const QString &line, const QList<double> &values)
{
    const QStringList fields = line.mid(18).split(' ', Qt::SkipEmptyParts);
    for (int k = 0; k < values.size(); k++) {
        ASSERT_LT(k, fields.size()) << line.toStdString();
        EXPECT_NEAR(fields[k].toDouble(), values[k], 5e-6 * std::abs(values[k]) + 5e-5) << line.toStdString();
        EXPECT_GE(fields[k].size() - fields[k].indexOf('.') - 1, 4) << line.toStdString();
        QString digits = fields[k];
        digits.remove('-').remove('.');
        while (digits.startsWith('0'))
            digits.remove(0, 1);
        EXPECT_GE(digits.size(), 6) << line.toStdString();
    }
}

TEST_F(CliTest, ReportShowsTheCoresValuesThenTheQuality)
{
    const QString path = sample();
    const CalibrationRun core = coreRun(path);
    const CalibrationParameters &p = core.parameters;
    const Outcome o = cli({"--hm", "48", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    const QStringList l = lines(o.out);
    ASSERT_EQ(l.size(), 14);
    EXPECT_EQ(l[0], "sample.txt");
    EXPECT_TRUE(l[1].startsWith("  Bias b          "));
    expectShownInFull(l[1], {p.Bias[0][0], p.Bias[1][0], p.Bias[2][0]});
    EXPECT_TRUE(l[2].startsWith("  Matrix A        "));
    for (int i = 0; i < 3; i++)
        expectShownInFull(l[2 + i], {p.A[i][0], p.A[i][1], p.A[i][2]});
    EXPECT_TRUE(l[5].startsWith("  Ellipsoid test  "));
    expectShownInFull(l[5], {core.fit.TestEllip});
    EXPECT_EQ(l[6], "  Points                2000");
    EXPECT_EQ(l[7], "  Norm error |e|        mean       RMS       max");
    const QRegularExpression row(
        R"(^    (before|after ) {8}( +\d+\.\d{4,}){3}   \((\d+\.\d\d %, ){2}\d+\.\d\d % of Hm\)$)");
    EXPECT_TRUE(row.match(l[8]).hasMatch()) << l[8].toStdString();
    EXPECT_TRUE(row.match(l[9]).hasMatch()) << l[9].toStdString();
    EXPECT_NEAR(l[9].split(' ', Qt::SkipEmptyParts).value(2).toDouble(), 0.25, 0.02); // noise sigma 0.25
    EXPECT_TRUE(
        QRegularExpression(R"(^  Coverage        100 of 100 cells hit, largest empty cap \d\.\d degrees )"
                           R"(around \(-?0\.\d{3}, -?0\.\d{3}, -?0\.\d{3}\)$)")
            .match(l[10])
            .hasMatch())
        << l[10].toStdString();
    EXPECT_TRUE(l[11].startsWith("  Far points      0 beyond |e| = ")) << l[11].toStdString();
    EXPECT_EQ(l[12], "  Verdict         good");
    EXPECT_EQ(l[13], "");
}

struct Refusal {
    const char *name;
    QStringList arguments;
    int status;
    QByteArray err;
};

TEST_F(CliTest, EveryRefusalHasItsStatusAndExactMessage)
{
    file("bad.txt", "1 2 3\n4 5 6\n12.5,-3.25,40\n");
    file("control.txt", "1 2 3\n1\t2\x01 \"3\"\n");
    file("few.txt", QByteArray("1 2 3\n").repeated(9));
    file("many.txt", QByteArray("1 2 3\n").repeated(500001));
    QByteArray plane;
    for (int k = 0; k < 50; k++)
        plane += QByteArray::number(48 * std::cos(k * 0.7), 'f', 4) + ' ' +
                 QByteArray::number(48 * std::sin(k * 0.7), 'f', 4) + " 5\n";
    file("plane.txt", plane);
    const Refusal cases[] = {
        {"bad line",
         {"--hm", "48", "bad.txt"},
         1,
         "bad.txt:3: Please, check the format of the raw data file. (line: \"12.5,-3.25,40\")\n"},
        {"control characters shown escaped",
         {"--hm", "48", "control.txt"},
         1,
         "control.txt:2: Please, check the format of the raw data file. (line: \"1\\x092\\x01 "
         "\\\"3\\\"\")\n"},
        {"missing file",
         {"--hm", "48", "missing.txt"},
         1,
         "missing.txt: The file does not exists! (No such file or directory)\n"},
        {"folder", {"--hm", "48", "."}, 1, ".: The file does not exists! (Is a directory)\n"},
        {"too few points",
         {"--hm", "48", "few.txt"},
         1,
         "few.txt: At least 10 measurements are needed for a calibration.\n"},
        {"too many lines",
         {"--hm", "48", "many.txt"},
         1,
         "many.txt:500001: The file holds more than 500000 measurements or 100 million lines.\n"},
        {"Hm zero",
         {"--hm", "0", "bad.txt"},
         64,
         "tavrin-cli: --hm takes the field norm, a number above 0 and up to 999999.999, not \"0\".\nTry "
         "'tavrin-cli --help'.\n"},
        {"no Hm",
         {"bad.txt"},
         64,
         "tavrin-cli: The field norm is missing: give it with --hm, or from the model with --hm-at.\nTry "
         "'tavrin-cli --help'.\n"},
        {"Hm not a number",
         {"--hm", "4 8", "bad.txt"},
         64,
         "tavrin-cli: --hm takes the field norm, a number above 0 and up to 999999.999, not \"4 8\".\nTry "
         "'tavrin-cli --help'.\n"},
        {"Hm negative",
         {"--hm", "-48", "bad.txt"},
         64,
         "tavrin-cli: --hm takes the field norm, a number above 0 and up to 999999.999, not \"-48\".\nTry "
         "'tavrin-cli --help'.\n"},
        {"no file",
         {"--hm", "48"},
         64,
         "tavrin-cli: No raw measurement file given.\nTry 'tavrin-cli --help'.\n"},
        {"unknown option",
         {"--hm", "48", "--fast", "bad.txt"},
         64,
         "tavrin-cli: Unknown option 'fast'.\nTry 'tavrin-cli --help'.\n"},
        {"unknown export",
         {"--hm", "48", "--export", "rust", "bad.txt"},
         64,
         "tavrin-cli: Unknown export format \"rust\"; the formats are c, ardupilot, px4, matlab, inav, "
         "betaflight and sensor-json.\nTry 'tavrin-cli --help'.\n"},
        {"two documents on stdout",
         {"--hm", "48", "--json", "--export", "c", "bad.txt"},
         64,
         "tavrin-cli: --json and --export both print on standard output; choose one.\nTry 'tavrin-cli "
         "--help'.\n"},
        {"output over the input",
         {"--hm", "48", "-o", "./bad.txt", "bad.txt"},
         64,
         "tavrin-cli: \"./bad.txt\" is an input; it would be overwritten.\n"},
        {"apply over an input",
         {"--hm", "48", "--apply", "few.txt", "bad.txt"},
         1,
         "bad.txt:3: Please, check the format of the raw data file. (line: \"12.5,-3.25,40\")\n"},
        {"two outputs in one file",
         {"--hm", "48", "-o", "x.txt", "--apply", "x.txt", "bad.txt"},
         64,
         "tavrin-cli: Two outputs would go to \"x.txt\".\n"},
        {"several files, output a file",
         {"--hm", "48", "-o", "few.txt", "bad.txt", "plane.txt"},
         64,
         "tavrin-cli: --output must name a folder when several files are given, and \"few.txt\" is a "
         "file.\n"},
        {"one resample",
         {"--hm", "48", "--uncertainty=1", "bad.txt"},
         64,
         "tavrin-cli: --uncertainty takes a number of resamples from 2 to 100000, not \"1\".\nTry "
         "'tavrin-cli --help'.\n"},
        {"figure of unknown kind",
         {"--hm", "48", "--plot", "figure.jpg", "bad.txt"},
         64,
         "tavrin-cli: --plot draws a .png or an .svg file, not \"figure.jpg\".\nTry 'tavrin-cli --help'.\n"},
        {"numerical failure",
         {"--hm", "48", "plane.txt"},
         2,
         "plane.txt: The calibration failed: the measurements do not determine an ellipsoid.\n"},
        {"worst status wins",
         {"--hm", "48", "plane.txt", "missing.txt"},
         2,
         "plane.txt: The calibration failed: the measurements do not determine an ellipsoid.\n"
         "missing.txt: The file does not exists! (No such file or directory)\n"},
    };
    for (const Refusal &c : cases) {
        const Outcome o = cli(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.err.toStdString(), c.err.toStdString()) << c.name;
        EXPECT_EQ(o.out, "") << c.name;
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("x.txt")));
    EXPECT_EQ(readAll(dir.filePath("bad.txt")), "1 2 3\n4 5 6\n12.5,-3.25,40\n");
}

TEST_F(CliTest, HelpAndVersion)
{
    const Outcome help = cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("poor coverage    a cap wider than 45 degrees holds no direction"));
    EXPECT_TRUE(
        help.out.contains("flat rotation    the points spread across their best plane by less than 10 %"));
    EXPECT_TRUE(help.out.contains("  planar    for turns about one axis"));
    EXPECT_TRUE(help.out.contains("<name>.params.txt"));
    EXPECT_TRUE(help.out.contains("64 a wrong command line"));
    const Outcome version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tavrin-cli 1.0\n");
}

TEST_F(CliTest, ParametersFileIsTheDialogsBytesWrittenAtomically)
{
    const QString path = sample();
    const QByteArray expected = ParametersFileBytes(ResultTexts(coreRun(path).parameters));
    file("params.txt", "an older calibration\n");
    Outcome o = cli({"--hm", "48", "-o", "params.txt", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(readAll(dir.filePath("params.txt")), expected);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left

    o = cli({"--hm", "48", "-o", "no/such/folder/params.txt", "sample.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "no/such/folder/params.txt: The calibration parameters could not be saved. (No such "
                     "file or directory)\n");
    EXPECT_TRUE(o.out.startsWith("sample.txt\n"));

    QDir(dir.path()).mkdir("into");
    o = cli({"--hm", "48", "-o", "into", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(readAll(dir.filePath("into/sample.params.txt")), expected);
}

TEST_F(CliTest, AppliedCalibrationLiesOnTheSphereOfRadiusHm)
{
    const QString path = sample();
    const CalibrationRun run = coreRun(path);
    const Outcome o = cli({"--hm", "48", "--apply", "calibrated.txt", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    const QByteArray bytes = readAll(dir.filePath("calibrated.txt"));
    EXPECT_EQ(bytes, CalibratedPointsBytes(run.raw.points(), run.parameters));
    const QStringList l = QString::fromUtf8(bytes).split('\n');
    ASSERT_EQ(l.size(), 2001);
    EXPECT_EQ(l.last(), "");
    const QRegularExpression format(R"(^(-?\d+\.\d{6}\t){2}-?\d+\.\d{6}$)");
    Doub squares = 0.0;
    for (Int k = 0; k < 2000; k++) {
        ASSERT_TRUE(format.match(l[k]).hasMatch()) << l[k].toStdString();
        const QStringList v = l[k].split('\t');
        Doub expected[3];
        Calibrator(run.parameters)(run.raw.Mag[k], expected);
        Doub norm = 0.0;
        for (Int i = 0; i < 3; i++) {
            EXPECT_NEAR(v[i].toDouble(), expected[i], 5.1e-7);
            norm += SQR(v[i].toDouble());
        }
        EXPECT_NEAR(std::sqrt(norm), 48.0, 1.2); // noise sigma 0.25
        squares += SQR(std::sqrt(norm) - 48.0);
    }
    EXPECT_NEAR(std::sqrt(squares / 2000), 0.25, 0.02);
}

TEST_F(CliTest, JsonHoldsEveryFileAtFullPrecision)
{
    const QString path = sample();
    file("bad.txt", "1 2 3\nx y z\n");
    const CalibrationRun run = coreRun(path);
    const Outcome o = cli({"--hm", "48", "--json", "sample.txt", "bad.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "bad.txt:2: Please, check the format of the raw data file. (line: \"x y z\")\n");
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(o.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << o.out.toStdString();
    EXPECT_EQ(doc["tool"].toString(), "tavrin-cli");
    EXPECT_EQ(doc["hm"].toDouble(), 48.0);
    EXPECT_EQ(doc["exitStatus"].toInt(), 1);
    const QJsonArray files = doc["files"].toArray();
    ASSERT_EQ(files.size(), 2);

    const QJsonObject s = files[0].toObject();
    EXPECT_EQ(s["path"].toString(), "sample.txt");
    EXPECT_EQ(s["points"].toInt(), 2000);
    for (Int i = 0; i < 3; i++) {
        EXPECT_EQ(s["bias"][i].toDouble(), run.parameters.Bias[i][0]);
        for (Int j = 0; j < 3; j++) {
            EXPECT_EQ(s["A"][i][j].toDouble(), run.parameters.A[i][j]);
            EXPECT_EQ(s["Ainv"][i][j].toDouble(), run.parameters.Ainv[i][j]);
        }
    }
    EXPECT_EQ(s["testValue"].toDouble(), run.fit.TestEllip);
    EXPECT_FALSE(s["outlierWarning"].toBool());
    EXPECT_EQ(s["verdict"].toString(), "good");
    EXPECT_EQ(s["verdictReason"].toString(), "");
    const QJsonObject q = s["quality"].toObject();
    const QJsonObject after = q["normErrorAfter"].toObject();
    EXPECT_NEAR(after["rms"].toDouble(), 0.25, 0.02);
    EXPECT_NEAR(after["rmsPercent"].toDouble(), 100 * after["rms"].toDouble() / 48, 1e-12);
    EXPECT_GT(q["normErrorBefore"]["rms"].toDouble(), 5 * after["rms"].toDouble());
    EXPECT_EQ(q["coverage"]["cells"].toInt(), 100);
    EXPECT_EQ(q["coverage"]["cellsHit"].toInt(), 100);
    EXPECT_LT(q["coverage"]["largestEmptyCap"]["radiusDegrees"].toDouble(), 15);
    EXPECT_EQ(q["coverage"]["largestEmptyCap"]["centre"].toArray().size(), 3);
    EXPECT_EQ(q["farPoints"].toInt(), 0);
    EXPECT_GE(q["worstPoint"].toInt(), 1);

    const QJsonObject b = files[1].toObject();
    EXPECT_EQ(b["path"].toString(), "bad.txt");
    EXPECT_EQ(b["error"]["kind"].toString(), "bad-format");
    EXPECT_EQ(b["error"]["message"].toString(), "Please, check the format of the raw data file.");
    EXPECT_EQ(b["error"]["line"].toInt(), 2);
    EXPECT_EQ(b["error"]["text"].toString(), "x y z");
    EXPECT_FALSE(b.contains("bias"));
}

TEST_F(CliTest, SeveralFilesFillOutputFolders)
{
    const QString one = sample();
    file("flights/two.dat", asFileText(ellipsoidPoints(sampleTruth, 48.0, 500, 0.2, 21)));
    const Outcome o =
        cli({"--hm", "48", "-o", "params", "--apply", "calibrated", "sample.txt", "flights/two.dat"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(readAll(dir.filePath("params/sample.params.txt")),
              ParametersFileBytes(ResultTexts(coreRun(one).parameters)));
    const CalibrationRun two = coreRun(dir.filePath("flights/two.dat"));
    EXPECT_EQ(readAll(dir.filePath("params/two.params.txt")),
              ParametersFileBytes(ResultTexts(two.parameters)));
    EXPECT_EQ(readAll(dir.filePath("calibrated/two.calibrated.txt")),
              CalibratedPointsBytes(two.raw.points(), two.parameters));
    EXPECT_TRUE(o.out.startsWith("sample.txt\n"));
    EXPECT_TRUE(o.out.contains("good\n\nflights/two.dat\n"));

    const Outcome afterFailure = cli({"--hm", "48", "missing.txt", "sample.txt"});
    EXPECT_EQ(afterFailure.status, 1);
    EXPECT_TRUE(afterFailure.out.startsWith("sample.txt\n"));

    file("other/sample.txt", readAll(TAVRIN_SAMPLE));
    const Outcome clash = cli({"--hm", "48", "-o", "params", "sample.txt", "other/sample.txt"});
    EXPECT_EQ(clash.status, 64);
    EXPECT_EQ(clash.err, "tavrin-cli: Two outputs would go to \"params/sample.params.txt\".\n");
}

TEST_F(CliTest, HeadersOfSeveralFilesKeepTheirNamesApart)
{
    sample();
    file("other/sample.txt", readAll(TAVRIN_SAMPLE));
    file("9-axis.txt", readAll(TAVRIN_SAMPLE));
    const Outcome o = cli({"--hm", "48", "--export", "c", "sample.txt", "other/sample.txt", "9-axis.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(
        o.out.contains("static const float sample_bias[3] = {12.4972086f, -7.30492067f, 20.1008682f};"));
    EXPECT_TRUE(o.out.contains("static const float sample_2_ainv[3][3] = {"));
    EXPECT_TRUE(QRegularExpression(R"(static const float mag_9_axis_[0-9a-f]{8}_hm = 48\.0f;)")
                    .match(QString::fromUtf8(o.out))
                    .hasMatch());
    EXPECT_TRUE(o.out.contains(" * Calibrate a raw measurement h with h_cal = A^-1 (h - b):\n"));
    EXPECT_TRUE(o.out.contains("lie on the sphere of radius Hm = 48,\n"));
    EXPECT_EQ(o.out.count("#ifndef TAVRIN_"), 3);
}

TEST_F(CliTest, VerdictsFlagPoorCoverageAndOutliers)
{
    MatDoub all = ellipsoidPoints(sampleTruth, 48.0, 4000, 0.25, 31);
    QByteArray half, spiky;
    for (Int k = 0; k < all.nrows(); k++) {
        const QByteArray line = QByteArray::number(all[k][0], 'f', 4) + ' ' +
                                QByteArray::number(all[k][1], 'f', 4) + ' ' +
                                QByteArray::number(all[k][2], 'f', 4) + '\n';
        if (all[k][0] > 12.5)
            half += line;
        spiky += k % 20 == 0 ? QByteArray::number(100 + k % 7) + " -90 " + QByteArray::number(k % 50) + "\n"
                             : line;
    }
    file("half.txt", half);
    file("spiky.txt", spiky);
    const Outcome o = cli({"--hm", "48", "half.txt", "spiky.txt"});
    EXPECT_EQ(o.status, 0);
    const QStringList verdicts = lines(o.out).filter("  Verdict ");
    ASSERT_EQ(verdicts.size(), 2);
    EXPECT_TRUE(
        QRegularExpression(
            R"(^  Verdict         poor coverage \(largest empty cap \d\d\.\d degrees, \d\d of 100 cells hit\)$)")
            .match(verdicts[0])
            .hasMatch())
        << verdicts[0].toStdString();
    // The spikes pull the exact fit off, so that the points that are not far
    // do not fit either; the robust fit leaves the spikes out.
    EXPECT_TRUE(
        QRegularExpression(
            R"(^  Verdict         poor fit \(ellipsoid test 0\.\d+, RMS norm error \d+\.\d % of Hm\)$)")
            .match(verdicts[1])
            .hasMatch())
        << verdicts[1].toStdString();
    EXPECT_EQ(lines(o.out).filter("  Recommendation  ").join('|'),
              "  Recommendation  try --fit auto|  Recommendation  try --fit full");
}

TEST_F(CliTest, UncertaintyStandsBesideTheValues)
{
    const QString path = sample();
    const CalibrationRun run = coreRun(path);
    const Outcome text = cli({"--hm", "48", "--uncertainty", "sample.txt"});
    EXPECT_EQ(text.status, 0);
    const QStringList l = lines(text.out);
    const int first = l.indexOf("  Uncertainty     200 resamples, 0 failed, seed 20261207");
    ASSERT_GE(first, 0) << text.out.toStdString();
    EXPECT_EQ(l[first + 1], "                       value       std    95 % interval");
    const QRegularExpression row(
        R"(^    (Bias_[123]|A_[123][123]) +(-?\d+\.\d+) +(\d+\.\d+)   \[(-?\d+\.\d+), (-?\d+\.\d+)\]$)");
    for (int r = 0; r < 12; r++) {
        const QRegularExpressionMatch m = row.match(l[first + 2 + r]);
        ASSERT_TRUE(m.hasMatch()) << l[first + 2 + r].toStdString();
        const double value = m.captured(2).toDouble();
        EXPECT_NEAR(value, r < 3 ? run.parameters.Bias[r][0] : run.parameters.A[(r - 3) / 3][(r - 3) % 3],
                    1e-4);
        EXPECT_LT(m.captured(4).toDouble(), value);
        EXPECT_GT(m.captured(5).toDouble(), value);
    }

    const Outcome json = cli({"--hm", "48", "--json", "--uncertainty=50", "sample.txt"});
    EXPECT_EQ(json.status, 0);
    const QJsonObject u = QJsonDocument::fromJson(json.out).object()["files"][0]["uncertainty"].toObject();
    EXPECT_EQ(u["resamples"].toInt(), 50);
    EXPECT_EQ(u["failed"].toInt(), 0);
    EXPECT_EQ(u["seed"].toInteger(), 20261207);
    ASSERT_EQ(u["bias"].toArray().size(), 3);
    ASSERT_EQ(u["A"].toArray().size(), 3);
    for (int i = 0; i < 3; i++) {
        const QJsonObject b = u["bias"][i].toObject();
        EXPECT_GT(b["std"].toDouble(), 0.0);
        EXPECT_LT(b["low"].toDouble(), run.parameters.Bias[i][0]);
        EXPECT_GT(b["high"].toDouble(), run.parameters.Bias[i][0]);
        EXPECT_EQ(u["A"][i].toArray().size(), 3);
    }
}

TEST_F(CliTest, FiguresGoWhereTheyAreAsked)
{
    sample();
    file("flights/two.dat", asFileText(ellipsoidPoints(sampleTruth, 48.0, 300, 0.2, 22)));
    Outcome o = cli({"--hm", "48", "--plot", "figure.svg", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_TRUE(readAll(dir.filePath("figure.svg")).contains("<svg"));
    o = cli({"--hm", "48", "--plot", "figures", "sample.txt", "flights/two.dat"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(QImage(dir.filePath("figures/sample.png")).size(), QSize(1800, 1200));
    EXPECT_EQ(QImage(dir.filePath("figures/two.png")).size(), QSize(1800, 1200));
    o = cli({"--hm", "48", "--plot", "no/such/folder/figure.png", "sample.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "no/such/folder/figure.png: The figure could not be saved. (No such file or directory)\n");
}

TEST_F(CliTest, HmRangeEndsWhereTheDialogsDoes)
{
    sample();
    EXPECT_EQ(cli({"--hm", "999999.999", "sample.txt"}).status, 0);
    EXPECT_EQ(cli({"--hm", "0.001", "sample.txt"}).status, 0);
    for (const char *outside : {"1000000", "999999.9991", "0", "-0"}) {
        const Outcome o = cli({"--hm", outside, "sample.txt"});
        EXPECT_EQ(o.status, 64) << outside;
        EXPECT_EQ(o.out, "") << outside;
    }
}

TEST_F(CliTest, HmInAnotherUnitIsWarnedInEveryOutput)
{
    sample();
    Truth tesla = sampleTruth;
    for (Doub &b : tesla.b0)
        b *= 1e-6;
    file("tesla.txt", asFileText(ellipsoidPoints(tesla, 48e-6, 2000, 0.0, 3)));
    const QString unit = "Hm must be in the unit of the measurements.";
    const struct {
        const char *hm, *file;
        QString warning; // empty: none
        QString reason;
    } cases[] = {
        {"48000", "sample.txt",
         "Hm is 48000, and the measurements lie at a median distance of 49.2531 from the bias b: " + unit,
         "median |h - b| 49.2531 against Hm 48000.0000: Hm in another unit"},
        {"48", "tesla.txt",
         "Hm is 48, and the measurements lie at a median distance of 4.92884e-05 from the bias b: " + unit,
         "median |h - b| 4.92884e-05 against Hm 48.0000: Hm in another unit"},
        {"48e-6", "tesla.txt", "", ""},
        {"48", "sample.txt", "", ""},
    };
    for (const auto &c : cases) {
        const Outcome text = cli({"--hm", c.hm, c.file});
        EXPECT_EQ(text.status, 0) << c.hm;
        EXPECT_EQ(QString(text.err), c.warning.isEmpty() ? "" : c.file + QString(": ") + c.warning + '\n');
        EXPECT_TRUE(text.out.contains(
            ("Verdict         good" + (c.reason.isEmpty() ? QString() : " (" + c.reason + ")") + '\n')
                .toUtf8()))
            << text.out.toStdString();
        const Outcome json = cli({"--hm", c.hm, "--json", c.file});
        EXPECT_EQ(json.status, 0);
        const QJsonObject result = QJsonDocument::fromJson(json.out)["files"][0].toObject();
        EXPECT_EQ(result["warnings"].toArray(), c.warning.isEmpty() ? QJsonArray() : QJsonArray{c.warning});
        EXPECT_EQ(result["verdictReason"].toString(), c.reason);
    }
}

TEST_F(CliTest, WorstPointIsCountedFromOne)
{
    // One spike among clean points: the JSON names it as a person counts lines.
    for (const int spike : {0, 1, 299}) {
        MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 300, 0.05, 31);
        points[spike][0] += 20.0;
        file("spike.txt", asFileText(points));
        const Outcome o = cli({"--hm", "48", "--json", "spike.txt"});
        ASSERT_EQ(o.status, 0) << o.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(o.out)["files"][0]["quality"]["worstPoint"].toInt(), spike + 1);
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
