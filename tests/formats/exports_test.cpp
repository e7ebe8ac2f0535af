// Every export format written for a known calibration, read back by the
// test's own reader of the firmware's formula, and applied to points on the
// true ellipsoid: the firmware must find A^-1 (h - b) in its unit, of norm Hm.
#include "exportformat.h"
#include "exportreaders.h"
#include "firmwareheader.h"
#include "synthetic.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

constexpr double Microtesla = 1000.0;

void invert(const Doub m[3][3], Doub out[3][3])
{
    const Doub det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out[j][i] = (m[(i + 1) % 3][(j + 1) % 3] * m[(i + 2) % 3][(j + 2) % 3] -
                         m[(i + 1) % 3][(j + 2) % 3] * m[(i + 2) % 3][(j + 1) % 3]) /
                        det;
}

CalibrationParameters parametersOf(const Truth &t)
{
    CalibrationParameters p{MatDoub(3, 1), MatDoub(3, 3), MatDoub(3, 3)};
    Doub inverse[3][3];
    invert(t.A0, inverse);
    for (int i = 0; i < 3; i++) {
        p.Bias[i][0] = t.b0[i];
        for (int j = 0; j < 3; j++) {
            p.A[i][j] = t.A0[i][j];
            p.Ainv[i][j] = inverse[i][j];
        }
    }
    return p;
}

// Soft iron with cross-axis terms and a bias far from zero in every axis, in uT.
const Truth skewed = rotatedEllipsoid(1.25, 0.82, 1.07, 0.6, -0.4, 0.9, 35.0, -42.0, 51.0);
// Cross-axis terms of a few millionths, which six decimals would lose.
const Truth nearlyRound = rotatedEllipsoid(1.0, 1.00002, 0.99997, 0.3, 0.2, 0.1, 35.0, -42.0, 51.0);
constexpr double Hm = 48.0;

// The points and, after them, the ellipsoid's highest and lowest point on
// each axis, b_i +- Hm |row i of A0|, which a recording in every orientation reaches.
MatDoub withAxisExtremes(const Truth &t, double hm, const MatDoub &points)
{
    MatDoub out(points.nrows() + 6, 3);
    for (Int n = 0; n < points.nrows(); n++)
        for (int i = 0; i < 3; i++)
            out[n][i] = points[n][i];
    for (int i = 0; i < 3; i++) {
        const double length =
            std::sqrt(t.A0[i][0] * t.A0[i][0] + t.A0[i][1] * t.A0[i][1] + t.A0[i][2] * t.A0[i][2]);
        for (const double sign : {1.0, -1.0}) {
            const Int n = points.nrows() + 2 * i + (sign > 0 ? 0 : 1);
            for (int j = 0; j < 3; j++)
                out[n][j] = t.b0[j] + sign * hm *
                                          (t.A0[j][0] * t.A0[i][0] + t.A0[j][1] * t.A0[i][1] +
                                           t.A0[j][2] * t.A0[i][2]) /
                                          length;
        }
    }
    return out;
}

struct Written {
    CalibrationParameters parameters;
    MatDoub points;
    ExportResult result;
};

// A compass's device id as ArduPilot and PX4 make them: bus type, bus, address and type in its bytes.
constexpr long long TestDevice = 0x0d0a09;

Written write(const char *format, const Truth &t, double hm = Hm, double unitInNt = Microtesla,
              int compass = 1, const ExportIds &ids = {}, const std::optional<QByteArray> &merge = {})
{
    Written w{parametersOf(t), withAxisExtremes(t, hm, ellipsoidPoints(t, hm, 400, 0.0, 7)), {}};
    const Expected<ExportResult> written = exportFormatNamed(format)->write(
        {w.parameters, hm, unitInNt, compass, w.points, "run 1.txt", ids, merge});
    EXPECT_TRUE(written) << qPrintable(written.error());
    if (written)
        w.result = *written;
    return w;
}

// Applies the firmware to every point, in its unit (k per uT), and checks
// that it gives A^-1 (h - b), of norm Hm, to the relative precision asked.
void expectCalibrates(const Written &w, const Firmware &firmware, double k, double precision)
{
    const Calibrator calibrate(w.parameters);
    for (Int n = 0; n < w.points.nrows(); n++) {
        const Vec3 h{k * w.points[n][0], k * w.points[n][1], k * w.points[n][2]};
        const Vec3 got = firmware(h);
        double want[3];
        calibrate(w.points[n], want);
        for (int i = 0; i < 3; i++)
            ASSERT_NEAR(got[size_t(i)], k * want[i], precision * k * Hm) << "point " << n << " axis " << i;
        ASSERT_NEAR(norm(got), k * Hm, precision * k * Hm) << "point " << n;
    }
}

} // namespace

TEST(Exports, ArduPilotAddsOffsetsAndMultipliesInMilligauss)
{
    for (const Truth &t : {skewed, nearlyRound}) {
        const Written w = write("ardupilot", t);
        expectCalibrates(
            w, ardupilot(w.result.bytes, "COMPASS_OFS", "COMPASS_DIA", "COMPASS_ODI", "COMPASS_SCALE"), 10.0,
            1e-7);
        EXPECT_TRUE(w.result.bytes.contains("\nCOMPASS_OFS_X,-350.0\n")) << "offsets are -b";
    }
}

TEST(Exports, ArduPilotWritesTheDeviceIdOrWarnsThatTheCompassMayStayUncalibrated)
{
    for (const int compass : {1, 3}) {
        const QByteArray n = compass > 1 ? QByteArray::number(compass) : QByteArray();
        const Written with = write("ardupilot", skewed, Hm, Microtesla, compass, {TestDevice, {}, {}});
        long long device = 0;
        expectCalibrates(with,
                         ardupilot(with.result.bytes, "COMPASS_OFS" + n, "COMPASS_DIA" + n, "COMPASS_ODI" + n,
                                   "COMPASS_SCALE" + n, "COMPASS_DEV_ID" + n, &device),
                         10.0, 1e-7);
        EXPECT_EQ(device, TestDevice);
        EXPECT_TRUE(with.result.warnings.isEmpty());

        const Written without = write("ardupilot", skewed, Hm, Microtesla, compass);
        EXPECT_FALSE(without.result.bytes.contains("DEV_ID" + n + ','));
        const QString warning =
            QStringLiteral(
                "No device id was given, so COMPASS_DEV_ID%1 is not written: ArduPilot counts a "
                "compass as calibrated only when COMPASS_DEV_ID%1 matches it, and may keep one never "
                "calibrated on board \"not calibrated\". The id is COMPASS_DEV_ID%1 in the "
                "vehicle's parameter list. Rule: ArduPilot's code.")
                .arg(QString::fromLatin1(n));
        EXPECT_EQ(without.result.warnings, QStringList{warning});
        EXPECT_TRUE(without.result.bytes.contains("# Warning: " + warning.toUtf8() + '\n'));
    }
}

