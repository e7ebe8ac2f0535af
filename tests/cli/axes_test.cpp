// tavrin-cli with an accelerometer beside the magnetometer: the axes check in
// the JSON object alignment and in the text report, the verdict's reason, the
// accelerometer's convention, and the refusals of the options.
#include "alignpath.h"
#include "clitest.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class AxesTest : public CliTest {
protected:
    // A board turned by hand, with rests between its turns for 30 % of the
    // readings, its sensor and path drawn by seed.
    static AlignedRecording handTurned(Int rests, unsigned seed)
    {
        AlignedRecording r;
        r.hand.truth = handSensor(0.8, 48.0, seed);
        r.hand.sigma = 0.2;
        r.hand.restShare = 0.3;
        r.hand.restAt = RestPlace::BetweenTurns;
        r.hand.rests = rests;
        r.hand.seed = seed;
        return r;
    }

    // A hand-turned board with eight rests, its magnetometer turned by mount
    // against its accelerometer, as a log with both.
    QString board(const QString &name, const Doub (&mount)[3][3], bool readsDown = false)
    {
        AlignedRecording r = handTurned(8, 21);
        r.readsDown = readsDown;
        std::copy(&mount[0][0], &mount[0][0] + 9, &r.mount[0][0]);
        return log(name, r);
    }

    // The recording as a log with the header t,mx,my,mz,ax,ay,az.
    QString log(const QString &name, const AlignedRecording &r)
    {
        const AlignedRecorded recorded = recordAligned(r);
        QByteArray csv = "t,mx,my,mz,ax,ay,az\n";
        for (Int k = 0; k < recorded.mag.nrows(); k++) {
            csv += QByteArray::number(k * 0.02, 'f', 2);
            for (const MatDoub *m : {&recorded.mag, &recorded.accel})
                for (int i = 0; i < 3; i++)
                    csv += ',' + QByteArray::number((*m)[k][i], 'g', 10);
            csv += '\n';
        }
        return file(name, csv);
    }

    QJsonObject json(const QStringList &arguments)
    {
        const Outcome o = cli(arguments);
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        return QJsonDocument::fromJson(o.out)["files"][0].toObject();
    }
};

constexpr Doub yaw90[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
constexpr Doub identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

} // namespace

TEST_F(AxesTest, TheJsonNamesTheMappingAndTheOrientationNumber)
{
    board("yaw90.csv", yaw90);
    const QJsonObject r =
        json({"--hm", "48", "--json", "--columns", "mx,my,mz", "--accel-columns", "ax,ay,az", "yaw90.csv"});
    const QJsonObject a = r["alignment"].toObject();
    EXPECT_EQ(a["mapping"].toString(), "-y,x,z");
    EXPECT_FALSE(a["mirror"].toBool());
    EXPECT_TRUE(a["determined"].toBool());
    EXPECT_EQ(a["ardupilotOrientation"].toInt(), 2);
    EXPECT_EQ(a["px4Rotation"].toInt(), 2);
    EXPECT_GE(a["readingsAtRest"].toInt(), 20);
    EXPECT_NEAR(a["dipDegrees"].toDouble(), 60.0, 0.5);
    EXPECT_GT(a["dipSpreadBeforeDegrees"].toDouble(), 10.0);
    EXPECT_LT(a["dipSpreadAfterDegrees"].toDouble(), 0.5);
    EXPECT_LT(a["rotationDegrees"].toDouble(), 0.5);
    const QJsonArray rotation = a["rotation"].toArray();
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(rotation[i].toArray()[j].toDouble(), yaw90[i][j], 0.01) << i << " " << j;
    EXPECT_EQ(a["assumptions"].toArray().size(), 2);
    EXPECT_TRUE(r["verdictReason"].toString().contains("the axes disagree with the accelerometer"));
    EXPECT_EQ(r["input"]["accelColumns"][2]["name"].toString(), "az");

    // Without the accelerometer, neither the object nor the reason.
    const QJsonObject alone = json({"--hm", "48", "--json", "--columns", "mx,my,mz", "yaw90.csv"});
    EXPECT_FALSE(alone.contains("alignment"));
    EXPECT_FALSE(alone["verdictReason"].toString().contains("accelerometer"));
    EXPECT_EQ(alone["bias"], r["bias"]);
    EXPECT_FALSE(alone["input"].toObject().contains("accelColumns"));
}

TEST_F(AxesTest, TheTextReportAndTheAccelerometersConvention)
{
    board("down.csv", identity, true);
    const QStringList read = {"--hm", "48", "--columns", "2,3,4", "--accel-columns", "5,6,7", "down.csv"};
    const Outcome up = cli(read);
    ASSERT_EQ(up.status, 0) << up.err.toStdString();
    EXPECT_TRUE(up.out.contains("  Axes            -x,-y,-z, a mirror\n")) << up.out.toStdString();
    EXPECT_TRUE(up.out.contains("either the accelerometer reports gravity downward"));
    const Outcome down = cli(QStringList(read) << "--accel-down");
    ASSERT_EQ(down.status, 0) << down.err.toStdString();
    EXPECT_TRUE(down.out.contains("  Axes            x,y,z, as logged\n")) << down.out.toStdString();
    EXPECT_TRUE(
        down.out.contains("  Orientation     0 (None): ArduPilot's COMPASS_ORIENT, PX4's CAL_MAGn_ROT\n"));
    EXPECT_TRUE(down.out.contains(
        "  Assumed         the accelerometer reads -1 g on the axis pointing up at rest\n"));
    EXPECT_FALSE(down.out.contains("the axes disagree"));
}

