// tavrin-cli --export FORMAT and --check-export: where each export goes, its
// warnings on standard error, in the file and in JSON, the refusals of a
// wrong command line, and a check of a good and a wrong file.
#include "clitest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QByteArray help = "\nTry 'tavrin-cli --help'.\n";

// The sample's field norm of 48 taken as milligauss: too weak for ArduPilot.
const QByteArray weakField =
    "The corrected field, 48.0 mG, lies outside the 185 to 875 mG that ArduPilot's arming "
    "check accepts: are the measurements in the unit given? Rule: ArduPilot's code.";

} // namespace

TEST_F(CliTest, ExportPrintsTheFormatOrWritesItInPlaceOfTheParameters)
{
    sample();
    const Outcome printed =
        cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "--device-id", "97539", "sample.txt"});
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.err, "");
    EXPECT_TRUE(
        printed.out.startsWith("# ArduPilot compass 1 calibration, made by Tavrin from sample.txt.\n"));
    EXPECT_TRUE(printed.out.contains("\nCOMPASS_OFS_X,-124.97"));

    // With -o the file gets the export and standard output the report.
    const Outcome written = cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "--device-id",
                                 "97539", "-o", "a.param", "sample.txt"});
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(readAll(dir.filePath("a.param")), printed.out);
    EXPECT_TRUE(written.out.startsWith("sample.txt\n  Bias b"));

    // The second compass numbers the group.
    const Outcome second =
        cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "--compass", "2", "sample.txt"});
    EXPECT_TRUE(second.out.contains("\nCOMPASS_OFS2_X,") && second.out.contains("\nCOMPASS_SCALE2,1.0\n"));
    EXPECT_FALSE(second.out.contains("COMPASS2_"));

    // Several files fill a folder, each file with its format's suffix.
    file("other/b.txt", readAll(TAVRIN_SAMPLE));
    const Outcome folder =
        cli({"--hm", "48", "--units", "uT", "--export", "px4", "-o", "out", "sample.txt", "other/b.txt"});
    EXPECT_EQ(folder.status, 0);
    EXPECT_TRUE(readAll(dir.filePath("out/sample.params")).contains("\tCAL_MAG0_XOFF\t"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("out/b.params")));
}