TEST(Exports, ArduPilotNumbersTheGroupForLaterCompasses)
{
    const Written second = write("ardupilot", skewed, Hm, Microtesla, 2);
    expectCalibrates(
        second,
        ardupilot(second.result.bytes, "COMPASS_OFS2", "COMPASS_DIA2", "COMPASS_ODI2", "COMPASS_SCALE2"),
        10.0, 1e-7);
    const Written third = write("ardupilot", skewed, Hm, Microtesla, 3);
    EXPECT_TRUE(third.result.bytes.contains("\nCOMPASS_ODI3_Z,"));
    EXPECT_TRUE(third.result.bytes.contains("\nCOMPASS_SCALE3,1.0\n"));
    const CalibrationParameters p = parametersOf(skewed);
    const MatDoub none(0, 3);
    EXPECT_FALSE(exportFormatNamed("ardupilot")->write({p, Hm, Microtesla, 4, none, ""}));
}

TEST(Exports, Px4SubtractsOffsetsInGauss)
{
    for (const Truth &t : {skewed, nearlyRound}) {
        const Written w = write("px4", t);
        expectCalibrates(w, px4(w.result.bytes, "CAL_MAG0_"), 0.01, 1e-7);
        EXPECT_TRUE(w.result.bytes.contains("\tCAL_MAG0_XOFF\t0.35\t9\n")) << "offsets are b";
        EXPECT_FALSE(w.result.bytes.contains("_ID\t")) << "the board keeps its device id";
    }
    const Written third = write("px4", skewed, Hm, Microtesla, 3);
    expectCalibrates(third, px4(third.result.bytes, "CAL_MAG2_"), 0.01, 1e-7);
}

TEST(Exports, Px4WritesTheVehicleItIsForAndTheSensorsDeviceId)
{
    const Written plain = write("px4", skewed);
    EXPECT_TRUE(
        plain.result.bytes.contains("# The lines are for system id 1 (the default) and component id 1 "
                                    "(the default): QGroundControl refuses a file of another "
                                    "vehicle's.\n"));
    EXPECT_TRUE(
        plain.result.bytes.contains("# PX4 gives CAL_MAG0 to the sensor whose device id is CAL_MAG0_ID: "
                                    "it must be the slot whose CAL_MAG0_ID, in the vehicle's "
                                    "parameter list, matches the sensor.\n"));

    const Written given = write("px4", skewed, Hm, Microtesla, 2, {TestDevice, 42, 190});
    long long device = 0;
    expectCalibrates(given, px4(given.result.bytes, "CAL_MAG1_", "42", "190", &device), 0.01, 1e-7);
    EXPECT_EQ(device, TestDevice);
    EXPECT_TRUE(given.result.bytes.contains("# The lines are for system id 42 and component id 190: "));
    EXPECT_TRUE(given.result.bytes.contains("# CAL_MAG1_PRIO and CAL_MAG1_ROT are not written"));
}

TEST(Exports, MatlabMultipliesRowsOnTheRightInTheMeasurementsUnit)
{
    for (const Truth &t : {skewed, nearlyRound}) {
        // No unit is needed: MATLAB keeps the measurements' own.
        const Written w = write("matlab", t, Hm, 0.0);
        double expmfs = 0.0;
        expectCalibrates(w, matlab(w.result.bytes, &expmfs), 1.0, 1e-7);
        EXPECT_EQ(expmfs, Hm);
    }
}

TEST(Exports, SensorJsonHoldsMicrotesla)
{
    // Measured in nT, stored in uT.
    Truth nT = skewed;
    for (Doub &b : nT.b0)
        b *= 1000.0;
    const Written w = write("sensor-json", nT, 1000.0 * Hm, 1.0);
    double field = 0.0;
    const Firmware firmware = sensorJson(w.result.bytes, &field);
    EXPECT_NEAR(field, Hm, 1e-9);
    const Calibrator calibrate(w.parameters);
    for (Int n = 0; n < w.points.nrows(); n++) {
        const Vec3 got =
            firmware({w.points[n][0] / 1000.0, w.points[n][1] / 1000.0, w.points[n][2] / 1000.0});
        double want[3];
        calibrate(w.points[n], want);
        for (int i = 0; i < 3; i++)
            ASSERT_NEAR(got[size_t(i)], want[i] / 1000.0, 1e-9 * Hm);
        ASSERT_NEAR(norm(got), Hm, 1e-9 * Hm);
    }
}

TEST(Exports, SensorJsonWritesTheOtherSensorsDefaultsAndWarnsThatTheyReset)
{
    const Written w = write("sensor-json", skewed);
    const QJsonObject o = QJsonDocument::fromJson(w.result.bytes).object();
    EXPECT_EQ(o["accel_zerog"].toArray(), (QJsonArray{0, 0, 0}));
    EXPECT_EQ(o["gyro_zerorate"].toArray(), (QJsonArray{0, 0, 0}));
    EXPECT_EQ(w.result.warnings,
              QStringList{
                  "accel_zerog and gyro_zerorate are written as the library's defaults, zeros: loading the "
                  "file resets the board's accelerometer and gyroscope calibration. Merged into the board's "
                  "own file, the calibration keeps them."});
}