TEST_F(AxesTest, TheAccelerometersOwnFitIsReported)
{
    AlignedRecording r = AxesTest::handTurned(24, 22);
    const Doub offset[3] = {0.3, -0.2, 0.15}, scale[3] = {1.03, 0.98, 1.01};
    std::copy(offset, offset + 3, r.accelOffset);
    std::copy(scale, scale + 3, r.accelScale);
    log("skewed.csv", r);
    const QStringList read = {"--hm",     "48",        "--columns", "mx,my,mz", "--accel-columns",
                              "ax,ay,az", "skewed.csv"};
    const QJsonObject a = json(QStringList(read) << "--json")["alignment"].toObject();
    const QJsonObject accel = a["accelerometer"].toObject();
    EXPECT_TRUE(accel["fitted"].toBool());
    EXPECT_EQ(accel["model"].toString(), "full");
    EXPECT_GE(accel["attitudes"].toInt(), 11);
    EXPECT_FALSE(accel.contains("reason"));
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(accel["offset"][i].toDouble(), offset[i], 0.03) << i;
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(accel["scale"][i][j].toDouble(), i == j ? 9.81 * scale[i] : 0.0, 0.03)
                << i << " " << j;
    }
    EXPECT_GT(accel["normErrorBefore"].toDouble(), 0.01);
    EXPECT_LT(accel["normErrorAfter"].toDouble(), 0.003);
    EXPECT_LT(a["dipSpreadAfterDegrees"].toDouble(), 0.5);

    const Outcome text = cli(read);
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(
        QStringLiteral("  Accelerometer   fitted, full, on %1 attitudes at rest; norms at rest spread ")
            .arg(accel["attitudes"].toInt())
            .toUtf8()))
        << text.out.toStdString();
    // b and S by rows, as the magnetometer's b and A.
    EXPECT_TRUE(text.out.contains("\n  Accel offset    "));
    EXPECT_TRUE(text.out.contains("\n  Accel scale     "));
}

TEST_F(AxesTest, BadOptionsAreRefusedAndReadNothing)
{
    board("b.csv", identity);
    const struct {
        QStringList arguments;
        QByteArray message;
    } cases[] = {
        {{"--accel-columns", "5,6,7"}, "--accel-columns goes with --columns."},
        {{"--columns", "2,3,4", "--accel-up"}, "--accel-up goes with --accel-columns."},
        {{"--columns", "2,3,4", "--accel-columns", "5,6,7", "--accel-up", "--accel-down"},
         "--accel-up and --accel-down say opposite things; choose one."},
        {{"--columns", "2,3,4", "--accel-columns", "5,6"},
         "--accel-columns takes three columns AX,AY,AZ, numbers from 1 or header names, not \"5,6\"."},
        {{"--columns", "2,3,4", "--accel-columns", "5,5,7"},
         "--accel-columns takes three different columns, not \"5,5,7\"."},
    };
    for (const auto &c : cases) {
        const Outcome o = cli(QStringList{"--hm", "48"} + c.arguments + QStringList{"b.csv"});
        EXPECT_EQ(o.status, 64) << c.message.toStdString();
        EXPECT_TRUE(o.err.contains(c.message)) << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty());
    }
    const Outcome port = cli({"--hm", "48", "--columns", "2,3,4", "--accel-columns", "5,6,7", "--port", "-"});
    EXPECT_EQ(port.status, 64);
    EXPECT_TRUE(port.err.contains("--accel-columns reads a log FILE; a capture with --port does not keep the "
                                  "accelerometer."))
        << port.err.toStdString();
    const Outcome missing =
        cli({"--hm", "48", "--columns", "mx,my,mz", "--accel-columns", "ax,aq,az", "b.csv"});
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(missing.err.contains("\"aq\" names no field of the header: 1 t, 2 mx"))
        << missing.err.toStdString();
    const Outcome shared =
        cli({"--hm", "48", "--columns", "mx,my,mz", "--accel-columns", "ax,my,az", "b.csv"});
    EXPECT_TRUE(shared.err.contains("y and the accelerometer's y are both column 3"))
        << shared.err.toStdString();
}

