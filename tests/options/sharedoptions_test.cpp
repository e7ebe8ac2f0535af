// The options both programs share, read from a parsed command line: the
// values taken and the words of a refusal, whichever program parses them.
#include "sharedoptions.h"

#include "fieldmodel.h"

#include <QCoreApplication>
#include <QDate>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

// The shared options parsed as both programs declare them.
struct Parsed {
    explicit Parsed(const QStringList &arguments)
    {
        parser.addOptions({option::hm, option::units, option::hmAt, option::date, option::columns,
                           option::decimalComma, option::skipBadLines, option::fit, option::port});
        parsed = parser.parse(QStringList{QStringLiteral("program")} + arguments);
    }
    QCommandLineParser parser;
    bool parsed = false;
};

} // namespace

TEST(SharedOptions, ColumnsAreThreeDifferentOnes)
{
    for (const QString repeated : {"1,1,1", "2,3,2", "mx,MX,my", "x, y,x"}) {
        Parsed p({"--columns", repeated});
        ASSERT_TRUE(p.parsed);
        const Expected<std::optional<LogFormat>> log = readLogFormat(p.parser, {});
        ASSERT_FALSE(log) << qPrintable(repeated);
        EXPECT_EQ(log.error(),
                  QStringLiteral("--columns takes three different columns, not \"%1\".").arg(repeated));
    }
    Parsed p({"--columns", "mx, 4,MY", "--skip-bad-lines"});
    const Expected<std::optional<LogFormat>> log = readLogFormat(p.parser, {});
    ASSERT_TRUE(log) << qPrintable(log.error());
    ASSERT_TRUE(*log);
    EXPECT_EQ((*log)->columns[0], QStringLiteral("mx"));
    EXPECT_EQ((*log)->columns[1], QStringLiteral("4"));
    EXPECT_EQ((*log)->columns[2], QStringLiteral("MY"));
    EXPECT_TRUE((*log)->skipBadLines);
    EXPECT_FALSE((*log)->decimalComma);

    // Without --columns, the first of a log's options given is named.
    Parsed without({"--skip-bad-lines", "--decimal-comma"});
    const Expected<std::optional<LogFormat>> refused =
        readLogFormat(without.parser, {&option::decimalComma, &option::skipBadLines});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), QStringLiteral("--decimal-comma goes with --columns."));
    Parsed none({"--hm", "48"});
    const Expected<std::optional<LogFormat>> plain = readLogFormat(none.parser, {&option::decimalComma});
    ASSERT_TRUE(plain);
    EXPECT_FALSE(*plain);
}

TEST(SharedOptions, DateIsADayOrADecimalYear)
{
    Parsed decimal({"--hm-at", "48.85,2.35,35", "--units", "uT", "--date", "2027.5"});
    const Expected<ModelOptions> m = readModelOptions(decimal.parser);
    ASSERT_TRUE(m) << qPrintable(m.error());
    EXPECT_EQ(m->year, 2027.5);
    EXPECT_EQ(m->date, QStringLiteral("2027.5"));
    EXPECT_EQ(m->units, QStringLiteral("uT"));
    EXPECT_EQ(m->hmAt->latitude, 48.85);
    EXPECT_EQ(m->hmAt->longitude, 2.35);
    EXPECT_EQ(m->hmAt->height, 35.0);

    Parsed day({"--hm-at", "1,2", "--units", "G", "--date", "2027-01-01"});
    const Expected<ModelOptions> d = readModelOptions(day.parser);
    ASSERT_TRUE(d) << qPrintable(d.error());
    EXPECT_EQ(d->year, 2027.0);

    // Today (UTC) when not given.
    Parsed today({"--hm", "48"});
    const Expected<ModelOptions> t = readModelOptions(today.parser);
    ASSERT_TRUE(t);
    EXPECT_EQ(int(t->year), QDate::currentDate().year());
    EXPECT_TRUE(t->date.isEmpty());
    EXPECT_FALSE(t->hmAt);

    for (const QString wrong : {"2027.5.1", "2027-02-30", "27-01-01", "nan", "inf", ""}) {
        Parsed p({"--hm-at", "1,2", "--units", "uT", "--date", wrong});
        const Expected<ModelOptions> refused = readModelOptions(p.parser);
        ASSERT_FALSE(refused) << qPrintable(wrong);
        EXPECT_EQ(refused.error(),
                  QStringLiteral("--date takes YYYY-MM-DD or a decimal year such as 2027.5, not \"%1\".")
                      .arg(wrong));
    }
}

TEST(SharedOptions, HmComesFromOneSource)
{
    Parsed both({"--hm", "48", "--hm-at", "1,2", "--units", "uT"});
    const Expected<ModelOptions> twice = readModelOptions(both.parser);
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error(), QStringLiteral("--hm and --hm-at both give Hm; choose one."));
    Parsed unitless({"--hm-at", "1,2"});
    EXPECT_EQ(readModelOptions(unitless.parser).error(),
              QStringLiteral("--hm-at needs the unit of the measurements: --units nT, uT, mG or G."));
    Parsed far({"--hm-at", "91,2", "--units", "uT"});
    EXPECT_EQ(readModelOptions(far.parser).error(),
              QStringLiteral("The latitude of --hm-at lies from -90 to 90 degrees, not 91."));

    Parsed value({"--hm", "48.5"});
    const Expected<std::optional<double>> hm = readHm(value.parser);
    ASSERT_TRUE(hm);
    EXPECT_EQ(**hm, 48.5);
    for (const QString wrong : {"0", "-1", "1e308", "nan", "48 uT"}) {
        Parsed p({"--hm", wrong});
        EXPECT_FALSE(readHm(p.parser)) << qPrintable(wrong);
    }
    Parsed none({"--units", "uT"});
    const Expected<std::optional<double>> absent = readHm(none.parser);
    ASSERT_TRUE(absent);
    EXPECT_FALSE(*absent);
}

TEST(SharedOptions, FitAndPort)
{
    Parsed planar({"--fit", "planar", "--port", "tcp://board.local:2323"});
    const Expected<std::optional<FitModel>> fit = readFit(planar.parser);
    ASSERT_TRUE(fit);
    EXPECT_EQ(**fit, FitModel::Planar);
    const Expected<QString> port = readPort(planar.parser, false);
    ASSERT_TRUE(port);
    EXPECT_EQ(*port, QStringLiteral("tcp://board.local:2323"));
    EXPECT_EQ(readPort(planar.parser, true).error(),
              QStringLiteral("--port reads the measurements in place of a FILE; give no FILE."));

    Parsed wrong({"--fit", "round", "--port", "tcp://board.local"});
    EXPECT_TRUE(
        readFit(wrong.parser).error().startsWith(QStringLiteral("Unknown fit \"round\"; the fits are ")));
    // The port's own fault is said before the file beside it.
    EXPECT_EQ(readPort(wrong.parser, true).error(),
              QStringLiteral("--port takes a serial port such as /dev/ttyUSB0, - or tcp://HOST:PORT, not "
                             "\"tcp://board.local\"."));

    Parsed none({"--hm", "48"});
    EXPECT_FALSE(*readFit(none.parser));
    EXPECT_TRUE(readPort(none.parser, true)->isEmpty());
}

TEST(SharedOptions, ARefusalPointsToTheProgramsHelp)
{
    int argc = 1;
    char name[] = "tavrin-test";
    char *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    EXPECT_EQ(commandLineRefusal(QStringLiteral("Unknown option 'x'.")),
              QStringLiteral("Unknown option 'x'.\nTry 'tavrin-test --help'."));
    EXPECT_EQ(WrongCommandLineStatus, 64);
}