TEST(Exports, SensorJsonMergedIntoABoardsFileReplacesOnlyTheMagnetometer)
{
    // Fields the library does not know, strings holding braces, nesting, and
    // an order no sorting gives: all kept byte for byte.
    const QByteArray board =
        "{\n  \"gyro_zerorate\": [0.1, 0.2, 0.3],\n  \"board\": \"fe\\\"ather}\",\n"
        "  \"mag_field\": 10,\n  \"accel_zerog\": [1,2,3],\n  \"mag_hardiron\" : [0,0,0],\n"
        "  \"zz\": {\"a\": \"}]\", \"b\": [1,{\"c\":2}]}\n}\n";
    const Written w = write("sensor-json", skewed, Hm, Microtesla, 1, {}, board);
    const QByteArray &out = w.result.bytes;
    EXPECT_TRUE(w.result.warnings.isEmpty());
    double field = 0.0;
    expectCalibrates(w, sensorJson(out, &field), 1.0, 1e-9);
    EXPECT_EQ(field, Hm);
    // Every field where it was, the missing one added last on a line of its own.
    QStringList order;
    for (const QRegularExpressionMatch &m :
         QRegularExpression("^  \"(\\w+)\"", QRegularExpression::MultilineOption)
             .globalMatch(QString::fromUtf8(out)))
        order << m.captured(1);
    EXPECT_EQ(order, (QStringList{"gyro_zerorate", "board", "mag_field", "accel_zerog", "mag_hardiron", "zz",
                                  "mag_softiron"}));
    EXPECT_TRUE(out.startsWith(
        "{\n  \"gyro_zerorate\": [0.1, 0.2, 0.3],\n  \"board\": \"fe\\\"ather}\",\n"
        "  \"mag_field\": 48,\n  \"accel_zerog\": [1,2,3],\n  \"mag_hardiron\" : [35,-42,51],\n"
        "  \"zz\": {\"a\": \"}]\", \"b\": [1,{\"c\":2}]},\n  \"mag_softiron\": ["))
        << out.constData();
    EXPECT_TRUE(out.endsWith("]\n}\n"));

    // What is no such file is refused, and nothing is written.
    const CalibrationParameters p = parametersOf(skewed);
    const MatDoub none(0, 3);
    const struct {
        QByteArray text;
        const char *refusal;
    } refused[] = {
        {"mag_field = 10\n", "The file to merge into is not JSON: illegal value at byte 1."},
        {"[1, 2]", "The file to merge into is no JSON object."},
        {"{\"name\": \"board\"}",
         "The file to merge into is no sensor calibration: it holds none of accel_zerog, "
         "gyro_zerorate, mag_hardiron, mag_softiron, mag_field."},
    };
    for (const auto &r : refused) {
        const Expected<ExportResult> result =
            exportFormatNamed("sensor-json")->write({p, Hm, Microtesla, 1, none, "run.txt", {}, r.text});
        EXPECT_FALSE(result);
        EXPECT_EQ(result.error(), r.refusal);
    }
}

TEST(Exports, InavScalesEachAxisTo1024AndStatesWhatItsLossCosts)
{
    // Raw counts: Hm of 1090 counts, a bias of hundreds.
    const Truth counts = rotatedEllipsoid(1.25, 0.82, 1.07, 0.6, -0.4, 0.9, 230.0, -310.0, 175.0);
    const Written w = write("inav", counts, 1090.0, 0.0);
    long long zero[3], gain[3];
    const Firmware firmware = inav(w.result.bytes, zero, gain);
    double worst = 0.0;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(zero[i], std::llround(counts.b0[i]));
        // iNav's half range: the largest count, at u = row i of A0 over its length, less magzero.
        const double length =
            std::sqrt(counts.A0[i][0] * counts.A0[i][0] + counts.A0[i][1] * counts.A0[i][1] +
                      counts.A0[i][2] * counts.A0[i][2]);
        EXPECT_EQ(gain[i], std::llround(counts.b0[i] + 1090.0 * length - double(zero[i])));
    }
    for (Int n = 0; n < w.points.nrows(); n++)
        worst = std::max(
            worst, std::fabs(norm(firmware({w.points[n][0], w.points[n][1], w.points[n][2]})) - 1024.0));
    const QByteArray stated =
        "worst norm error on the 406 points is " + QByteArray::number(100.0 * worst / 1024.0, 'f', 2) + " %";
    EXPECT_TRUE(w.result.bytes.contains(stated)) << w.result.bytes.constData();

    // Without cross-axis terms, on data that reach each axis's extremes, the
    // firmware lands on 1024 to the gains' rounding.
    const Truth diagonal = {{{1.25, 0, 0}, {0, 0.82, 0}, {0, 0, 1.07}}, {230.0, -310.0, 175.0}};
    const Written d = write("inav", diagonal, 1090.0, 0.0);
    const Firmware exact = inav(d.result.bytes, zero, gain);
    for (Int n = 0; n < d.points.nrows(); n++) {
        const Vec3 out = exact({d.points[n][0], d.points[n][1], d.points[n][2]});
        ASSERT_NEAR(norm(out), 1024.0, 1024.0 * 1.5e-3);
    }
}

TEST(Exports, BetaflightSubtractsRoundedOffsetsAndStatesWhatTheMatrixCosts)
{
    const Truth counts = rotatedEllipsoid(1.25, 0.82, 1.07, 0.6, -0.4, 0.9, 230.4, -310.6, 175.0);
    const Written w = write("betaflight", counts, 1090.0, 0.0);
    long long offsets[3];
    const Firmware firmware = betaflight(w.result.bytes, offsets);
    EXPECT_EQ(offsets[0], 230);
    EXPECT_EQ(offsets[1], -311);
    EXPECT_EQ(offsets[2], 175);
    double worst = 0.0;
    for (Int n = 0; n < w.points.nrows(); n++)
        worst = std::max(
            worst, std::fabs(norm(firmware({w.points[n][0], w.points[n][1], w.points[n][2]})) - 1090.0));
    EXPECT_TRUE(
        w.result.bytes.contains("is " + QByteArray::number(100.0 * worst / 1090.0, 'f', 2) + " % of Hm"));

    // Hard iron alone: the offsets are the whole calibration, to half a count.
    const Written sphere = write("betaflight", sphereTruth(1.0, 230.0, -310.0, 175.0), 1090.0, 0.0);
    const Firmware exact = betaflight(sphere.result.bytes, offsets);
    for (Int n = 0; n < sphere.points.nrows(); n++)
        ASSERT_NEAR(norm(exact({sphere.points[n][0], sphere.points[n][1], sphere.points[n][2]})), 1090.0,
                    1e-6);
}

