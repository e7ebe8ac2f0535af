#include "readingparser.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

constexpr double Microtesla = 1000.0;

Readings takeEvery(ReadingParser &parser, const QList<QByteArray> &lines, bool finish = true)
{
    Readings out;
    for (const QByteArray &line : lines)
        parser.take(line, out);
    if (finish)
        parser.finish(out);
    return out;
}

std::vector<Reading> takeAll(ReadingParser &parser, const QList<QByteArray> &lines, bool finish = true)
{
    return takeEvery(parser, lines, finish).fields;
}

} // namespace

TEST(ReadingParser, FindsTheFormatFromTheFirstLinesAndKeepsTheirReadings)
{
    // A calibration sketch prints a banner, then Raw:, Uni: and orientation lines in turn.
    ReadingParser parser(LineFormat::Auto, Microtesla);
    QList<QByteArray> lines = {"IMU calibration sketch v1.2"};
    for (int k = 0; k < 4; k++)
        lines << QByteArray("Raw:0,0,8192,0,0,0,") + QByteArray::number(100 + k) + ",-50,300"
              << "Uni:0.00,0.00,9.81,0.0,0.0,0.0,10.0,-5.0,30.0"
              << "Ori:1.0,2.0,3.0";
    Readings out;
    for (int k = 0; k < 7; k++) {
        parser.take(lines[k], out);
        EXPECT_EQ(parser.format(), LineFormat::Auto);
    }
    EXPECT_TRUE(out.empty());
    parser.take(lines[7], out);
    EXPECT_EQ(parser.format(), LineFormat::Raw);
    ASSERT_EQ(out.size(), 3u);
    const double x[] = {10.0, 10.1, 10.2};
    for (int k = 0; k < 3; k++) {
        EXPECT_DOUBLE_EQ(out.fields[size_t(k)][0], x[k]);
        EXPECT_EQ(out.fields[size_t(k)][1], -5.0);
        EXPECT_EQ(out.fields[size_t(k)][2], 30.0);
    }
    for (int k = 8; k < lines.size(); k++)
        parser.take(lines[k], out);
    EXPECT_EQ(out.size(), 4u);
    // The banner, four orientation lines and the Uni: lines that never won.
    EXPECT_EQ(parser.ignored(), 1 + 4 + 4);
    EXPECT_EQ(parser.lastIgnored(), "Ori:1.0,2.0,3.0");
}

