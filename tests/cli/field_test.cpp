// The World Magnetic Model through tavrin-cli: the model's published test
// values, the poles and the date line, units, refusals, and Hm from the model
// calibrating exactly like the same Hm given by hand.
#include "clitest.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// The official test values of WMM2025: decimal year, height in km, latitude
// and longitude in degrees, X, Y, Z in nT (rounded to 0.1 nT) and the
// declination in degrees (rounded to 0.01).
struct TestValue {
    double year, heightKm, latitude, longitude, X, Y, Z, D;
};
const TestValue official[] = {{2025.0, 0, 80, 0, 6521.6, 145.9, 54791.5, 1.28},
                              {2025.0, 0, 0, 120, 39677.8, -109.6, -10580.2, -0.16},
                              {2025.0, 0, -80, 240, 6117.5, 15751.9, -52022.5, 68.78},
                              {2025.0, 100, 80, 0, 6216.0, 92.4, 52598.8, 0.85},
                              {2025.0, 100, 0, 120, 37688.6, -96.2, -10152.1, -0.15},
                              {2025.0, 100, -80, 240, 5907.6, 14780.3, -49540.7, 68.21},
                              {2027.5, 0, 80, 0, 6500.8, 294.5, 54869.4, 2.59},
                              {2027.5, 0, 0, 120, 39701.6, -167.4, -10381.8, -0.24},
                              {2027.5, 0, -80, 240, 6200.7, 15730.3, -51783.7, 68.49},
                              {2027.5, 100, 80, 0, 6196.7, 233.8, 52670.5, 2.16},
                              {2027.5, 100, 0, 120, 37711.5, -148.7, -9969.8, -0.23},
                              {2027.5, 100, -80, 240, 5984.0, 14760.1, -49317.7, 67.93}};

class FieldModelTest : public CliTest {
protected:
    QJsonObject field(const QString &place, const QString &date)
    {
        const Outcome o = cli({"--field-at", place, "--date", date, "--json"});
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        return QJsonDocument::fromJson(o.out).object();
    }
};

} // namespace

TEST_F(FieldModelTest, ReproducesTheOfficialTestValues)
{
    for (const TestValue &t : official) {
        const QJsonObject f =
            field(QStringLiteral("%1,%2,%3").arg(t.latitude).arg(t.longitude).arg(t.heightKm * 1000),
                  QString::number(t.year));
        const QString where =
            QStringLiteral("%1 %2 %3 %4").arg(t.year).arg(t.heightKm).arg(t.latitude).arg(t.longitude);
        EXPECT_NEAR(f["X"].toDouble(), t.X, 0.05 + 1e-9) << where.toStdString();
        EXPECT_NEAR(f["Y"].toDouble(), t.Y, 0.05 + 1e-9) << where.toStdString();
        EXPECT_NEAR(f["Z"].toDouble(), t.Z, 0.05 + 1e-9) << where.toStdString();
        EXPECT_NEAR(f["D"].toDouble(), t.D, 0.005 + 1e-9) << where.toStdString();
        EXPECT_NEAR(f["F"].toDouble(), std::sqrt(t.X * t.X + t.Y * t.Y + t.Z * t.Z), 0.1)
            << where.toStdString();
        EXPECT_EQ(f["model"].toString(), "WMM2025");
    }
}

TEST_F(FieldModelTest, PolesAndTheDateLine)
{
    // The date line: 180 and -180 are one meridian, and so are 360 and 0.
    for (const char *pair : {"180|-180", "360|0", "-179.5|180.5"}) {
        const QStringList l = QString(pair).split('|');
        const QJsonObject a = field("-33," + l[0], "2026.5"), b = field("-33," + l[1], "2026.5");
        for (const char *c : {"X", "Y", "Z", "D"})
            EXPECT_NEAR(a[c].toDouble(), b[c].toDouble(), 1e-6) << pair << " " << c;
    }
    // A pole is one point, whatever its longitude: the same total intensity
    // and down component from every side.
    for (const char *pole : {"90", "-90"}) {
        const QJsonObject a = field(QString(pole) + ",0", "2027-03-01"),
                          b = field(QString(pole) + ",123", "2027-03-01");
        EXPECT_NEAR(a["F"].toDouble(), b["F"].toDouble(), 1e-6) << pole;
        EXPECT_NEAR(a["Z"].toDouble(), b["Z"].toDouble(), 1e-6) << pole;
        EXPECT_GT(a["F"].toDouble(), 50000) << pole;
    }
}