TEST(Exports, PhysicalUnitsAreRefusedWithoutTheMeasurementsUnit)
{
    const CalibrationParameters p = parametersOf(skewed);
    const MatDoub none(0, 3);
    for (const ExportFormat &f : exportFormats()) {
        const Expected<ExportResult> r = f.write({p, Hm, 0.0, 1, none, "run.txt"});
        EXPECT_EQ(bool(r), !f.needsUnits) << f.name;
        EXPECT_EQ(r.error().isEmpty(), !f.needsUnits) << f.name;
        if (r) {
            EXPECT_FALSE(r->bytes.isEmpty()) << f.name;
        }
        if (qstrcmp(f.unitName, "counts") == 0) {
            ASSERT_TRUE(r) << f.name;
            EXPECT_TRUE(r->bytes.contains("no measurements were given to measure what this costs."))
                << f.name;
        }
    }
    EXPECT_TRUE(exportFormatNamed("ardupilot")->needsUnits);
    EXPECT_TRUE(exportFormatNamed("px4")->needsUnits);
    EXPECT_TRUE(exportFormatNamed("sensor-json")->needsUnits);
}

namespace {

// With the device id, whose absence ArduPilot's export warns of.
QStringList warnings(const char *format, const Truth &t, double hm, double unitInNt = Microtesla)
{
    const Written w = write(format, t, hm, unitInNt, 1, {TestDevice, {}, {}});
    // Each warning is also a comment of the file.
    for (const QString &warning : w.result.warnings)
        EXPECT_TRUE(w.result.bytes.contains("# Warning: " + warning.toUtf8() + '\n')) << qPrintable(warning);
    return w.result.warnings;
}

} // namespace

TEST(Exports, ArduPilotWarnsWhereItsArmingChecksWouldRefuse)
{
    // Offsets of 1799 and 1801 mG, in uT.
    EXPECT_TRUE(warnings("ardupilot", sphereTruth(1.0, 179.9, 0.0, 0.0), Hm).isEmpty());
    const QStringList longOffsets = warnings("ardupilot", sphereTruth(1.0, 0.0, 0.0, 180.1), Hm);
    ASSERT_EQ(longOffsets.size(), 1);
    EXPECT_EQ(longOffsets[0],
              "The offsets are 1801.0 mG long, beyond the 1800 mG that ArduPilot's arming check "
              "accepts by default (COMPASS_OFFS_MAX). Rule: ArduPilot's code.");
    EXPECT_EQ(
        warnings("ardupilot", sphereTruth(1.0, 0.0, 0.0, 0.0), Hm),
        QStringList{"The offsets are all zero, which ArduPilot takes for an uncalibrated compass. Rule: "
                    "ArduPilot's code."});
    // The corrected field: 185 and 875 mG pass, beyond them it is refused.
    EXPECT_TRUE(warnings("ardupilot", skewed, 18.5).isEmpty());
    EXPECT_TRUE(warnings("ardupilot", skewed, 87.5).isEmpty());
    for (const double hm : {18.4, 87.6})
        EXPECT_EQ(
            warnings("ardupilot", skewed, hm),
            QStringList{QStringLiteral("The corrected field, %1 mG, lies outside the 185 to 875 mG that "
                                       "ArduPilot's arming check accepts: are the measurements in the unit "
                                       "given? Rule: ArduPilot's code.")
                            .arg(10.0 * hm, 0, 'f', 1)});
}

TEST(Exports, Px4WarnsOfScalesItRefuses)
{
    // A^-1's diagonal is the inverse of A0's.
    EXPECT_TRUE(
        warnings("px4", {{{1 / 2.9, 0, 0}, {0, 1 / 0.11, 0}, {0, 0, 1}}, {35, -42, 51}}, Hm).isEmpty());
    EXPECT_EQ(
        warnings("px4", {{{1 / 3.1, 0, 0}, {0, 1 / 0.09, 0}, {0, 0, 1}}, {35, -42, 51}}, Hm),
        (QStringList{"CAL_MAG0_XSCALE is 3.1, outside the 0.1 to 3 of a plausible sensor: PX4 accepts any "
                     "positive scale, but so large a correction suggests wrong measurements. Rule: Tavrin's "
                     "own judgement.",
                     "CAL_MAG0_YSCALE is 0.09, outside the 0.1 to 3 of a plausible sensor: PX4 accepts any "
                     "positive scale, but so large a correction suggests wrong measurements. Rule: Tavrin's "
                     "own judgement."}));
}

TEST(Exports, CountsWarnBeyondSixteenBitsAndOfAZeroGain)
{
    EXPECT_TRUE(warnings("inav", sphereTruth(1.0, 32767.0, -32768.0, 0.0), 1000.0, 0.0).isEmpty());
    EXPECT_EQ(warnings("inav", sphereTruth(1.0, 32768.0, -32769.0, 0.0), 1000.0, 0.0),
              (QStringList{
                  "magzero_x = 32768 lies outside the 16-bit integers that iNav stores. Rule: iNav's code.",
                  "magzero_y = -32769 lies outside the 16-bit integers that iNav stores. Rule: iNav's "
                  "code."}));
    EXPECT_EQ(warnings("inav", sphereTruth(100.0, 0.0, 0.0, 0.0), 40000.0, 0.0).size(), 3)
        << "gains of 4000000";
    const Written zeroGain = write("inav", sphereTruth(1.0, 5.0, 5.0, 5.0), 0.4, 0.0);
    EXPECT_EQ(
        zeroGain.result.warnings.value(0),
        "maggain_x comes to 0, by which iNav cannot scale; 1 is written: the measurements reach no further "
        "than magzero on that axis. Rule: iNav's code.");
    EXPECT_TRUE(zeroGain.result.bytes.contains("\nset maggain_x = 1\n"));

    EXPECT_TRUE(warnings("betaflight", sphereTruth(1.0, 32767.0, -32768.0, 0.0), 1000.0, 0.0).isEmpty());
    EXPECT_EQ(warnings("betaflight", sphereTruth(1.0, 0.0, -32769.0, 0.0), 1000.0, 0.0),
              QStringList{"The offset -32769 lies outside the 16-bit integers that Betaflight stores. Rule: "
                          "Betaflight's code."});
    EXPECT_EQ(warnings("betaflight", sphereTruth(1.0, 0.3, -0.4, 0.49), 1000.0, 0.0),
              QStringList{"The offsets round to 0,0,0 in the whole counts that Betaflight stores: the file "
                          "corrects nothing, and Betaflight takes it for an uncalibrated compass. Rule: "
                          "Betaflight's code."});
}