TEST_F(CliTest, HmFromTheModelLeavesAnExportOnStandardOutputAlone)
{
    sample();
    const Outcome o = cli({"--hm-at", "46.2,6.1,400", "--units", "uT", "--date", "2026-06-01", "--export",
                           "matlab", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out.startsWith("% Magnetometer calibration made by Tavrin from sample.txt"))
        << o.out.constData();
    const Outcome report = cli({"--hm-at", "46.2,6.1,400", "--units", "uT", "--date", "2026-06-01",
                                "--export", "matlab", "-o", "a.m", "sample.txt"});
    EXPECT_TRUE(report.out.startsWith("Hm ")) << "with -o the report, and the line on Hm, are printed";
}

TEST_F(CliTest, ExportWarningsGoToStandardErrorTheFileAndJson)
{
    sample();
    const Outcome o = cli({"--hm", "48", "--units", "mG", "--export", "ardupilot", "--device-id", "97539",
                           "-o", "a.param", "--json", "sample.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "sample.txt: " + weakField + "\n");
    EXPECT_TRUE(readAll(dir.filePath("a.param")).contains("\n# Warning: " + weakField + "\n"));
    const QJsonObject result = QJsonDocument::fromJson(o.out).object()["files"].toArray()[0].toObject();
    EXPECT_EQ(result["warnings"].toArray(), QJsonArray{QString::fromUtf8(weakField)});

    // Without a warning the array is there, empty.
    const Outcome quiet = cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "--device-id", "97539",
                               "-o", "b.param", "--json", "sample.txt"});
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(
        QJsonDocument::fromJson(quiet.out).object()["files"].toArray()[0].toObject()["warnings"].toArray(),
        QJsonArray());
}

TEST_F(CliTest, ExportRefusalsSayWhatIsMissing)
{
    sample();
    const struct {
        QStringList arguments;
        QByteArray err;
    } cases[] = {
        {{"--hm", "48", "--export", "ardupilot", "sample.txt"},
         "tavrin-cli: --export ardupilot needs the unit of the measurements: --units nT, uT, mG or G."},
        {{"--hm", "48", "--export", "px4", "sample.txt"},
         "tavrin-cli: --export px4 needs the unit of the measurements: --units nT, uT, mG or G."},
        {{"--hm", "48", "--export", "sensor-json", "sample.txt"},
         "tavrin-cli: --export sensor-json needs the unit of the measurements: --units nT, uT, mG or G."},
        {{"--hm", "48", "--check-export", "px4", "a.params", "sample.txt"},
         "tavrin-cli: --check-export px4 needs the unit of the measurements: --units nT, uT, mG or G."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--compass", "5", "sample.txt"},
         "tavrin-cli: --compass takes 1 to 4 for px4, not \"5\"."},
        {{"--hm", "48", "--units", "uT", "--export", "ardupilot", "--compass", "0", "sample.txt"},
         "tavrin-cli: --compass takes 1 to 3 for ardupilot, not \"0\"."},
        {{"--hm", "48", "--export", "inav", "--compass", "2", "sample.txt"},
         "tavrin-cli: inav has one compass; --compass does not apply."},
        {{"--hm", "48", "--compass", "2", "sample.txt"},
         "tavrin-cli: --compass goes with --export or --check-export."},
        {{"--hm", "48", "--export", "matlab", "sample.txt", "other.txt"},
         "tavrin-cli: --export matlab prints one calibration; with several files, give -o a folder."},
        {{"--hm", "48", "--export", "matlab", "--json", "sample.txt"},
         "tavrin-cli: --json and --export both print on standard output; choose one."},
        {{"--hm", "48", "--export", "matlab", "--check-export", "matlab", "a.m", "sample.txt"},
         "tavrin-cli: --export writes a file and --check-export reads one; choose one."},
        {{"--hm", "48", "--check-export", "c", "a.h", "sample.txt"},
         "tavrin-cli: Unknown check format \"c\"; the formats are ardupilot, px4, matlab, inav, betaflight "
         "and "
         "sensor-json."},
        {{"--hm", "48", "--check-export", "matlab", "a.m"},
         "tavrin-cli: --check-export takes the exported FILE and the raw measurements DATA."},
        {{"--hm", "48", "--check-export", "matlab", "a.m", "sample.txt", "--apply", "c.txt"},
         "tavrin-cli: --check-export prints one line, and takes no --apply."},
        {{"--hm", "48", "--units", "uT", "--export", "ardupilot", "--device-id", "-5", "sample.txt"},
         "tavrin-cli: --device-id takes the sensor's id from the vehicle's parameter list, a whole number "
         "from 1 "
         "to 2147483647, not \"-5\"."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--device-id", "0x10", "sample.txt"},
         "tavrin-cli: --device-id takes the sensor's id from the vehicle's parameter list, a whole number "
         "from 1 "
         "to 2147483647, not \"0x10\"."},
        {{"--hm", "48", "--units", "uT", "--check-export", "px4", "--device-id", "2147483648", "a.params",
          "sample.txt"},
         "tavrin-cli: --device-id takes the sensor's id from the vehicle's parameter list, a whole number "
         "from 1 "
         "to 2147483647, not \"2147483648\"."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--device-id", "99999999999999999999",
          "sample.txt"},
         "tavrin-cli: --device-id takes the sensor's id from the vehicle's parameter list, a whole number "
         "from 1 "
         "to 2147483647, not \"99999999999999999999\"."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--system-id", "256", "sample.txt"},
         "tavrin-cli: --system-id takes a MAVLink id from 1 to 255, not \"256\"."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--system-id", "one", "sample.txt"},
         "tavrin-cli: --system-id takes a MAVLink id from 1 to 255, not \"one\"."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--component-id", "0", "sample.txt"},
         "tavrin-cli: --component-id takes a MAVLink id from 1 to 255, not \"0\"."},
        {{"--hm", "48", "--units", "uT", "--export", "ardupilot", "--system-id", "2", "sample.txt"},
         "tavrin-cli: --system-id goes with px4, whose file names its vehicle, not ardupilot."},
        {{"--hm", "48", "--export", "inav", "--device-id", "2", "sample.txt"},
         "tavrin-cli: --device-id goes with ardupilot or px4, not inav."},
        {{"--hm", "48", "--device-id", "2", "sample.txt"},
         "tavrin-cli: --device-id goes with --export or --check-export."},
        {{"--hm", "48", "--units", "uT", "--export", "px4", "--merge", "board.json", "sample.txt"},
         "tavrin-cli: --merge goes with --export sensor-json."},
        {{"--hm", "48", "--units", "uT", "--export", "sensor-json", "--merge", "-", "-"},
         "tavrin-cli: Standard input, -, can be read once."},
        {{"--check-export", "matlab", "a.m", "sample.txt"},
         "tavrin-cli: The field norm is missing: give it with --hm, or from the model with --hm-at."},
    };
    for (const auto &c : cases) {
        const Outcome o = cli(c.arguments);
        EXPECT_EQ(o.status, 64) << qPrintable(c.arguments.join(' '));
        EXPECT_EQ(o.err, c.err + help) << qPrintable(c.arguments.join(' '));
        EXPECT_EQ(o.out, "");
    }
}

