#include "rawdata.h"
#include "synthetic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace tavrin;

namespace {

struct Row {
    Doub x, y, z;
};

std::vector<Row> points(const RawData &d)
{
    std::vector<Row> r;
    for (int k = 0; k < d.numLines; k++)
        r.push_back({d.Mag[k][0], d.Mag[k][1], d.Mag[k][2]});
    return r;
}

MATCHER_P3(IsPoint, x, y, z, "")
{
    return arg.x == x && arg.y == y && arg.z == z;
}

} // namespace

TEST(RawData, AcceptedLineShapes)
{
    const char *lines[] = {"12.5\t-3.25\t40", "12.5 -3.25 40",   "12.5 -3.25 40 ",    "12.5\t-3.25\t40\t",
                           "12.5 -3.25\t40",  "+12.5 -3.25 4e1", "1.25e1 -325e-2 40."};
    for (const char *line : lines) {
        RawData d = ParseRawData(QByteArray(line) + "\n");
        ASSERT_EQ(d.status, RawDataStatus::Loaded) << line;
        EXPECT_THAT(points(d), testing::ElementsAre(IsPoint(12.5, -3.25, 40.0))) << line;
    }
}

TEST(RawData, RefusedLinesNameTheirLine)
{
    const char *lines[] = {
        "12.5 -3.25 40  ", // two separators after the third number
        " 12.5 -3.25 40",  // leading separator: an empty first field
        "12.5 -3.25 40 7", // a fourth field
        "12.5\t\t-3.25",   // an empty field between two separators
        "12.5,-3.25,40",   // commas do not separate
        "12.5\t-3.25",     // only two fields
        "12.5",            // only one
        "nan 1 2",         // not finite
        "1 inf 2",         // not finite
        "1 2 1e999",       // overflows
        "MagX MagY MagZ",  // a header
        "1 2 3\r4",        // a lone carriage return
        "+-1 2 3",         // two signs
        "0x10 2 3",        // no hexadecimal
    };
    for (const char *line : lines) {
        RawData d = ParseRawData(QByteArray("1 2 3\n\n") + line + "\n4 5 6\n");
        EXPECT_EQ(d.status, RawDataStatus::BadFormat) << line;
        EXPECT_EQ(d.badLineNumber, 3) << line;
        EXPECT_EQ(d.badLine, QString::fromUtf8(line)) << line;
        EXPECT_EQ(d.linesRead, 2) << line;
        EXPECT_EQ(d.numLines, 0) << line;
    }
}

TEST(RawData, LineEndsBlankLinesAndByteOrderMark)
{
    const std::vector<Row> expected = {{1, 2, 3}, {4, 5, 6}};
    const char *files[] = {
        "1 2 3\n4 5 6\n",
        "1 2 3\n4 5 6",
        "1 2 3\r\n4 5 6\r\n",
        "1 2 3\r\n4 5 6",
        "\n1 2 3\n \t \n\n4 5 6\n",
        "\xEF\xBB\xBF"
        "1 2 3\n4 5 6\n",
    };
    for (const char *text : files) {
        RawData d = ParseRawData(text);
        ASSERT_EQ(d.status, RawDataStatus::Loaded) << text;
        ASSERT_EQ(d.numLines, 2) << text;
        EXPECT_EQ(d.Mag[1][2], 6.0);
        EXPECT_EQ(d.Mag[0][0], 1.0);
    }
    EXPECT_EQ(ParseRawData("\n1 2 3\n \t \n\n4 5 6\n").linesRead, 5);
    EXPECT_EQ(ParseRawData("1 2 3\n4 5 6\n").linesRead, 2);

    RawData empty = ParseRawData("");
    EXPECT_EQ(empty.status, RawDataStatus::Loaded);
    EXPECT_EQ(empty.numLines, 0);
    // A mark anywhere else is text, not a number.
    EXPECT_EQ(ParseRawData("1 2 3\n\xEF\xBB\xBF"
                           "4 5 6\n")
                  .status,
              RawDataStatus::BadFormat);
}

TEST(RawData, FilesThatCannotBeOpened)
{
    QTemporaryDir dir;
    EXPECT_EQ(ReadRawData(dir.filePath("missing.txt")).status, RawDataStatus::CannotOpen);
    EXPECT_EQ(ReadRawData(dir.path()).status, RawDataStatus::CannotOpen);
    EXPECT_EQ(ReadRawData(QString()).status, RawDataStatus::CannotOpen);
    // What the file-name field shows before a file is chosen is no path either.
    EXPECT_EQ(ReadRawData("<html><head/><body><p align=\"right\">*.txt</p></body></html>").status,
              RawDataStatus::CannotOpen);
}