TEST(Exports, CheckFindsAGoodFileGoodAndAWrongOneWrong)
{
    for (const ExportFormat &f : exportFormats()) {
        if (!f.read)
            continue;
        const bool counts = qstrcmp(f.unitName, "counts") == 0;
        const Truth t = qstrcmp(f.name, "betaflight") == 0 ? sphereTruth(1.0, 230.0, -310.0, 175.0)
                        : counts ? Truth{{{1.25, 0, 0}, {0, 0.82, 0}, {0, 0, 1.07}}, {230.0, -310.0, 175.0}}
                                 : skewed;
        const double hm = counts ? 1090.0 : Hm;
        const Written w = write(f.name, t, hm);
        const Expected<ExportCheck> good = checkExport(f, w.result.bytes, w.points, hm, Microtesla, 1);
        ASSERT_TRUE(good) << f.name << ": " << qPrintable(good.error());
        EXPECT_LT(good->rms, (counts ? 1.5e-3 : 1e-7) * good->expectedNorm) << f.name;

        // The same file, its bias taken with the wrong sign.
        Truth flipped = t;
        for (Doub &b : flipped.b0)
            b = -b;
        const Written other = write(f.name, flipped, hm);
        const Expected<ExportCheck> bad = checkExport(f, other.result.bytes, w.points, hm, Microtesla, 1);
        ASSERT_TRUE(bad) << f.name;
        EXPECT_GT(bad->rms, 0.25 * bad->expectedNorm) << f.name;
    }
}

TEST(Exports, CheckReadsOtherToolsFilesAndSaysWhatIsWrong)
{
    const MatDoub points = ellipsoidPoints(sphereTruth(1.0, 35.0, -42.0, 51.0), Hm, 100, 0.0, 3);
    // ArduPilot's own NAME VALUE lines; diagonals of zero are its "no matrix".
    const QByteArray ardupilotFile =
        "COMPASS_OFS_X -350\nCOMPASS_OFS_Y 420\nCOMPASS_OFS_Z -510\nCOMPASS_DIA_X 0\n"
        "COMPASS_DIA_Y 0\nCOMPASS_DIA_Z 0\nCOMPASS_ODI_X 0\nCOMPASS_ODI_Y 0\n"
        "COMPASS_ODI_Z 0\n";
    const Expected<ExportCheck> fromOther =
        checkExport(*exportFormatNamed("ardupilot"), ardupilotFile, points, Hm, Microtesla, 1);
    ASSERT_TRUE(fromOther) << qPrintable(fromOther.error());
    EXPECT_LT(fromOther->rms, 1e-9);
    EXPECT_EQ(fromOther->expectedNorm, 480.0);
    // QGroundControl's file of an ArduPilot vehicle.
    QByteArray qgcFile;
    for (const QByteArray &line : ardupilotFile.split('\n'))
        if (!line.isEmpty())
            qgcFile += "1\t1\t" + QByteArray(line).replace(' ', '\t') + "\t9\n";
    const Expected<ExportCheck> fromQgc =
        checkExport(*exportFormatNamed("ardupilot"), qgcFile, points, Hm, Microtesla, 1);
    ASSERT_TRUE(fromQgc) << qPrintable(fromQgc.error());
    EXPECT_LT(fromQgc->rms, 1e-9);

    const struct {
        const char *format;
        QByteArray text;
        const char *error;
    } wrong[] = {
        {"ardupilot", "COMPASS_OFS_X,1\n", "The file does not set COMPASS_OFS_Y."},
        {"ardupilot", "# fine\nCOMPASS_OFS_X,1,2\n", "line 2: a parameter line is NAME,VALUE."},
        {"px4", "1\t1\tCAL_MAG0_XOFF\t0.1\n",
         "line 1: a parameter line is five tab-separated fields: vehicle, component, name, value, type."},
        {"matlab", "b = [1 2 3];\nA = [1 0 0; 0 1 0];\n", "The script does not set A to a 3-by-3 matrix."},
        {"inav", "set magzero_x = 1.5\n", "line 1: magzero_x takes an integer."},
        {"inav", "set maggain_y = 0\n", "maggain_y is 0, by which iNav cannot divide."},
        {"inav", "feature GPS\nsave\n", "The file sets no magzero or maggain."},
        {"betaflight", "set mag_calibration = 1,2\n", "line 1: mag_calibration takes three integers X,Y,Z."},
        {"sensor-json", "{\"mag_hardiron\": [1, 2, 3]}",
         "The JSON needs mag_hardiron, 3 numbers, and mag_softiron, 9."},
    };
    for (const auto &w : wrong)
        EXPECT_EQ(checkExport(*exportFormatNamed(w.format), w.text, points, Hm, Microtesla, 1).error(),
                  w.error)
            << w.format;
    EXPECT_EQ(checkExport(*exportFormatNamed("px4"), "", points, Hm, 0.0, 1).error(),
              "The unit of the measurements is needed to apply a px4 file.");
}