TEST(ReadingParser, SettlesOnTheMostCommonFormatAtTheEnd)
{
    ReadingParser parser(LineFormat::Auto, Microtesla);
    const std::vector<Reading> out = takeAll(parser, {"1 2 3", "X: 1 Y: 2 Z: 3 uT", "4 5 6"});
    EXPECT_EQ(parser.format(), LineFormat::Xyz);
    EXPECT_EQ(out, (std::vector<Reading>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(parser.ignored(), 1);
}

TEST(ReadingParser, ConvertsReadingsWithAUnitAndPassesPlainNumbers)
{
    ReadingParser nanotesla(LineFormat::Raw, 1.0);
    EXPECT_EQ(takeAll(nanotesla, {"Raw:0,0,0,0,0,0,618,-5,3"}), (std::vector<Reading>{{61800, -500, 300}}));
    ReadingParser microtesla(LineFormat::Raw, Microtesla);
    EXPECT_EQ(takeAll(microtesla, {"Raw:0,0,0,0,0,0,618,-5,3"}), (std::vector<Reading>{{61.8, -0.5, 0.3}}));
    ReadingParser milligauss(LineFormat::Labelled, 100.0);
    EXPECT_EQ(takeAll(milligauss, {"X: 48 Y: 0 Z: -1.5 uT", "X: 0.48 Y: 0 Z: 1 G", "X: 1 Y: 2 Z: 3"}),
              (std::vector<Reading>{{480, 0, -15}, {480, 0, 1000}, {1, 2, 3}}));
    ReadingParser plain(LineFormat::Xyz, 1.0);
    EXPECT_EQ(takeAll(plain, {"48,0,-1.5"}), (std::vector<Reading>{{48, 0, -1.5}}));
}

TEST(ReadingParser, ChosenFormatIgnoresEveryOtherLine)
{
    ReadingParser parser(LineFormat::Uni, Microtesla);
    const std::vector<Reading> out = takeAll(
        parser, {"Raw:1,2,3,4,5,6,7,8,9", "Uni:0,0,0,0,0,0,1.5,2.5,3.5", "\xFF\xFE\x01garbage", "1 2 3"});
    EXPECT_EQ(out, (std::vector<Reading>{{1.5, 2.5, 3.5}}));
    EXPECT_EQ(parser.ignored(), 3);
    EXPECT_EQ(parser.lastIgnored(), "1 2 3");
}

TEST(ReadingParser, ReadsRowsOfALogWithItsColumnRules)
{
    LogFormat log;
    log.columns = {"mx", "my", "mz"};
    ReadingParser parser(LineFormat::Log, Microtesla, log);
    const std::vector<Reading> out =
        takeAll(parser, {"time;mx;my;mz", "0.01;1.5;2.5;3.5", "# a comment", "0.02;1.6;oops;3.6",
                         "0.03;1.7;2.7;3.7", "0.04;1.8;2.8;3.8", "0.05;1.9;2.9;3.9", "0.06;2.0;3.0;4.0"});
    EXPECT_EQ(out, (std::vector<Reading>{
                       {1.5, 2.5, 3.5}, {1.7, 2.7, 3.7}, {1.8, 2.8, 3.8}, {1.9, 2.9, 3.9}, {2.0, 3.0, 4.0}}));
    EXPECT_EQ(parser.ignored(), 3); // the header, the comment and the bad row
    EXPECT_TRUE(parser.problem().isEmpty());
}

TEST(ReadingParser, ALogWithoutTheColumnsIsAProblem)
{
    LogFormat log;
    log.columns = {"4", "5", "6"};
    ReadingParser parser(LineFormat::Log, Microtesla, log);
    // Rows wait until the delimiter is known; then the first one shows the columns beyond it.
    QList<QByteArray> rows;
    for (int k = 0; k < 20; k++)
        rows << "10.5,20.5,30.5";
    const std::vector<Reading> out = takeAll(parser, rows, false);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(parser.problem(), "line 1 has 3 fields; column 6 is beyond them");
}

TEST(ReadingParser, AReadingInTheCapturesUnitKeepsTheDoubleItWasReadAs)
{
    // Multiplied by 1000 and divided again, -34.0942 came out as -34.094199999999994.
    ReadingParser microtesla(LineFormat::Uni, Microtesla);
    EXPECT_EQ(takeAll(microtesla, {"Uni:0,0,0,0,0,0,-34.0942,12.3457,0.1"}),
              (std::vector<Reading>{{-34.0942, 12.3457, 0.1}}));
    ReadingParser gauss(LineFormat::Labelled, 100000.0);
    EXPECT_EQ(takeAll(gauss, {"X: 0.4813 Y: -0.0071 Z: 0.3333 G"}),
              (std::vector<Reading>{{0.4813, -0.0071, 0.3333}}));
}

TEST(ReadingParser, AReadingThatIsNoFiniteNumberInTheUnitIsDroppedAndCounted)
{
    ReadingParser nanotesla(LineFormat::Uni, 1.0);
    EXPECT_EQ(takeAll(nanotesla, {"Uni:0,0,0,0,0,0,1e307,1,1", "Uni:0,0,0,0,0,0,1,2,3",
                                  "Uni:0,0,0,0,0,0,-1,-1e307,1", "Raw:1,2,3,4,5,6,7,8,9"}),
              (std::vector<Reading>{{1000, 2000, 3000}}));
    EXPECT_EQ(nanotesla.notFinite(), 2);
    EXPECT_EQ(nanotesla.ignored(), 3);

    // Found while the format is still being looked for, too.
    ReadingParser found(LineFormat::Auto, Microtesla);
    EXPECT_EQ(takeAll(found, {"X: 1e306 Y: 0 Z: 0 G", "X: 1 Y: 2 Z: 3 G", "X: 4 Y: 5 Z: 6 G"}),
              (std::vector<Reading>{{100, 200, 300}, {400, 500, 600}}));
    EXPECT_EQ(found.format(), LineFormat::Labelled);
    EXPECT_EQ(found.notFinite(), 1);
    EXPECT_EQ(found.lastIgnored(), "X: 1e306 Y: 0 Z: 0 G");
}

TEST(ReadingParser, NineNumberLinesKeepTheAccelerometerAndGyroscopeInTheLinesUnits)
{
    // Found from the first lines, the readings that waited keep theirs too;
    // the magnetometer goes to the capture's unit, the others stay as printed.
    ReadingParser raw(LineFormat::Auto, Microtesla);
    const Readings r = takeEvery(raw, {"Raw:-12,4,8190,3,-2,1,371,-40,620", "banner",
                                       "Raw:0,0,-8192,0,0,0,1,2,3", "Raw:1,2,3,4,5,6,7,8,9"});
    EXPECT_EQ(raw.format(), LineFormat::Raw);
    ASSERT_EQ(r.size(), 3u);
    ASSERT_EQ(r.inertial.size(), 3u);
    EXPECT_EQ(r.fields[0], (Reading{37.1, -4, 62}));
    EXPECT_EQ(r.inertial[0].accel, (std::array<double, 3>{-12, 4, 8190}));
    EXPECT_EQ(r.inertial[0].gyro, (std::array<double, 3>{3, -2, 1}));
    EXPECT_EQ(r.inertial[1].accel, (std::array<double, 3>{0, 0, -8192}));
    EXPECT_EQ(r.inertial[2].gyro, (std::array<double, 3>{4, 5, 6}));

    // A reading dropped as too large for the unit takes its others along:
    // each stays beside its own magnetometer.
    ReadingParser nanotesla(LineFormat::Uni, 1.0);
    const Readings u = takeEvery(
        nanotesla, {"Uni:0.1,0.2,9.8,0,0,0,1e307,1,1", "Uni:0.12,-9.79,0.30,0.0012,-0.0040,0.01,1,2,3"});
    ASSERT_EQ(u.size(), 1u);
    ASSERT_EQ(u.inertial.size(), 1u);
    EXPECT_EQ(u.fields[0], (Reading{1000, 2000, 3000}));
    EXPECT_EQ(u.inertial[0].accel, (std::array<double, 3>{0.12, -9.79, 0.30}));
    EXPECT_EQ(u.inertial[0].gyro, (std::array<double, 3>{0.0012, -0.0040, 0.01}));

    // Formats of the magnetometer alone have none.
    for (const LineFormat f : {LineFormat::Xyz, LineFormat::Labelled}) {
        ReadingParser plain(f, Microtesla);
        const Readings p = takeEvery(plain, {"1 2 3", "X: 1 Y: 2 Z: 3"});
        EXPECT_EQ(p.size(), 1u);
        EXPECT_TRUE(p.inertial.empty());
    }
}