TEST_F(AxesTest, AlignTurnsTheCalibratedReadingsIntoTheAccelerometersAxes)
{
    const QString path = board("yaw90.csv", yaw90);
    const QStringList read = {"--hm",     "48",       "--columns", "mx,my,mz", "--accel-columns",
                              "ax,ay,az", "yaw90.csv"};
    const QJsonObject plain = json(QStringList(read) << "--json");
    const Outcome o = cli(QStringList(read) << "--align"
                                            << "--apply"
                                            << "aligned.txt");
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonArray rotation = plain["alignment"]["rotation"].toArray();
    const QJsonArray ainv = plain["Ainv"].toArray(), bias = plain["bias"].toArray();
    const QList<QByteArray> lines = readAll(dir.filePath("aligned.txt")).split('\n');
    const QList<QByteArray> rows = readAll(path).split('\n');
    ASSERT_GE(lines.size(), 100);
    for (int k = 0; k < 100; k++) {
        const QList<QByteArray> fields = rows[k + 1].split(',');
        double d[3], c[3] = {0, 0, 0};
        for (int i = 0; i < 3; i++)
            d[i] = fields[1 + i].toDouble() - bias[i].toDouble();
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int m = 0; m < 3; m++)
                    c[i] += rotation[i].toArray()[j].toDouble() * ainv[j].toArray()[m].toDouble() * d[m];
        const QList<QByteArray> written = lines[k].split('\t');
        ASSERT_EQ(written.size(), 3) << lines[k].toStdString();
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(written[i].toDouble(), c[i], 1e-5) << k << " " << i;
    }

    // The JSON's A is the combined calibration's, A R^T.
    const QJsonObject aligned = json(QStringList(read) << "--align"
                                                       << "--json");
    const QJsonArray A = plain["A"].toArray(), combined = aligned["A"].toArray();
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double expected = 0;
            for (int m = 0; m < 3; m++)
                expected += A[i].toArray()[m].toDouble() * rotation[j].toArray()[m].toDouble();
            EXPECT_NEAR(combined[i].toArray()[j].toDouble(), expected, 1e-12);
        }
}

TEST_F(AxesTest, AlignRefusesWhatItCannotDoAndWritesNothing)
{
    board("b.csv", identity);
    const QStringList read = {"--hm",     "48",     "--columns", "mx,my,mz", "--accel-columns",
                              "ax,ay,az", "--align"};
    const Outcome ardupilot = cli(QStringList(read) << "--units"
                                                    << "uT"
                                                    << "--export"
                                                    << "ardupilot"
                                                    << "b.csv");
    EXPECT_EQ(ardupilot.status, 64);
    EXPECT_TRUE(
        ardupilot.err.contains("--align goes with --export c, matlab or sensor-json; ardupilot takes the "
                               "orientation number that the report gives instead."))
        << ardupilot.err.toStdString();
    const Outcome alone = cli({"--hm", "48", "--columns", "mx,my,mz", "--align", "b.csv"});
    EXPECT_EQ(alone.status, 64);
    EXPECT_TRUE(alone.err.contains("--align goes with --accel-columns."));

    // An accelerometer that reads the same through all 400 readings, while the
    // magnetometer's readings spread over the ellipsoid: every reading is at
    // rest, all at one attitude, which cannot fix the axes.
    QByteArray still = "t,mx,my,mz,ax,ay,az\n";
    const MatDoub p = ellipsoidPoints(sampleTruth, 48.0, 400, 0.25, 5);
    for (Int k = 0; k < p.nrows(); k++)
        still += QByteArray::number(k) + ',' + QByteArray::number(p[k][0]) + ',' +
                 QByteArray::number(p[k][1]) + ',' + QByteArray::number(p[k][2]) + ",0.01,0.02,9.81\n";
    file("still.csv", still);
    const Outcome o = cli(QStringList(read) << "--apply"
                                            << "out.txt"
                                            << "still.csv");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(
        o.err.contains("still.csv: --align: the axes are not determined (the readings at rest hold the "
                       "accelerometer within 0."))
        << o.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.txt")));
    EXPECT_TRUE(o.out.contains("  Axes            not determined: "));
    EXPECT_TRUE(
        o.out.contains("  Accelerometer   not fitted: the readings at rest hold 1 distinct attitude, at "
                       "least 6 are needed; used as read\n"));

    // The JSON leaves null what the data did not fix.
    const QJsonObject a = json({"--hm", "48", "--json", "--columns", "mx,my,mz", "--accel-columns",
                                "ax,ay,az", "still.csv"})["alignment"]
                              .toObject();
    EXPECT_FALSE(a["determined"].toBool());
    EXPECT_TRUE(a["reason"].toString().startsWith("the readings at rest hold the accelerometer within 0."));
    EXPECT_EQ(a["readingsAtRest"].toInt(), 400);
    for (const char *unknown : {"mapping", "mirror", "rotation", "rotationDegrees", "dipDegrees",
                                "dipSpreadAfterDegrees", "ardupilotOrientation", "px4Rotation"})
        EXPECT_TRUE(a[unknown].isNull()) << unknown;
    EXPECT_TRUE(a["dipSpreadBeforeDegrees"].isDouble());
    const QJsonObject accel = a["accelerometer"].toObject();
    EXPECT_FALSE(accel["fitted"].toBool());
    EXPECT_EQ(accel["reason"].toString(),
              "the readings at rest hold 1 distinct attitude, at least 6 are needed");
    EXPECT_EQ(accel["attitudes"].toInt(), 1);
    for (const char *unknown : {"model", "offset", "scale", "normErrorBefore", "normErrorAfter"})
        EXPECT_TRUE(accel[unknown].isNull()) << unknown;
}