TEST(Exports, EachFirmwaresCommentAndDescriptionNameTheFrameInItsOwnTerms)
{
    const struct {
        const char *format;
        QByteArray comment;
        const char *description;
    } frames[] = {
        {"ardupilot",
         "# ArduPilot corrects the field in the body frame, after COMPASS_ORIENT: the measurements must be "
         "in that "
         "frame.\n",
         "in the body frame after COMPASS_ORIENT"},
        {"px4",
         "# PX4 corrects in the sensor frame, before CAL_MAG0_ROT rotates the field: the measurements must "
         "be in "
         "that frame.\n",
         "in the sensor frame before CAL_MAGn_ROT"},
        {"inav",
         "# iNav applies magzero in the driver's raw frame, before align_mag and the board alignment:\n"
         "# the measurements must be iNav's raw counts in that frame.\n",
         "in the driver's raw frame before align_mag and the board alignment"},
        {"betaflight",
         "# Betaflight applies out = raw - mag_calibration, in raw counts, after align_mag and the board "
         "alignment:\n# the measurements must be Betaflight's raw counts in the board frame.\n",
         "in the board frame after align_mag and the board alignment"},
    };
    for (const auto &f : frames) {
        EXPECT_TRUE(write(f.format, skewed).result.bytes.contains(f.comment)) << f.format;
        EXPECT_TRUE(QByteArray(exportFormatNamed(f.format)->description).contains(f.description)) << f.format;
    }
}

TEST(Exports, CheckRefusesAFileWhoseIdsAreNotThoseGiven)
{
    const Written px4File = write("px4", skewed, Hm, Microtesla, 1, {TestDevice, 42, 190});
    const Written ardupilotFile = write("ardupilot", skewed, Hm, Microtesla, 2, {TestDevice, {}, {}});
    const auto checked = [&](const char *format, const QByteArray &text, const ExportIds &ids,
                             int compass = 1) {
        return checkExport(*exportFormatNamed(format), text, px4File.points, Hm, Microtesla, compass, nullptr,
                           ids)
            .error();
    };
    EXPECT_EQ(checked("px4", px4File.result.bytes, {TestDevice, 42, 190}), "");
    EXPECT_EQ(checked("px4", px4File.result.bytes, {}), "") << "ids not given are not compared";
    EXPECT_EQ(checked("px4", px4File.result.bytes, {TestDevice + 1, {}, {}}),
              "The file's device id is 854537, not the 854538 given.");
    EXPECT_EQ(checked("px4", px4File.result.bytes, {{}, 1, {}}),
              "The file's system id is 42, not the 1 given.");
    EXPECT_EQ(checked("px4", px4File.result.bytes, {{}, 42, 1}),
              "The file's component id is 190, not the 1 given.");
    EXPECT_EQ(checked("px4", write("px4", skewed).result.bytes, {TestDevice, {}, {}}),
              "The file holds no device id; 854537 was given.");
    EXPECT_EQ(checked("ardupilot", ardupilotFile.result.bytes, {TestDevice, {}, {}}, 2), "");
    EXPECT_EQ(checked("ardupilot", ardupilotFile.result.bytes, {7, {}, {}}, 2),
              "The file's device id is 854537, not the 7 given.");
    // Compass 1's id is another parameter than compass 2's.
    EXPECT_EQ(checked("ardupilot",
                      QByteArray(ardupilotFile.result.bytes)
                          .replace("OFS2_", "OFS_")
                          .replace("DIA2_", "DIA_")
                          .replace("ODI2_", "ODI_"),
                      {TestDevice, {}, {}}),
              "The file holds no device id; 854537 was given.");

    // An id that is no whole number from 1 up is no id at all.
    EXPECT_EQ(checked("ardupilot", ardupilotFile.result.bytes + "COMPASS_DEV_ID2,-3\n", {}, 2),
              "COMPASS_DEV_ID2 is -3, not a device id: a whole number from 1 to 2147483647.");
    EXPECT_EQ(checked("px4", px4File.result.bytes + "42\t190\tCAL_MAG0_ID\t12.5\t6\n", {}),
              "CAL_MAG0_ID is 12.5, not a device id: a whole number from 1 to 2147483647.");
    EXPECT_EQ(checked("px4", px4File.result.bytes + "42\t190\tCAL_MAG0_ID\t4294967296\t6\n", {}),
              "CAL_MAG0_ID is 4294967296, not a device id: a whole number from 1 to 2147483647.");
}

TEST(Exports, TheTablesCHeaderIsTheHeaderNamedAfterItsFile)
{
    CalibrationParameters p = parametersOf(skewed);
    const MatDoub none(0, 3);
    const Expected<ExportResult> r = exportFormatNamed("c")->write({p, Hm, 0.0, 1, none, "run 1.txt"});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->bytes, FirmwareHeader(cIdentifier("run 1.txt"), "run 1.txt", Hm, p).value());
    // Beyond a float, refused.
    p.Bias[0][0] = 1e39;
    const Expected<ExportResult> refused = exportFormatNamed("c")->write({p, Hm, 0.0, 1, none, "run.txt"});
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), floatOverflowMessage());
}

namespace {

// Hard iron alone, in uT: ArduPilot's offsets -350, 420, -510 mG with a
// matrix of diagonal `diagonal`, and its scale line when one is given.
const Truth hardIron = sphereTruth(1.0, 35.0, -42.0, 51.0);

QByteArray ardupilotFile(double diagonal, const QByteArray &scaleLine, int compass = 1)
{
    const QByteArray n = compass > 1 ? QByteArray::number(compass) : QByteArray();
    QByteArray text =
        "COMPASS_OFS" + n + "_X,-350\nCOMPASS_OFS" + n + "_Y,420\nCOMPASS_OFS" + n + "_Z,-510\n";
    for (const char axis : {'X', 'Y', 'Z'})
        text += "COMPASS_DIA" + n + '_' + axis + ',' + QByteArray::number(diagonal, 'g', 17) +
                "\nCOMPASS_ODI" + n + '_' + axis + ",0\n";
    return text + scaleLine;
}

Expected<ExportCheck> check(const char *format, const QByteArray &text, const Truth &t = hardIron,
                            int compass = 1)
{
    const MatDoub points = ellipsoidPoints(t, Hm, 100, 0.0, 3);
    const CalibrationParameters reference = parametersOf(t);
    return checkExport(*exportFormatNamed(format), text, points, Hm, Microtesla, compass, &reference);
}

} // namespace

