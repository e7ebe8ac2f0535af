// tavrin-cli's --fit: the robust fits, their choice and every output that
// follows them.
#include "clitest.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

constexpr Doub Hm = 48.0;

QJsonObject firstFile(const Outcome &o)
{
    return QJsonDocument::fromJson(o.out).object()["files"][0].toObject();
}

Recorded spiky()
{
    Recording r{sampleTruth};
    r.sigma = 0.25, r.spikeShare = 0.02, r.minimumSpike = 0.2 * Hm, r.seed = 41;
    return record(r);
}

Recorded flatTurn()
{
    Recording r{sampleTruth};
    r.flat = true, r.sigma = 0.005 * Hm, r.seed = 42;
    return record(r);
}

} // namespace

TEST_F(CliTest, FullFitRejectsThePlantedSpikesAndEveryOutputFollowsIt)
{
    const Recorded data = spiky();
    file("spiky.txt", asFileText(data.points));
    const Outcome o =
        cli({"--hm", "48", "--fit", "full", "--json", "-o", "params.txt", "--apply", "cal.txt", "spiky.txt"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonObject f = firstFile(o);
    EXPECT_EQ(f["fit"].toString(), "full");
    EXPECT_EQ(f["fitChosen"].toString(), "full");
    EXPECT_FALSE(f.contains("fitReason"));
    EXPECT_FALSE(f.contains("recommendation"));
    QList<int> rejected;
    for (const QJsonValue v : f["rejected"].toArray())
        rejected << v.toInt();
    QList<int> planted;
    for (const Int k : data.spikes)
        planted << int(k) + 1;
    EXPECT_EQ(rejected, planted);
    EXPECT_EQ(f["rejectedCount"].toInt(), 40);
    EXPECT_NEAR(f["robustScale"].toDouble(), 0.25, 0.03);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(f["bias"][i].toDouble(), sampleTruth.b0[i], 0.05);
    EXPECT_EQ(f["verdict"].toString(), "likely outliers");

    // The parameters file holds the robust values, the calibrated points lie
    // on the sphere but for the spikes.
    const QList<QByteArray> params = readAll(dir.filePath("params.txt")).split('\n');
    EXPECT_EQ(params[2],
              "Method: robust geometric fit of h = A u Hm + b, A symmetric, Tukey's biweight loss, 40 "
              "points rejected.");
    ASSERT_EQ(params[6], "The hard iron bias equals:");
    EXPECT_EQ(params[8].simplified().split(' ')[0].toDouble(),
              std::round(f["bias"][0].toDouble() * 1e4) / 1e4);
    const QList<QByteArray> calibrated = readAll(dir.filePath("cal.txt")).trimmed().split('\n');
    ASSERT_EQ(calibrated.size(), 2000);
    for (int k = 0; k < 2000; k++) {
        if (planted.contains(k + 1))
            continue;
        const QList<QByteArray> xyz = calibrated[k].split('\t');
        const Doub norm = std::sqrt(SQR(xyz[0].toDouble()) + SQR(xyz[1].toDouble()) + SQR(xyz[2].toDouble()));
        ASSERT_NEAR(norm, Hm, 1.5) << k;
    }

    const Outcome text = cli({"--hm", "48", "--fit", "full", "spiky.txt"});
    EXPECT_TRUE(text.out.contains("\n  Fit             full\n  Rejected        40 of 2000 points beyond "
                                  "4.685 robust sigmas; robust sigma 0.2"))
        << text.out.toStdString();
    const Outcome exact = cli({"--hm", "48", "spiky.txt"});
    EXPECT_FALSE(exact.out.contains("  Fit "));
    EXPECT_TRUE(exact.out.contains("\n  Recommendation  try --fit full\n")) << exact.out.toStdString();
}

TEST_F(CliTest, PlanarFitCalibratesTheTurnAndSaysWhatItLeaves)
{
    file("flat.txt", asFileText(flatTurn().points));
    const Outcome o = cli({"--hm", "48", "--fit", "auto", "--json", "flat.txt"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonObject f = firstFile(o);
    EXPECT_EQ(f["fit"].toString(), "auto");
    EXPECT_EQ(f["fitChosen"].toString(), "planar");
    EXPECT_TRUE(f["fitReason"].toString().startsWith("planar: the points spread across their plane by "));
    EXPECT_EQ(f["verdict"].toString(), "flat rotation");
    EXPECT_GT(f["planeNormal"][2].toDouble(), 0.99);
    EXPECT_TRUE(f["undetermined"].toString().startsWith("the component along the normal ("));
    // Along the normal nothing moves: no bias, a scale of one.
    const QJsonArray n = f["planeNormal"].toArray();
    Doub along = 0.0, scale = 0.0;
    for (int i = 0; i < 3; i++) {
        along += f["bias"][i].toDouble() * n[i].toDouble();
        for (int j = 0; j < 3; j++)
            scale += n[i].toDouble() * f["A"][i][j].toDouble() * n[j].toDouble();
    }
    EXPECT_NEAR(along, 0.0, 1e-9);
    EXPECT_NEAR(scale, 1.0, 1e-9);

    const Outcome exact = cli({"--hm", "48", "flat.txt"});
    EXPECT_TRUE(exact.out.contains("\n  Verdict         flat rotation (spread across the plane "));
    EXPECT_TRUE(exact.out.contains("\n  Recommendation  try --fit planar\n")) << exact.out.toStdString();
    const Outcome planar = cli({"--hm", "48", "--fit", "planar", "flat.txt"});
    EXPECT_TRUE(planar.out.contains("\n  Undetermined    the component along the normal ("));
}

TEST_F(CliTest, UncertaintyAndFigureFollowTheRobustFit)
{
    file("spiky.txt", asFileText(spiky().points));
    const auto biasSpread = [&](const char *fit) {
        const Outcome o = cli({"--hm", "48", "--fit", fit, "--json", "--uncertainty=40", "spiky.txt"});
        EXPECT_EQ(o.status, 0);
        const QJsonObject u = firstFile(o)["uncertainty"].toObject();
        EXPECT_EQ(u["failed"].toInt(), 0);
        return u["bias"][0]["std"].toDouble();
    };
    // Resampled spikes shake the exact fit, not the robust one.
    const Doub robust = biasSpread("full"), exact = biasSpread("exact");
    EXPECT_LT(robust, 0.03);
    EXPECT_GT(exact, 3 * robust);

    const Outcome plot = cli({"--hm", "48", "--fit", "full", "--plot", "spiky.svg", "spiky.txt"});
    EXPECT_EQ(plot.status, 0);
    EXPECT_TRUE(readAll(dir.filePath("spiky.svg")).contains("rejected"));
}

TEST_F(CliTest, UnknownFitIsAWrongCommandLine)
{
    sample();
    const Outcome o = cli({"--hm", "48", "--fit", "ellipse", "sample.txt"});
    EXPECT_EQ(o.status, 64);
    EXPECT_EQ(o.err,
              "tavrin-cli: Unknown fit \"ellipse\"; the fits are exact, full, diagonal, sphere, planar and "
              "auto.\nTry 'tavrin-cli --help'.\n");
}

// What the points cannot determine, no fit writes: the exit status of a
// numerical failure, the reason, and no file.
TEST_F(CliTest, RobustFitsRefusePointsThatDetermineNothing)
{
    QByteArray circle, twoPoints;
    for (int k = 0; k < 200; k++) {
        const Doub phi = 2 * M_PI * k / 200;
        circle += QByteArray::number(12.5 + 40 * std::cos(phi), 'f', 6) + ' ' +
                  QByteArray::number(-7.3 + 30 * std::sin(phi), 'f', 6) + " 20.1\n";
        twoPoints += k % 2 ? "1 2 3\n" : "4 5 6\n";
    }
    file("circle.txt", circle);
    file("two.txt", twoPoints);
    for (const char *fit : {"full", "diagonal", "sphere", "auto"}) {
        const Outcome o = cli({"--hm", "48", "--fit", fit, "-o", "params.txt", "circle.txt"});
        if (QByteArray(fit) == "auto") {
            EXPECT_EQ(o.status, 0) << o.err.toStdString();
            QFile::remove(dir.filePath("params.txt"));
            continue;
        }
        EXPECT_EQ(o.status, 2) << fit;
        EXPECT_TRUE(o.err.contains("The points lie in a plane: try --fit planar.")) << o.err.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("params.txt"))) << fit;
    }
    const Outcome json = cli({"--hm", "48", "--fit", "sphere", "--json", "circle.txt"});
    EXPECT_EQ(firstFile(json)["error"].toObject()["kind"].toString(), "numerical-failure");
    EXPECT_EQ(firstFile(json)["error"].toObject()["undetermined"].toString(), "plane");
    const Outcome planar = cli({"--hm", "48", "--fit", "planar", "--json", "circle.txt"});
    EXPECT_EQ(planar.status, 0);
    EXPECT_NEAR(firstFile(planar)["bias"][0].toDouble(), 12.5, 1e-4);
    EXPECT_NEAR(firstFile(planar)["bias"][1].toDouble(), -7.3, 1e-4);
    for (const char *fit : {"full", "diagonal", "sphere", "planar", "auto"}) {
        const Outcome o = cli({"--hm", "48", "--fit", fit, "-o", "params.txt", "two.txt"});
        EXPECT_EQ(o.status, 2) << fit;
        EXPECT_FALSE(QFile::exists(dir.filePath("params.txt"))) << fit;
    }
}

// A small cap leaves the bias to the model's guess: the intervals say so,
// and the verdict too.
TEST_F(CliTest, TheVerdictSaysWhenTheDataDoNotDetermineTheBias)
{
    Recording r{sampleTruth};
    r.capShare = 0.05, r.sigma = 0.02 * Hm, r.seed = 43;
    file("cap.txt", asFileText(record(r).points));
    const Outcome o = cli({"--hm", "48", "--fit", "auto", "--json", "--uncertainty=50", "cap.txt"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonObject f = firstFile(o);
    const QJsonObject u = f["uncertainty"].toObject();
    double widest = 0.0;
    for (int i = 0; i < 3; i++)
        widest = std::max(widest, u["bias"][i]["high"].toDouble() - u["bias"][i]["low"].toDouble());
    EXPECT_GT(widest, 0.2 * Hm);
    EXPECT_GE(u["runLength"].toInt(), 1);
    EXPECT_EQ(u["alike"][0].toString(), f["fitChosen"].toString());
    EXPECT_TRUE(f["verdictReason"].toString().startsWith(
        "the data do not determine the bias: a 95 % interval of b is wider than 20 % of Hm"))
        << f["verdictReason"].toString().toStdString();
    const Outcome text = cli({"--hm", "48", "--fit", "auto", "--uncertainty=50", "cap.txt"});
    EXPECT_TRUE(
        text.out.contains("(the data do not determine the bias: a 95 % interval of b is wider than 20 % of "
                          "Hm, "));
    EXPECT_TRUE(
        text.out.contains(QStringLiteral(", runs of %1 readings").arg(u["runLength"].toInt()).toUtf8()));
}

// One gross reading can pull the exact fit through itself: the ellipsoid
// becomes a cigar that maps every other point near one direction at the
// norm Hm, so the norm errors and the coverage about the robust centre look
// good. The calibrated directions show it; the verdict names the point and
// the robust fit, which leaves it out, calibrates.
TEST_F(CliTest, OneGrossReadingThatFoldsTheExactFitIsNamed)
{
    const MatDoub clean = ellipsoidPoints(sampleTruth, Hm, 2000, 0.25, 43);
    const QByteArray cleanText = asFileText(clean);
    file("clean.txt", cleanText);
    const QJsonObject good = firstFile(cli({"--hm", "48", "--json", "clean.txt"}));
    EXPECT_EQ(good["verdict"].toString(), "good");
    EXPECT_FALSE(good["verdictReason"].toString().contains("calibrated directions"));

    const char *spikes[] = {"32767 -32768 32767", "4096 4096 4096", "100000 100000 100000"};
    for (const char *spike : spikes) {
        // The spike is the 1001st reading of 2001.
        int middle = 0;
        for (int line = 0; line < 1000; line++)
            middle = cleanText.indexOf('\n', middle) + 1;
        QByteArray text = cleanText;
        text.insert(middle, QByteArray(spike) + '\n');
        ASSERT_EQ(text.left(middle).count('\n'), 1000);
        file("spike.txt", text);
        const Outcome o = cli({"--hm", "48", "--json", "spike.txt"});
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        const QJsonObject f = firstFile(o);
        EXPECT_EQ(f["verdict"].toString(), "poor fit") << spike;
        const QString reason = f["verdictReason"].toString();
        EXPECT_TRUE(reason.contains("1 gross point, the farthest point 1001 (")) << reason.toStdString();
        EXPECT_TRUE(reason.contains(QRegularExpression("calibrated directions hit \\d of 100 cells")))
            << reason.toStdString();
        EXPECT_EQ(f["recommendation"].toString(), "try --fit full") << spike;

        const QJsonObject full = firstFile(cli({"--hm", "48", "--fit", "full", "--json", "spike.txt"}));
        EXPECT_EQ(full["verdict"].toString(), "good") << spike;
        EXPECT_EQ(full["rejected"].toArray().first().toInt(), 1001) << spike;
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(full["bias"][i].toDouble(), sampleTruth.b0[i], 0.1) << spike;
    }
}

// A reading of 1e308 is a gross point the robust fits reject; the exact fit
// fails naming it, in the text and in the JSON.
TEST_F(CliTest, AnOverflowingReadingIsRejectedOrNamed)
{
    QByteArray text = asFileText(ellipsoidPoints(sampleTruth, Hm, 300, 0.25, 44));
    text += "1e308 1e308 1e308\n";
    file("overflow.txt", text);
    const Outcome full = cli({"--hm", "48", "--fit", "full", "--json", "overflow.txt"});
    EXPECT_EQ(full.status, 0) << full.err.toStdString();
    EXPECT_EQ(firstFile(full)["rejected"].toArray(), QJsonArray({301}));

    const Outcome exact = cli({"--hm", "48", "overflow.txt"});
    EXPECT_EQ(exact.status, 2);
    EXPECT_TRUE(
        exact.err.contains("overflow.txt: The calibration failed: the measurements do not determine an "
                           "ellipsoid. Reading 301 (1e+308, 1e+308, 1e+308) lies beyond 1e+100"))
        << exact.err.toStdString();
    const QJsonObject error = firstFile(cli({"--hm", "48", "--json", "overflow.txt"}))["error"].toObject();
    EXPECT_EQ(error["undetermined"].toString(), "reading");
    EXPECT_TRUE(error["detail"].toString().startsWith("Reading 301 (1e+308"));
}