TEST(RawData, CapacityOfHalfAMillionPoints)
{
    QTemporaryDir dir;
    QByteArray line("1.5 -2.25 3\n");
    QByteArray full = line.repeated(RawData::Capacity);
    const QString path = dir.filePath("full.txt");

    writeFile(path, "\n" + full + "\n");
    RawData atCapacity = ReadRawData(path);
    EXPECT_EQ(atCapacity.status, RawDataStatus::Loaded);
    EXPECT_EQ(atCapacity.numLines, RawData::Capacity);
    EXPECT_EQ(atCapacity.Mag[RawData::Capacity - 1][1], -2.25);

    writeFile(path, full + "7 8 9\n");
    RawData over = ReadRawData(path);
    EXPECT_EQ(over.status, RawDataStatus::TooManyLines);
    EXPECT_EQ(over.badLineNumber, RawData::Capacity + 1);
    EXPECT_EQ(over.badLine, "7 8 9");
}

TEST(RawData, FileReadInChunksMatchesTheBytes)
{
    // Lines crossing the reader's chunk boundaries, with CRLF ends and no final terminator.
    MatDoub p = ellipsoidPoints(sphereTruth(1.0, 3, -4, 5), 50.0, 120000, 0.1, 7);
    QByteArray text = asFileText(p);
    text.replace("\n", "\r\n");
    text.chop(2);
    QTemporaryDir dir;
    writeFile(dir.filePath("p.txt"), text);
    RawData fromFile = ReadRawData(dir.filePath("p.txt"));
    RawData fromBytes = ParseRawData(text);
    ASSERT_EQ(fromFile.status, RawDataStatus::Loaded);
    ASSERT_EQ(fromFile.numLines, 120000);
    ASSERT_EQ(fromBytes.numLines, 120000);
    for (int k = 0; k < 120000; k++)
        for (int c = 0; c < 3; c++)
            ASSERT_EQ(fromFile.Mag[k][c], p[k][c]) << k;
    EXPECT_EQ(fromBytes.Mag[119999][2], p[119999][2]);
}

TEST(RawData, EndlessLineIsRefusedWithoutReadingEverything)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("long.txt"), QByteArray(3 << 20, '1'));
    RawData d = ReadRawData(dir.filePath("long.txt"));
    EXPECT_EQ(d.status, RawDataStatus::BadFormat);
    EXPECT_EQ(d.badLineNumber, 1);
    EXPECT_EQ(d.badLine, QString(80, '1') + QChar(0x2026));
}

TEST(RawData, ReaderCountsTheLinesBeforeABadOneAndWritesNothing)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a.txt"), "1 2 3\n\n4 5 6\n7 8 9 10\n1 1 1\n");
    testing::internal::CaptureStdout();
    const RawData d = ReadRawData(dir.filePath("a.txt"));
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(d.linesRead, 3);
}

TEST(RawData, EndlessBlankLinesEndAtTheLineLimit)
{
    // One line more than the limit, all blank: refused at the first line past it.
    const RawData d = ParseRawData(QByteArray(RawData::MaxLines + 1, '\n'));
    EXPECT_EQ(d.status, RawDataStatus::TooManyLines);
    EXPECT_EQ(d.badLineNumber, RawData::MaxLines + 1);
    EXPECT_EQ(d.linesRead, RawData::MaxLines);
    EXPECT_EQ(d.numLines, 0);
}

TEST(RawData, ReadErrorsAndOpenFailuresCarryTheSystemsReason)
{
    const RawData memory = ReadRawData("/proc/self/mem");
    EXPECT_EQ(memory.status, RawDataStatus::ReadError);
    EXPECT_EQ(memory.reason, "Input/output error");
    EXPECT_EQ(memory.numLines, 0);

    QTemporaryDir dir;
    const RawData folder = ReadRawData(dir.path());
    EXPECT_EQ(folder.status, RawDataStatus::CannotOpen);
    EXPECT_EQ(folder.reason, "Is a directory");
    const RawData missing = ReadRawData(dir.filePath("missing.txt"));
    EXPECT_EQ(missing.status, RawDataStatus::CannotOpen);
    EXPECT_EQ(missing.reason, "No such file or directory");
    EXPECT_EQ(ReadRawData(QString()).reason, "");
}

TEST(RawData, ShownLineIsCutAtACharacterWithAnEllipsis)
{
    // 79 ASCII characters, then two-byte characters: the cut falls between characters.
    const QByteArray line = QByteArray(79, 'a') + QByteArray("\xc3\xa9").repeated(10);
    const RawData d = ParseRawData("1 2 3\n" + line + "\r\n");
    EXPECT_EQ(d.badLine, QString(79, 'a') + QChar(0xe9) + QChar(0x2026));
    EXPECT_EQ(ParseRawData("1 2 x\r\n").badLine, "1 2 x");
}