TEST(Exports, CheckAppliesArduPilotsScaleOnlyInsideItsWindow)
{
    const QString ignored =
        "COMPASS_SCALE%1 is %2, outside the 0.666667 to 1.5 that ArduPilot applies: the firmware ignores it "
        "and scales by 1.";
    // Inside [1/1.5, 1.5] the scale multiplies the matrix.
    for (const double scale : {1.25, 1.5, 1.0 / 1.5}) {
        const Expected<ExportCheck> inside = check(
            "ardupilot", ardupilotFile(1.0 / scale, "COMPASS_SCALE," + QByteArray::number(scale, 'g', 17)));
        ASSERT_TRUE(inside) << qPrintable(inside.error());
        EXPECT_LT(inside->rms, 1e-9) << scale;
        EXPECT_TRUE(inside->notes.isEmpty());
    }
    // Outside it the firmware scales by 1: a halved matrix with a scale of 2 is half the field,
    const Expected<ExportCheck> halved = check("ardupilot", ardupilotFile(0.5, "COMPASS_SCALE,2.0\n"));
    ASSERT_TRUE(halved) << qPrintable(halved.error());
    EXPECT_NEAR(halved->rms, 240.0, 1e-9);
    EXPECT_EQ(halved->notes, QStringList{ignored.arg("", "2")});
    // and a good matrix with that scale is good; so for a later compass.
    const Expected<ExportCheck> good =
        check("ardupilot", ardupilotFile(1.0, "COMPASS_SCALE2,0.5\n", 2), hardIron, 2);
    ASSERT_TRUE(good) << qPrintable(good.error());
    EXPECT_LT(good->rms, 1e-9);
    EXPECT_EQ(good->notes, QStringList{ignored.arg("2", "0.5")});
    EXPECT_TRUE(good->directionsAgree());
    // A scale of 0 is ArduPilot's "not set", taken for 1 without a note.
    const Expected<ExportCheck> unset = check("ardupilot", ardupilotFile(1.0, "COMPASS_SCALE,0\n"));
    ASSERT_TRUE(unset) << qPrintable(unset.error());
    EXPECT_LT(unset->rms, 1e-9);
    EXPECT_TRUE(unset->notes.isEmpty());
}

TEST(Exports, CheckReadsTheLastAssignmentOfAMatlabScript)
{
    const QByteArray right = "b = [35 -42 51];\nA = [1 0 0; 0 1 0; 0 0 1];\n";
    const QByteArray wrong = "b = [-35 42 -51];\n";
    EXPECT_LT(check("matlab", wrong + right)->rms, 1e-9);
    const Expected<ExportCheck> overwritten = check("matlab", right + wrong);
    ASSERT_TRUE(overwritten);
    EXPECT_GT(overwritten->rms, 40.0) << "MATLAB keeps the last b";
    // On one line, after a comment that sets nothing.
    EXPECT_LT(
        check("matlab", "A = [1 0 0; 0 1 0; 0 0 1]; b = [0 0 0]; b = [35 -42 51]; % b = [1 2 3];\n")->rms,
        1e-9);
    const struct {
        QByteArray text;
        const char *error;
    } refused[] = {
        {right + "b(2) = 7;\n", "The script sets elements of b; it must assign b = [...] whole."},
        {right + "A = [1 0 0; 0 0 1; 0 1 0]';\n",
         "The script's last assignment to A is no matrix [...] alone."},
        {right + "b = b * 2;\n", "The script's last assignment to b is no matrix [...] alone."},
    };
    for (const auto &r : refused)
        EXPECT_EQ(check("matlab", r.text).error(), r.error) << r.text.constData();
}

TEST(Exports, CheckReadsTheParametersOfOneVehicle)
{
    const Written w = write("px4", skewed);
    const Expected<ExportCheck> own = check("px4", w.result.bytes, skewed);
    ASSERT_TRUE(own) << qPrintable(own.error());
    EXPECT_LT(own->rms, 1e-7 * own->expectedNorm);
    // A second vehicle's offsets after the first's must not replace them.
    const QByteArray mixed = w.result.bytes + "2\t1\tCAL_MAG0_XOFF\t0.9\t9\n";
    EXPECT_EQ(check("px4", mixed, skewed).error(),
              "line 19: a parameter of vehicle 2 in a file of vehicle 1's: the file must hold the parameters "
              "of one vehicle.");
    // Any one vehicle will do.
    EXPECT_LT(check("px4", QByteArray(w.result.bytes).replace("\n1\t1\t", "\n3\t1\t"), skewed)->rms,
              1e-7 * own->expectedNorm);
    // QGroundControl's file of an ArduPilot vehicle, and its vehicle id read as a number.
    QByteArray qgc;
    for (const QByteArray &line : ardupilotFile(1.0, "").split('\n'))
        if (!line.isEmpty())
            qgc += "1\t1\t" + QByteArray(line).replace(',', '\t') + "\t9\n";
    EXPECT_LT(check("ardupilot", qgc)->rms, 1e-9);
    EXPECT_EQ(check("ardupilot", qgc + "7\t1\tCOMPASS_OFS_X\t350\t9\n").error(),
              "line 10: a parameter of vehicle 7 in a file of vehicle 1's: the file must hold the parameters "
              "of one vehicle.");
    EXPECT_EQ(check("ardupilot", "one\t1\tCOMPASS_OFS_X\t350\t9\n").error(),
              "line 1: a parameter line is NAME,VALUE.");
}