TEST_F(FieldModelTest, DatesAndTheTextReport)
{
    EXPECT_NEAR(field("0,0", "2028-07-02")["decimalYear"].toDouble(), 2028.5, 1e-12);
    EXPECT_NEAR(field("0,0", "2028-01-01")["decimalYear"].toDouble(), 2028.0, 1e-12);
    const QDate today = QDateTime::currentDateTimeUtc().date();
    const Outcome now = cli({"--field-at", "0,0", "--json"});
    ASSERT_EQ(now.status, 0);
    EXPECT_NEAR(QJsonDocument::fromJson(now.out)["decimalYear"].toDouble(),
                today.year() + double(today.dayOfYear() - 1) / today.daysInYear(), 1e-9);

    const Outcome text = cli({"--field-at", "80,0", "--date", "2025.0"});
    EXPECT_EQ(text.out, "WMM2025 at latitude 80, longitude 0, height 0 m, decimal year 2025.000\n"
                        "  F  total intensity     55178.5 nT\n"
                        "  H  horizontal           6523.2 nT\n"
                        "  X  north                6521.6 nT\n"
                        "  Y  east                  145.9 nT\n"
                        "  Z  down                54791.5 nT\n"
                        "  D  declination            1.28 degrees\n"
                        "  I  inclination           83.21 degrees\n");
}

TEST_F(FieldModelTest, HmInTheUnitOfTheData)
{
    sample();
    const double F = field("46.2,6.1,400", "2026-06-01")["F"].toDouble();
    const struct {
        const char *unit;
        double nT;
    } units[] = {{"nT", 1}, {"uT", 1000}, {"mG", 100}, {"G", 100000}};
    for (const auto &u : units) {
        const Outcome o = cli(
            {"--hm-at", "46.2,6.1,400", "--units", u.unit, "--date", "2026-06-01", "--json", "sample.txt"});
        const QJsonObject d = QJsonDocument::fromJson(o.out).object();
        EXPECT_DOUBLE_EQ(d["hm"].toDouble(), F / u.nT) << u.unit;
        EXPECT_EQ(d["hmSource"]["units"].toString(), u.unit);
        EXPECT_EQ(d["hmSource"]["model"].toString(), "WMM2025");
        EXPECT_DOUBLE_EQ(d["hmSource"]["F"].toDouble(), F);
        EXPECT_DOUBLE_EQ(d["hmSource"]["latitude"].toDouble(), 46.2);
    }
    const Outcome text =
        cli({"--hm-at", "46.2,6.1,400", "--units", "uT", "--date", "2026-06-01", "sample.txt"});
    EXPECT_TRUE(text.out.startsWith(
        QStringLiteral("Hm %1 uT: the total intensity of WMM2025 at latitude 46.2, "
                       "longitude 6.1, height 400 m, decimal year 2026.414 (F = %2 nT)\n\n"
                       "sample.txt\n")
            .arg(F / 1000, 0, 'g', 9)
            .arg(F, 0, 'f', 1)
            .toUtf8()))
        << text.out.toStdString();
}

TEST_F(FieldModelTest, HmFromTheModelCalibratesLikeTheSameHmByHand)
{
    sample();
    const Outcome model =
        cli({"--hm-at", "-33.9,18.4", "--units", "uT", "--date", "2027.25", "--json", "sample.txt"});
    const QJsonObject fromModel = QJsonDocument::fromJson(model.out).object();
    const QString hm = QString::number(fromModel["hm"].toDouble(), 'g', 17);
    const QJsonObject byHand =
        QJsonDocument::fromJson(cli({"--hm", hm, "--json", "sample.txt"}).out).object();
    EXPECT_EQ(fromModel["files"], byHand["files"]);
    EXPECT_EQ(
        cli({"--hm-at", "-33.9,18.4", "--units", "uT", "--date", "2027.25", "-o", "a.txt", "sample.txt"})
            .status,
        0);
    EXPECT_EQ(cli({"--hm", hm, "-o", "b.txt", "sample.txt"}).status, 0);
    EXPECT_EQ(readAll(dir.filePath("a.txt")), readAll(dir.filePath("b.txt")));
}

