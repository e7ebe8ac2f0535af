#include "lineformat.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

void expectReading(LineFormat f, const QByteArray &line, std::array<double, 3> field, double unitInNt)
{
    const std::optional<LineReading> r = readLine(f, line);
    ASSERT_TRUE(r.has_value()) << line.constData();
    EXPECT_EQ(r->field, field) << line.constData();
    EXPECT_EQ(r->unitInNt, unitInNt) << line.constData();
    EXPECT_EQ(r->inertial.has_value(), f == LineFormat::Raw || f == LineFormat::Uni) << line.constData();
}

void expectInertial(LineFormat f, const QByteArray &line, std::array<double, 3> accel,
                    std::array<double, 3> gyro)
{
    const std::optional<LineReading> r = readLine(f, line);
    ASSERT_TRUE(r.has_value() && r->inertial.has_value()) << line.constData();
    EXPECT_EQ(r->inertial->accel, accel) << line.constData();
    EXPECT_EQ(r->inertial->gyro, gyro) << line.constData();
}

void expectNone(LineFormat f, const QByteArray &line)
{
    EXPECT_FALSE(readLine(f, line).has_value()) << line.constData();
}

} // namespace

TEST(LineFormat, RawTakesTheLastThreeOfNineIntegersInTenthsOfMicrotesla)
{
    expectReading(LineFormat::Raw, "Raw:-12,4,8190,3,-2,1,371,-40,620", {371, -40, 620}, 100.0);
    expectReading(LineFormat::Raw, "Raw: 1, 2, 3, 4, 5, 6, 7, 8, 9 ", {7, 8, 9}, 100.0);
    // The accelerometer and gyroscope before it are kept as they are printed.
    expectInertial(LineFormat::Raw, "Raw:-12,4,8190,3,-2,1,371,-40,620", {-12, 4, 8190}, {3, -2, 1});
    expectNone(LineFormat::Raw, "Raw:1,2,3,4,5,6,7,8");
    expectNone(LineFormat::Raw, "Raw:1,2,3,4,5,6,7,8,9,10");
    expectNone(LineFormat::Raw, "Raw:1,2,3,4,5,6,7,8,9.5");
    expectNone(LineFormat::Raw, "Raw:1,2,3,4,5,6,7,,9");
    expectNone(LineFormat::Raw, "raw:1,2,3,4,5,6,7,8,9");
    expectNone(LineFormat::Raw, "Uni:1,2,3,4,5,6,7,8,9");
}

TEST(LineFormat, UniTakesTheLastThreeOfNineDecimalsInMicrotesla)
{
    expectReading(LineFormat::Uni, "Uni:0.12,-9.79,0.30,0.0012,-0.0040,0.0100,37.10,-4.00,62.05",
                  {37.1, -4.0, 62.05}, 1000.0);
    expectInertial(LineFormat::Uni, "Uni:0.12,-9.79,0.30,0.0012,-0.0040,0.0100,37.10,-4.00,62.05",
                   {0.12, -9.79, 0.30}, {0.0012, -0.0040, 0.01});
    expectNone(LineFormat::Uni, "Uni:0.1,0.2,0.3,0.4,0.5,0.6,37.1,-4.0");
    expectNone(LineFormat::Uni, "Uni:0.1,0.2,0.3,0.4,0.5,0.6,37.1,-4.0,nan");
    expectNone(LineFormat::Uni, "Ori:12.5,3.1,-0.2");
}

TEST(LineFormat, XyzTakesThreeNumbersBetweenCommasTabsOrBlanks)
{
    for (const QByteArray line :
         {"12.5,-3.25,40", "12.5, -3.25, 40", "12.5\t-3.25\t40", "  12.5   -3.25 40 ", "12.5 ,-3.25 , 40,"})
        expectReading(LineFormat::Xyz, line, {12.5, -3.25, 40}, 0.0);
    for (const QByteArray line : {"12.5,-3.25", "12.5,-3.25,40,7", "12.5,,-3.25,40", "x,y,z", "1e999 2 3"})
        expectNone(LineFormat::Xyz, line);
}