TEST(Exports, CheckComparesEachDirectionWithTheCalibration)
{
    const Written w = write("sensor-json", skewed);
    const Expected<ExportCheck> good = check("sensor-json", w.result.bytes, skewed);
    ASSERT_TRUE(good) << qPrintable(good.error());
    EXPECT_TRUE(good->directionsAgree());
    EXPECT_LT(good->worstAngle, 1e-6);
    // The soft-iron matrix negated, or its first two rows swapped, keeps every
    // norm but turns the field.
    QJsonObject o = QJsonDocument::fromJson(w.result.bytes).object();
    QJsonArray soft = o["mag_softiron"].toArray(), negated, swapped;
    for (const QJsonValue v : soft)
        negated.append(-v.toDouble());
    for (const int k : {3, 4, 5, 0, 1, 2, 6, 7, 8})
        swapped.append(soft[k]);
    for (const auto &[matrix, worst] : {std::pair{negated, 179.0}, std::pair{swapped, 60.0}}) {
        o["mag_softiron"] = matrix;
        const Expected<ExportCheck> turned = check("sensor-json", QJsonDocument(o).toJson(), skewed);
        ASSERT_TRUE(turned) << qPrintable(turned.error());
        EXPECT_LT(turned->rms, 1e-7 * turned->expectedNorm);
        EXPECT_FALSE(turned->directionsAgree());
        EXPECT_GT(turned->worstAngle, worst);
        EXPECT_GT(turned->rmsAngle, DirectionTolerance);
    }
    // A file of half a degree's turn about z is within the tolerance; six degrees are not.
    for (const auto &[degrees, agree] : {std::pair{0.5, true}, std::pair{6.0, false}}) {
        const double a = degrees * 3.14159265358979323846 / 180.0;
        const Expected<ExportCheck> turned =
            check("sensor-json",
                  QStringLiteral(
                      "{\"mag_hardiron\": [35, -42, 51], \"mag_softiron\": [%1, %2, 0, %3, %1, 0, 0, 0, 1]}")
                      .arg(std::cos(a), 0, 'g', 17)
                      .arg(-std::sin(a), 0, 'g', 17)
                      .arg(std::sin(a), 0, 'g', 17)
                      .toUtf8());
        ASSERT_TRUE(turned) << qPrintable(turned.error());
        // The points nearest the plane of the turn turn by nearly all of it.
        EXPECT_LE(turned->worstAngle, degrees + 1e-9);
        EXPECT_GT(turned->worstAngle, 0.95 * degrees);
        EXPECT_EQ(turned->directionsAgree(), agree) << degrees;
    }
    // Without a calibration nothing is said of the directions.
    const MatDoub points = ellipsoidPoints(skewed, Hm, 100, 0.0, 3);
    EXPECT_FALSE(checkExport(*exportFormatNamed("sensor-json"), w.result.bytes, points, Hm, Microtesla, 1)
                     ->directionsChecked);
}

TEST(Exports, CheckRefusesValuesBeyondWhatTheFirmwareHolds)
{
    EXPECT_EQ(check("ardupilot", ardupilotFile(1.0, "").replace("_X,-350", "_X,-1e308")).error(),
              "The file holds 1e+308, beyond what the 32-bit floats of a firmware hold.");
    EXPECT_EQ(check("sensor-json",
                    "{\"mag_hardiron\": [0, 0, 0], \"mag_softiron\": [4e38, 0, 0, 0, 1, 0, 0, 0, 1]}")
                  .error(),
              "The file holds 4e+38, beyond what the 32-bit floats of a firmware hold.");
    // Values a float holds, on readings whose corrected norm a double does not.
    const MatDoub huge = ellipsoidPoints(sphereTruth(1e150, 0.0, 0.0, 0.0), Hm, 20, 0.0, 3);
    EXPECT_EQ(checkExport(*exportFormatNamed("matlab"), "b = [0 0 0];\nA = [3e38 0 0; 0 1 0; 0 0 1];\n", huge,
                          Hm, Microtesla, 1)
                  .error(),
              "Applied to the measurements, the file gives values beyond what a double holds.");
}

TEST(Exports, CheckSkipsAByteOrderMark)
{
    for (const char *format : {"ardupilot", "px4", "matlab", "sensor-json"}) {
        const Written w = write(format, skewed);
        const Expected<ExportCheck> marked = check(format, "\xEF\xBB\xBF" + w.result.bytes, skewed);
        ASSERT_TRUE(marked) << format << ": " << qPrintable(marked.error());
        EXPECT_LT(marked->rms, 1e-7 * marked->expectedNorm) << format;
    }
    EXPECT_LT(check("ardupilot", "\xEF\xBB\xBF" + ardupilotFile(1.0, "COMPASS_SCALE 1\n"))->rms, 1e-9);
}

TEST(Exports, CheckReadsAnInavDiffWithItsOtherSettings)
{
    // What "diff" prints on an iNav board with a compass: the settings that
    // differ from the defaults, text settings among them.
    const QByteArray diff = "# diff\n"
                            "\n"
                            "# version\n"
                            "# INAV/SPEEDYBEEF405V3 7.1.2 Jun  1 2024 / 12:00:00 (a1b2c3d4)\n"
                            "# GCC-10.3.1 20210824 (release)\n"
                            "\n"
                            "# start the command batch\n"
                            "batch start\n"
                            "\n"
                            "# resources\n"
                            "\n"
                            "# feature\n"
                            "feature GPS\n"
                            "\n"
                            "# master\n"
                            "set gyro_main_lpf_hz = 90\n"
                            "set align_mag = CW270FLIP\n"
                            "set mag_hardware = QMC5883\n"
                            "set magzero_x = 230\n"
                            "set magzero_y = -310\n"
                            "set magzero_z = 175\n"
                            "set maggain_x = 1363\n"
                            "set maggain_y = 894\n"
                            "set maggain_z = 1166\n"
                            "set mag_declination = 250\n"
                            "set name = QUAD\n"
                            "\n"
                            "# end the command batch\n"
                            "batch end\n";
    const Truth diagonal = {{{1.25, 0, 0}, {0, 0.82, 0}, {0, 0, 1.07}}, {230.0, -310.0, 175.0}};
    const MatDoub points = ellipsoidPoints(diagonal, 1090.0, 100, 0.0, 3);
    const CalibrationParameters reference = parametersOf(diagonal);
    const Expected<ExportCheck> read =
        checkExport(*exportFormatNamed("inav"), diff, points, 1090.0, 0.0, 1, &reference);
    ASSERT_TRUE(read) << qPrintable(read.error());
    EXPECT_LT(read->rms, 1.5e-3 * 1024.0);
    EXPECT_TRUE(read->directionsAgree());
    // A setting that is read still takes an integer.
    EXPECT_EQ(checkExport(*exportFormatNamed("inav"), QByteArray(diff).replace("= 1363", "= 136.3"), points,
                          1090.0, 0.0, 1)
                  .error(),
              "line 22: maggain_x takes an integer.");
}
