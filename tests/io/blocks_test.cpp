// A large file is read in blocks of 256 KiB, its lines cut where the blocks
// end. What comes out must be what its bytes give when they are read at
// once: the same points, line counts and log counts, and a fault on its own
// line wherever the blocks are cut.
#include "linesource.h"
#include "logreader.h"
#include "rawdata.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include <fcntl.h>
#include <unistd.h>

using namespace tavrin;

namespace {

// About 2.4 MB: nine blocks.
constexpr int Lines = 100000;

// Line k of a plain measurement file, with four decimals as sensors write them.
QByteArray plainLine(const MatDoub &p, int k, const char *separator = "\t")
{
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%.4f%s%.4f%s%.4f\n", p[k][0], separator, p[k][1],
                                separator, p[k][2]);
    return QByteArray(text, n);
}

// The file of Lines points, line k made by row (which may add lines).
QByteArray fileOf(const std::function<QByteArray(const MatDoub &, int)> &row)
{
    const MatDoub p = ellipsoidPoints(sphereTruth(1.0, 12, -7, 20), 50.0, Lines, 0.2, 3);
    QByteArray text;
    for (int k = 0; k < Lines; k++)
        text += row(p, k);
    return text;
}

void expectSameData(const RawData &read, const RawData &parsed)
{
    EXPECT_EQ(read.status, parsed.status);
    EXPECT_EQ(read.linesRead, parsed.linesRead);
    EXPECT_EQ(read.badLineNumber, parsed.badLineNumber);
    EXPECT_EQ(read.badLine, parsed.badLine);
    ASSERT_EQ(read.numLines, parsed.numLines);
    for (int k = 0; k < parsed.numLines; k++)
        ASSERT_EQ(std::memcmp(read.Mag[k], parsed.Mag[k], 3 * sizeof(double)), 0) << "point " << k;
}