TEST(LineFormat, LabelledTakesLabelsInAnyCaseAndItsUnitWord)
{
    expectReading(LineFormat::Labelled, "X: 12.50  Y: -3.25  Z: 40.00  uT", {12.5, -3.25, 40}, 1000.0);
    expectReading(LineFormat::Labelled, "Mag: x= 12.5 | y= -3.2 | z= 40.0", {12.5, -3.2, 40}, 0.0);
    expectReading(LineFormat::Labelled, "z=3,y=2,x=1 mG", {1, 2, 3}, 100.0);
    expectReading(LineFormat::Labelled, "X:0.4 Y:0.1 Z:0.3 G", {0.4, 0.1, 0.3}, 100000.0);
    expectReading(LineFormat::Labelled, "x: 40000 y: -3000 z: 20000 nT", {40000, -3000, 20000}, 1.0);
    expectReading(LineFormat::Labelled, "X: 1 Y: 2 Z: 3 \xC2\xB5T", {1, 2, 3}, 1000.0);
    expectReading(LineFormat::Labelled, "X: 1 Y: 2 Z: 3 uTesla", {1, 2, 3}, 1000.0);
    // The first unit word names the unit; "Mag" and "Gauss" are no units.
    expectReading(LineFormat::Labelled, "Mag (Gauss) X: 1 Y: 2 Z: 3", {1, 2, 3}, 0.0);
    // A unit word belongs to the number before it: that of a reading, or another.
    expectReading(LineFormat::Labelled, "X: 1 uT, Y: 2 uT, Z: 3 uT", {1, 2, 3}, 1000.0);
    expectReading(LineFormat::Labelled, "x=1 y=2 z=3 (mG)", {1, 2, 3}, 100.0);
    expectReading(LineFormat::Labelled, "Range 8.1G X: 31.3 Y: -4.2 Z: 12.0", {31.3, -4.2, 12.0}, 0.0);
    expectReading(LineFormat::Labelled, "X: 31.3 Y: -4.2 Z: 12.0 Range 8.1G", {31.3, -4.2, 12.0}, 0.0);
    expectReading(LineFormat::Labelled, "X: 31.3 Y: -4.2 Z: 12.0 range 8 G", {31.3, -4.2, 12.0}, 0.0);
    expectNone(LineFormat::Labelled, "X: 1 Y: 2");
    expectNone(LineFormat::Labelled, "X: 1 Y: 2 Z: 3 X: 4");
    expectNone(LineFormat::Labelled, "X: 1 Y: two Z: 3");
    expectNone(LineFormat::Labelled, "Heading: 120 Pitch: 3 Roll: 1");
}

TEST(LineFormat, NamesGoBothWays)
{
    for (const LineFormat f :
         {LineFormat::Auto, LineFormat::Raw, LineFormat::Uni, LineFormat::Xyz, LineFormat::Labelled})
        EXPECT_EQ(lineFormatNamed(lineFormatName(f)), f);
    EXPECT_FALSE(lineFormatNamed("log").has_value());
    EXPECT_FALSE(lineFormatNamed("RAW").has_value());
}

// A search tries the formats with a prefix or labels before plain numbers,
// and the formats that read no line alone are never tried.
TEST(LineFormat, TheSearchTriesPrefixesAndLabelsBeforePlainNumbers)
{
    EXPECT_EQ(detectedLineFormats(), (std::vector<LineFormat>{LineFormat::Raw, LineFormat::Uni,
                                                              LineFormat::Labelled, LineFormat::Xyz}));
    EXPECT_EQ(lineFormatName(LineFormat::Log), "log");
    // What a user chooses from: Auto first, then what a search finds, but
    // never a log, which goes with its columns; each found again by its name.
    EXPECT_EQ(namedLineFormats(), (std::vector<LineFormat>{LineFormat::Auto, LineFormat::Raw, LineFormat::Uni,
                                                           LineFormat::Labelled, LineFormat::Xyz}));
    for (const LineFormat f : namedLineFormats())
        EXPECT_EQ(lineFormatNamed(lineFormatName(f)), f);
    EXPECT_FALSE(lineFormatNamed(QStringLiteral("log")));
    for (const LineFormat f : {LineFormat::Auto, LineFormat::Log})
        expectNone(f, "1 2 3");
    // Nine numbers without their prefix are no Raw: line.
    expectNone(LineFormat::Raw, "1,2,3,4,5,6,7,8,9");
    expectNone(LineFormat::Uni, "Uni1,2,3,4,5,6,7,8,9");
    // A value that names no format, as a stored setting might hold, has no name and reads nothing.
    EXPECT_EQ(lineFormatName(LineFormat(99)), "");
    expectNone(LineFormat(99), "1 2 3");
}