TEST_F(CliTest, CheckExportMeasuresAGoodFileAndAWrongOne)
{
    sample();
    ASSERT_EQ(cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "-o", "good.param", "sample.txt"})
                  .status,
              0);
    const Outcome good =
        cli({"--hm", "48", "--units", "uT", "--check-export", "ardupilot", "good.param", "sample.txt"});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.err, "");
    // The same as the calibration's own RMS norm error on the sample, 0.2441534 uT, and its directions.
    EXPECT_EQ(good.out,
              "good.param applied as ardupilot applies it to the 2000 points of sample.txt: RMS norm "
              "error 2.44153 mG, 0.508653 % of the norm 480 mG; worst 9.33754 mG; direction off the "
              "calibration's by 0.000 degrees RMS, 0.000 worst\n");

    // Offsets with the sign of b, as if ArduPilot subtracted them.
    QByteArray wrong = readAll(dir.filePath("good.param"));
    wrong.replace("COMPASS_OFS_X,-", "COMPASS_OFS_X,").replace("COMPASS_OFS_Y,", "COMPASS_OFS_Y,-");
    wrong.replace("COMPASS_OFS_Z,-", "COMPASS_OFS_Z,");
    file("wrong.param", wrong);
    const Outcome bad =
        cli({"--hm", "48", "--units", "uT", "--check-export", "ardupilot", "wrong.param", "sample.txt"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out,
              "wrong.param applied as ardupilot applies it to the 2000 points of sample.txt: RMS norm "
              "error 291.985 mG, 60.8303 % of the norm 480 mG; worst 518.926 mG; direction off the "
              "calibration's by 52.744 degrees RMS, 134.245 worst\n");
    EXPECT_EQ(bad.err, "wrong.param: the field the file corrects points up to 134.2 degrees away from "
                       "Tavrin's calibration of the measurements, beyond the 5 degrees allowed.\n");

    // A file that is no such export, and one that is missing.
    file("notes.param", "COMPASS_OFS_X is -124\n");
    const Outcome unreadable =
        cli({"--hm", "48", "--units", "uT", "--check-export", "ardupilot", "notes.param", "sample.txt"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err, "notes.param: line 1: a parameter line is NAME,VALUE.\n");
    const Outcome missing =
        cli({"--hm", "48", "--units", "uT", "--check-export", "ardupilot", "good.param", "missing.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "missing.txt: The file does not exists! (No such file or directory)\n");
}

// The directions are those of the fit --fit names, and a fit it does not
// name is refused as any calibration refuses it.
TEST_F(CliTest, CheckExportTakesTheFitNamed)
{
    sample();
    ASSERT_EQ(cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "-o", "good.param", "sample.txt"})
                  .status,
              0);
    const QStringList check = {"--hm",           "48",        "--units",    "uT",
                               "--check-export", "ardupilot", "good.param", "sample.txt"};
    const Outcome exact = cli(check);
    EXPECT_TRUE(exact.out.endsWith("direction off the calibration's by 0.000 degrees RMS, 0.000 worst\n"))
        << exact.out.constData();
    // A sphere turns no axis into another: the full calibration's directions stray from it.
    const Outcome sphere = cli(check + QStringList{"--fit", "sphere"});
    EXPECT_TRUE(sphere.out.startsWith(exact.out.left(exact.out.indexOf("; direction"))))
        << sphere.out.constData();
    EXPECT_FALSE(sphere.out.contains("by 0.000 degrees RMS")) << sphere.out.constData();
    const Outcome unknown = cli(check + QStringList{"--fit", "round"});
    EXPECT_EQ(unknown.status, 64);
    EXPECT_TRUE(unknown.err.startsWith("tavrin-cli: Unknown fit \"round\"; the fits are "))
        << unknown.err.constData();
    EXPECT_EQ(unknown.out, "");
}

TEST_F(CliTest, CheckExportSaysWhatTheFirmwareIgnoresAndRefusesWhatItCannotHold)
{
    sample();
    ASSERT_EQ(cli({"--hm", "48", "--units", "uT", "--export", "ardupilot", "-o", "good.param", "sample.txt"})
                  .status,
              0);
    const QByteArray good = readAll(dir.filePath("good.param"));
    const QStringList check = {"--hm", "48", "--units", "uT", "--check-export", "ardupilot"};
    const QByteArray fit = "applied as ardupilot applies it to the 2000 points of sample.txt: RMS norm error "
                           "2.44153 mG, 0.508653 % of the norm 480 mG; worst 9.33754 mG; direction off the "
                           "calibration's by 0.000 degrees RMS, 0.000 worst\n";

    // A scale ArduPilot ignores is said, and the file is applied without it.
    file("scaled.param", QByteArray(good).replace("COMPASS_SCALE,1.0", "COMPASS_SCALE,2.0"));
    const Outcome scaled = cli(check + QStringList{"scaled.param", "sample.txt"});
    EXPECT_EQ(scaled.status, 0);
    EXPECT_EQ(scaled.out, "scaled.param " + fit);
    EXPECT_EQ(scaled.err, "scaled.param: COMPASS_SCALE is 2, outside the 0.666667 to 1.5 that ArduPilot "
                          "applies: the firmware ignores it and scales by 1.\n");

    // The directions are compared with the fit --fit names: the full fit's
    // differ a little from the exact fit's that the file holds.
    const Outcome robust = cli({"--hm", "48", "--units", "uT", "--fit", "full", "--check-export", "ardupilot",
                                "good.param", "sample.txt"});
    EXPECT_EQ(robust.status, 0);
    EXPECT_EQ(robust.out, "good.param " + QByteArray(fit).replace("by 0.000 degrees RMS, 0.000 worst",
                                                                  "by 0.004 degrees RMS, 0.006 worst"));

    // A byte-order mark before the first line.
    file("marked.param", "\xEF\xBB\xBF" + good);
    const Outcome marked = cli(check + QStringList{"marked.param", "sample.txt"});
    EXPECT_EQ(marked.status, 0);
    EXPECT_EQ(marked.out, "marked.param " + fit);

    // Measurements Tavrin cannot calibrate, a circle in a plane: the norms
    // without the directions, and the calibration's failure.
    QByteArray circle;
    for (int k = 0; k < 40; k++)
        circle += QByteArray::number(12.0 + 48.0 * std::cos(k * M_PI / 20.0)) + ' ' +
                  QByteArray::number(-7.0 + 48.0 * std::sin(k * M_PI / 20.0)) + " 20\n";
    file("circle.txt", circle);
    const Outcome flat = cli(check + QStringList{"good.param", "circle.txt"});
    EXPECT_EQ(flat.status, 2);
    EXPECT_TRUE(
        flat.out.startsWith("good.param applied as ardupilot applies it to the 40 points of circle.txt"));
    EXPECT_FALSE(flat.out.contains("direction")) << flat.out.constData();
    EXPECT_TRUE(flat.err.endsWith(" The directions could not be checked.\n")) << flat.err.constData();

    // An offset no float holds.
    file("huge.param", QByteArray(good).replace("COMPASS_OFS_X,-124.972088\n", "COMPASS_OFS_X,-1e308\n"));
    const Outcome huge = cli(check + QStringList{"huge.param", "sample.txt"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.out, "");
    EXPECT_EQ(huge.err,
              "huge.param: The file holds 1e+308, beyond what the 32-bit floats of a firmware hold.\n");
}

TEST_F(CliTest, ABetaflightExportOfNoOffsetWarnsOnStandardError)
{
    Truth centred = sampleTruth;
    centred.b0[0] = 0.2;
    centred.b0[1] = -0.3;
    centred.b0[2] = 0.1;
    file("centred.txt", asFileText(ellipsoidPoints(centred, 1090.0, 400, 0.0, 5)));
    const Outcome o = cli({"--hm", "1090", "--export", "betaflight", "centred.txt"});
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out.contains("\nset mag_calibration = 0,0,0\n")) << o.out.constData();
    EXPECT_EQ(o.err,
              "centred.txt: The offsets round to 0,0,0 in the whole counts that Betaflight stores: the "
              "file corrects nothing, and Betaflight takes it for an uncalibrated compass. Rule: "
              "Betaflight's code.\n");
}

TEST_F(CliTest, ExportIdsAreWrittenAndACheckRefusesOtherIds)
{
    sample();
    const QStringList common = {"--hm", "48", "--units", "uT"};
    const Outcome px4 =
        cli(common + QStringList{"--export", "px4", "--compass", "2", "--device-id", "97539", "--system-id",
                                 "7", "--component-id", "190", "-o", "a.params", "sample.txt"});
    EXPECT_EQ(px4.status, 0);
    EXPECT_EQ(px4.err, "");
    const QByteArray text = readAll(dir.filePath("a.params"));
    EXPECT_TRUE(text.contains("\n7\t190\tCAL_MAG1_XOFF\t")) << text.constData();
    EXPECT_TRUE(text.endsWith("\n7\t190\tCAL_MAG1_ID\t97539\t6\n")) << text.constData();

    const QStringList check = common + QStringList{"--check-export", "px4", "--compass", "2"};
    const QStringList files = {"a.params", "sample.txt"};
    EXPECT_EQ(
        cli(check + QStringList{"--device-id", "97539", "--system-id", "7", "--component-id", "190"} + files)
            .status,
        0);
    const Outcome otherVehicle = cli(check + QStringList{"--system-id", "1"} + files);
    EXPECT_EQ(otherVehicle.status, 1);
    EXPECT_EQ(otherVehicle.out, "");
    EXPECT_EQ(otherVehicle.err, "a.params: The file's system id is 7, not the 1 given.\n");
    const Outcome otherDevice = cli(check + QStringList{"--device-id", "97540"} + files);
    EXPECT_EQ(otherDevice.status, 1);
    EXPECT_EQ(otherDevice.err, "a.params: The file's device id is 97539, not the 97540 given.\n");

    // ArduPilot's file without the id says so, and a check that asks for one refuses it.
    const Outcome ardupilot =
        cli(common + QStringList{"--export", "ardupilot", "--compass", "3", "-o", "a.param", "sample.txt"});
    EXPECT_EQ(ardupilot.status, 0);
    EXPECT_TRUE(
        ardupilot.err.startsWith("sample.txt: No device id was given, so COMPASS_DEV_ID3 is not written"))
        << ardupilot.err.constData();
    const Outcome noId = cli(common + QStringList{"--check-export", "ardupilot", "--compass", "3",
                                                  "--device-id", "97539", "a.param", "sample.txt"});
    EXPECT_EQ(noId.status, 1);
    EXPECT_EQ(noId.err, "a.param: The file holds no device id; 97539 was given.\n");
}

TEST_F(CliTest, SensorJsonMergesIntoTheBoardsFileOrRefusesWhatIsNone)
{
    sample();
    file("board.json", "{\"accel_zerog\": [0.5, -0.25, 9.5], \"mag_field\": 50, \"note\": \"kept\"}\n");
    const Outcome merged = cli({"--hm", "48", "--units", "uT", "--export", "sensor-json", "--merge",
                                "board.json", "-o", "board.json", "sample.txt"});
    EXPECT_EQ(merged.status, 0);
    EXPECT_EQ(merged.err, "");
    const QByteArray text = readAll(dir.filePath("board.json"));
    EXPECT_TRUE(text.startsWith("{\"accel_zerog\": [0.5, -0.25, 9.5], \"mag_field\": 48, \"note\": \"kept\", "
                                "\"mag_hardiron\": [12.49720877"))
        << text.constData();

    file("notes.json", "mag_field: 50\n");
    const Outcome refused = cli({"--hm", "48", "--units", "uT", "--export", "sensor-json", "--merge",
                                 "notes.json", "-o", "out.json", "sample.txt"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("The file to merge into is not JSON: illegal value at byte 1.\n"))
        << refused.err.constData();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.json")));
}