TEST_F(FieldModelTest, EveryRefusalSaysWhatIsWrong)
{
    sample();
    const QString help = "\nTry 'tavrin-cli --help'.\n";
    const struct {
        QStringList arguments;
        QString err;
    } cases[] = {
        {{"--field-at", "90.5,0"},
         "tavrin-cli: The latitude of --field-at lies from -90 to 90 degrees, not 90.5." + help},
        {{"--field-at", "0,-180.1"},
         "tavrin-cli: The longitude of --field-at lies from -180 to 360 degrees, not -180.1." + help},
        {{"--hm-at", "0,361", "--units", "uT", "sample.txt"},
         "tavrin-cli: The longitude of --hm-at lies from -180 to 360 degrees, not 361." + help},
        {{"--field-at", "0,0,850001", "--date", "2026.0"},
         "tavrin-cli: WMM2025 holds from -1000 to 850000 m above the WGS84 ellipsoid, not at 850001 m.\n"},
        {{"--field-at", "0,0,-1001", "--date", "2026.0"},
         "tavrin-cli: WMM2025 holds from -1000 to 850000 m above the WGS84 ellipsoid, not at -1001 m.\n"},
        {{"--field-at", "0,0", "--date", "2024-12-31"},
         "tavrin-cli: WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2024-12-31 is not in it.\n"},
        {{"--field-at", "0,0", "--date", "2030-01-01"},
         "tavrin-cli: WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2030-01-01 is not in it.\n"},
        {{"--field-at", "0,0", "--date", "2030"},
         "tavrin-cli: WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2030 is not in it.\n"},
        // Hm from the model, for a calibration and for a check of an export, is refused once, alike.
        {{"--hm-at", "0,0", "--units", "uT", "--date", "2030-01-01", "sample.txt"},
         "tavrin-cli: WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2030-01-01 is not in it.\n"},
        {{"--check-export", "ardupilot", "x.param", "sample.txt", "--hm-at", "0,0", "--units", "uT", "--date",
          "2030-01-01"},
         "tavrin-cli: WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2030-01-01 is not in it.\n"},
        {{"--field-at", "0,0", "--date", "2027-13-01"},
         "tavrin-cli: --date takes YYYY-MM-DD or a decimal year such as 2027.5, not \"2027-13-01\"." + help},
        {{"--field-at", "0,0", "--date", "next year"},
         "tavrin-cli: --date takes YYYY-MM-DD or a decimal year such as 2027.5, not \"next year\"." + help},
        {{"--field-at", "47"},
         "tavrin-cli: --field-at takes LAT,LON[,HEIGHT] in degrees and metres, not \"47\"." + help},
        {{"--field-at", "47,8,x"},
         "tavrin-cli: --field-at takes LAT,LON[,HEIGHT] in degrees and metres, not \"47,8,x\"." + help},
        {{"--field-at", "47,nan"},
         "tavrin-cli: --field-at takes LAT,LON[,HEIGHT] in degrees and metres, not \"47,nan\"." + help},
        {{"--field-at", "47,8", "sample.txt"},
         "tavrin-cli: --field-at prints the model's field and reads no file." + help},
        {{"--hm", "48", "--hm-at", "47,8", "--units", "uT", "sample.txt"},
         "tavrin-cli: --hm and --hm-at both give Hm; choose one." + help},
        {{"--hm-at", "47,8", "sample.txt"},
         "tavrin-cli: --hm-at needs the unit of the measurements: --units nT, uT, mG or G." + help},
        {{"--hm-at", "47,8", "--units", "gauss", "sample.txt"},
         "tavrin-cli: --units takes nT, uT, mG or G, not \"gauss\"." + help},
        {{"--hm", "48", "--date", "2026.0", "sample.txt"},
         "tavrin-cli: --date goes with --field-at or --hm-at, and --units with --hm-at, --export, "
         "--check-export or --port." +
             help},
    };
    for (const auto &c : cases) {
        const Outcome o = cli(c.arguments);
        EXPECT_EQ(o.status, 64) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(o.err.toStdString(), c.err.toStdString());
        EXPECT_EQ(o.out, "") << c.arguments.join(' ').toStdString();
    }
}