class Blocks : public testing::Test {
protected:
    QString write(const QByteArray &text)
    {
        const QString path = dir.filePath("input");
        writeFile(path, text);
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(Blocks, ReadWhatTheBytesGiveAtOnce)
{
    const std::vector<std::pair<const char *, QByteArray>> files = {
        {"plain", fileOf([](const MatDoub &p, int k) { return plainLine(p, k); })},
        {"spaces, CRLF, a separator after the third number",
         fileOf([](const MatDoub &p, int k) { return plainLine(p, k, " ").replace("\n", " \r\n"); })},
        {"blank lines and full precision", fileOf([](const MatDoub &p, int k) {
             return k % 7 == 0 ? "\n" + asFileText(p.extractmat(k, k, 0, 2)) : plainLine(p, k);
         })},
        {"exponents, signs and no last line end", fileOf([](const MatDoub &p, int k) {
             QByteArray line =
                 k % 5 == 0 ? QByteArray::number(p[k][0], 'e', 6) + " +1.5 -0.0\n" : plainLine(p, k);
             return k == Lines - 1 ? line.chopped(1) : line;
         })},
    };
    for (const auto &[name, text] : files) {
        SCOPED_TRACE(name);
        const RawData read = ReadRawData(write(text));
        ASSERT_EQ(read.status, RawDataStatus::Loaded);
        EXPECT_EQ(read.numLines, Lines);
        expectSameData(read, ParseRawData(text));
    }
}

TEST_F(Blocks, AFaultIsOnItsLineInAnyBlock)
{
    // Blank lines before the fault shift its line from its point; a second
    // fault later on must not be the one reported.
    for (const int bad : {5, Lines / 3, Lines / 2 + 7, Lines - 2}) {
        SCOPED_TRACE(bad);
        const QByteArray text = fileOf([bad](const MatDoub &p, int k) {
            if (k == bad || k == bad + 1)
                return QByteArray("1 2 three\n");
            return k % 1000 == 0 ? "\n" + plainLine(p, k) : plainLine(p, k);
        });
        const RawData read = ReadRawData(write(text));
        EXPECT_EQ(read.status, RawDataStatus::BadFormat);
        EXPECT_EQ(read.badLineNumber, bad + 1 + (bad + 999) / 1000);
        EXPECT_EQ(read.badLine, "1 2 three");
        EXPECT_EQ(read.numLines, 0);
        expectSameData(read, ParseRawData(text));
    }
}

TEST_F(Blocks, TheLinePastTheLimitIsRefused)
{
    const QByteArray text = QByteArray("1 2 3\n").repeated(RawData::Capacity) + "4 5 6\n";
    const RawData read = ReadRawData(write(text));
    EXPECT_EQ(read.status, RawDataStatus::TooManyLines);
    EXPECT_EQ(read.badLineNumber, RawData::Capacity + 1);
    EXPECT_EQ(read.badLine, "4 5 6");
    EXPECT_EQ(read.numLines, 0);
}

TEST_F(Blocks, TheMostPointsWithBlankLinesAndComments)
{
    const MatDoub p = ellipsoidPoints(sphereTruth(1.0, 12, -7, 20), 50.0, RawData::Capacity, 0.2, 5);
    QByteArray strict, log = "time,mx,my,mz\n";
    for (int k = 0; k < RawData::Capacity; k++) {
        if (k < RawData::Capacity / 3 && k % 1000 == 7) {
            strict += "\n";
            log += "# a note\n";
        }
        strict += plainLine(p, k);
        log += QByteArray::number(k) + "," + plainLine(p, k, ",");
    }
    const RawData read = ReadRawData(write(strict));
    ASSERT_EQ(read.status, RawDataStatus::Loaded);
    ASSERT_EQ(read.numLines, RawData::Capacity);
    expectSameData(read, ParseRawData(strict));

    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    LogInput readInput, parsedInput;
    const RawData readLog = ReadLog(write(log), format, readInput);
    ASSERT_EQ(readLog.status, RawDataStatus::Loaded);
    ASSERT_EQ(readLog.numLines, RawData::Capacity);
    expectSameData(readLog, ParseLog(log, format, parsedInput));
    EXPECT_EQ(readInput.commentLines, RawData::Capacity / 3 / 1000 + 1);
    EXPECT_EQ(readInput.commentLines, parsedInput.commentLines);
}

TEST_F(Blocks, StandardInputIsReadFromWhereItStandsToItsEnd)
{
    // A script may have read the first line of a file before it hands the
    // rest to the calibration on standard input.
    const QByteArray text = fileOf([](const MatDoub &p, int k) { return plainLine(p, k); });
    const qsizetype firstLine = text.indexOf('\n') + 1;
    const int file = ::open(QFile::encodeName(write(text)).constData(), O_RDONLY);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::lseek(file, firstLine, SEEK_SET), firstLine);
    const int input = ::dup(0);
    ASSERT_GE(::dup2(file, 0), 0);
    const RawData rest = ReadRawData("-");
    const off_t end = ::lseek(0, 0, SEEK_CUR);
    ::dup2(input, 0);
    ::close(input);
    ::close(file);

    EXPECT_EQ(end, text.size());
    ASSERT_EQ(rest.numLines, Lines - 1);
    expectSameData(rest, ParseRawData(text.mid(firstLine)));
}

TEST_F(Blocks, LogCountsAddUpAndSkippedRowsKeepTheirLines)
{
    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    const auto logOf = [](const std::function<QByteArray(int)> &extra) {
        return "# a logger's preamble\ntime,mx,my,mz,temperature\n" + fileOf([&](const MatDoub &p, int k) {
                   return extra(k) + QByteArray::number(k) + "," + plainLine(p, k, ",").chopped(1) +
                          ",21.5\r\n";
               });
    };
    const QByteArray withBadRows = logOf([](int k) -> QByteArray {
        if (k % 20011 == 3)
            return "17,1,2,\r\n";
        return k % 999 == 0 ? "# a note\r\n" : "";
    });

    format.skipBadLines = true;
    LogInput read, parsed;
    const RawData data = ReadLog(write(withBadRows), format, read);
    ASSERT_EQ(data.status, RawDataStatus::Loaded);
    expectSameData(data, ParseLog(withBadRows, format, parsed));
    EXPECT_EQ(read.rows, Lines);
    EXPECT_EQ(read.commentLines, 1 + (Lines + 998) / 999);
    EXPECT_EQ(read.skippedLines, 5);
    ASSERT_EQ(read.firstSkipped.size(), 5);
    for (int k = 0; k < read.firstSkipped.size(); k++) {
        EXPECT_EQ(read.firstSkipped[k].line, parsed.firstSkipped[k].line);
        EXPECT_EQ(read.firstSkipped[k].text, "17,1,2,");
    }

    format.skipBadLines = false;
    const QByteArray lateFault =
        logOf([](int k) -> QByteArray { return k == Lines - 10 ? "1,2,x,4,5\n" : ""; });
    LogInput refusedInput;
    const RawData refused = ReadLog(write(lateFault), format, refusedInput);
    EXPECT_EQ(refused.status, RawDataStatus::BadFormat);
    EXPECT_EQ(refused.badLineNumber, 2 + Lines - 10 + 1);
    EXPECT_EQ(refused.badLine, "1,2,x,4,5");
    EXPECT_EQ(refusedInput.remedy, LogInput::Remedy::SkipBadLines);
}

// Windows loggers that write CR LF through a text-mode file end each line
// with CR CR LF: one line end, wherever the blocks are cut.
TEST_F(Blocks, ALogsLinesEndedByCrCrLfAreNumberedAsAnEditorNumbersThem)
{
    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    const QByteArray text = "time,mx,my,mz\r\r\n" + fileOf([](const MatDoub &p, int k) {
                                const QByteArray row = k == Lines - 10 ? QByteArray("1,2,x,4")
                                                                       : QByteArray::number(k) + "," +
                                                                             plainLine(p, k, ",").chopped(1);
                                return row + "\r\r\n";
                            });
    LogInput input;
    const RawData refused = ReadLog(write(text), format, input);
    EXPECT_EQ(refused.status, RawDataStatus::BadFormat);
    EXPECT_EQ(refused.badLineNumber, 1 + Lines - 10 + 1);
    EXPECT_EQ(refused.badLine, "1,2,x,4");

    const QByteArray whole = QByteArray(text).replace("1,2,x,4", "1,2,3,4");
    LogInput parsedInput;
    const RawData read = ReadLog(write(whole), format, input);
    ASSERT_EQ(read.status, RawDataStatus::Loaded);
    EXPECT_EQ(read.linesRead, 1 + Lines);
    expectSameData(read, ParseLog(whole, format, parsedInput));
}

TEST(PlainNumbers, AreReadExactlyAsFromCharsReadsThem)
{
    std::mt19937 rng(11);
    const auto digits = [&](int count) {
        std::string s;
        for (int k = 0; k < count; k++)
            s += char('0' + rng() % 10);
        return s;
    };
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "+0.0",
                                      ".5",
                                      "-.5",
                                      "5.",
                                      "+7",
                                      "007.50",
                                      "9007199254740992",
                                      "9007199254740993",
                                      "1e5",
                                      "-1.5E-3",
                                      "inf",
                                      "nan",
                                      "+-1",
                                      "--1",
                                      "1.2.3",
                                      "-",
                                      ".",
                                      "",
                                      "1 ",
                                      "0x10",
                                      "0.1000000000000000055511151231257827",
                                      "12345678901234567890"};
    for (int k = 0; k < 200000; k++)
        texts.push_back(std::string(rng() % 3 == 0 ? "-" : "") + digits(int(rng() % 8)) +
                        (rng() % 4 ? "." : "") + digits(int(rng() % 14)));
    for (const std::string &text : texts) {
        const char *begin = text.data(), *end = begin + text.size();
        double expected = 0.0, got = 0.0;
        const char *numberBegin = begin + (text.size() > 1 && text[0] == '+' && text[1] != '-');
        const auto [stop, error] = std::from_chars(numberBegin, end, expected);
        const bool valid = error == std::errc() && stop == end && std::isfinite(expected);
        ASSERT_EQ(parseNumber(begin, end, got), valid) << text;
        if (valid) {
            ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << text;
        }
    }
}
