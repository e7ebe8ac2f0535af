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
    // A hand-turned board with eight rests, its magnetometer turned by mount
    // against its accelerometer, as a log with both.
    QString board(const QString &name, const Doub (&mount)[3][3], bool readsDown = false)
    {
        AlignedRecording r;
        r.hand.truth = handSensor(0.8, 48.0, 21);
        r.hand.sigma = 0.2;
        r.hand.restShare = 0.3;
        r.hand.restAt = RestPlace::BetweenTurns;
        r.hand.rests = 8;
        r.hand.seed = 21;
        r.readsDown = readsDown;
        std::copy(&mount[0][0], &mount[0][0] + 9, &r.mount[0][0]);
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
