// A large file is read by two threads at once, each from its own half. What
// comes out must be what one thread reads: the same points, line counts and
// log counts, and a fault on its own line in either half.
#include "fieldscan.h"
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
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

using namespace tavrin;

namespace {

// About 2.4 MB: far beyond the few blocks under which one thread reads.
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

struct Read {
    RawData data;
    LogInput log;
    int threads = 0; ///< the most that worked at once
};

Read readFile(const QString &path, int threads, const LogFormat *format = nullptr)
{
    Read r;
    WorkControl control(nullptr, threads, {});
    r.data = format ? ReadLog(path, *format, r.log, control) : ReadRawData(path, control);
    r.threads = control.mostThreads();
    return r;
}

void expectSameRead(const Read &two, const Read &one)
{
    EXPECT_EQ(one.threads, 1);
    EXPECT_EQ(two.data.status, one.data.status);
    EXPECT_EQ(two.data.linesRead, one.data.linesRead);
    EXPECT_EQ(two.data.badLineNumber, one.data.badLineNumber);
    EXPECT_EQ(two.data.badLine, one.data.badLine);
    ASSERT_EQ(two.data.numLines, one.data.numLines);
    for (int k = 0; k < one.data.numLines; k++)
        ASSERT_EQ(std::memcmp(two.data.Mag[k], one.data.Mag[k], 3 * sizeof(double)), 0) << "point " << k;
}

class TwoHalves : public testing::Test {
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

TEST_F(TwoHalves, ReadWhatOneThreadReads)
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
        const QString path = write(text);
        const Read two = readFile(path, 2), one = readFile(path, 1);
        ASSERT_EQ(one.data.status, RawDataStatus::Loaded);
        EXPECT_EQ(two.threads, 2);
        expectSameRead(two, one);
        const RawData parsed = ParseRawData(text);
        ASSERT_EQ(parsed.numLines, two.data.numLines);
        EXPECT_EQ(std::memcmp(parsed.Mag[0], two.data.Mag[0], 3 * sizeof(double) * size_t(parsed.numLines)),
                  0);
    }
}

TEST_F(TwoHalves, AFaultIsOnItsLineInEitherHalf)
{
    // Blank lines before the fault shift its line from its point; a second
    // fault later on must not be the one reported. A fault in the first
    // block ends the read before the halves begin.
    for (const int bad : {5, Lines / 3, Lines / 2 + 7, Lines - 2}) {
        SCOPED_TRACE(bad);
        const QByteArray text = fileOf([bad](const MatDoub &p, int k) {
            if (k == bad || k == bad + 1)
                return QByteArray("1 2 three\n");
            return k % 1000 == 0 ? "\n" + plainLine(p, k) : plainLine(p, k);
        });
        const Read two = readFile(write(text), 2), one = readFile(write(text), 1);
        EXPECT_EQ(two.data.status, RawDataStatus::BadFormat);
        EXPECT_EQ(two.data.badLineNumber, bad + 1 + (bad + 999) / 1000);
        EXPECT_EQ(two.data.badLine, "1 2 three");
        EXPECT_EQ(two.data.numLines, 0);
        EXPECT_EQ(two.threads, bad < 1000 ? 1 : 2);
        expectSameRead(two, one);
    }
}

TEST_F(TwoHalves, TheLinePastTheLimitIsFoundAcrossTheHalves)
{
    // Each half holds fewer points than the limit, both together one more.
    const QByteArray text = QByteArray("1 2 3\n").repeated(RawData::Capacity) + "4 5 6\n";
    const Read two = readFile(write(text), 2);
    EXPECT_EQ(two.data.status, RawDataStatus::TooManyLines);
    EXPECT_EQ(two.data.badLineNumber, RawData::Capacity + 1);
    EXPECT_EQ(two.data.badLine, "4 5 6");
    EXPECT_EQ(two.data.numLines, 0);
}

TEST_F(TwoHalves, ASecondHalfBeyondTheRowsLentToItGrowsATableOfItsOwn)
{
    // Lines of six bytes size the table to the points; the blank lines of
    // the first half count as line ends there, so the rows left to the
    // second half are fewer than its points. The values repeat only every
    // 1001 lines, so that points out of place show.
    QByteArray text;
    for (int k = 0; k < 600000; k++) {
        if (k < 400000 && k % 4 == 0) {
            text += '\n';
            continue;
        }
        const char line[] = {char('0' + k % 7),       ' ', char('0' + k % 11 % 10), '\t',
                             char('0' + k % 13 % 10), '\n'};
        text.append(line, sizeof line);
    }
    const QString path = write(text);
    const Read two = readFile(path, 2), one = readFile(path, 1);
    ASSERT_EQ(one.data.status, RawDataStatus::Loaded);
    ASSERT_EQ(one.data.numLines, 500000);
    EXPECT_EQ(two.threads, 2);
    expectSameRead(two, one);
}

TEST_F(TwoHalves, TheMostPointsWithBlankLinesAndCommentsInTheFirstHalf)
{
    // The second half's rows follow the first half's line ends, blank and
    // comment lines among them: the table has rows to spare for them.
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
    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    const LogFormat *const formats[] = {nullptr, &format};
    for (const LogFormat *f : formats) {
        SCOPED_TRACE(f ? "log" : "strict");
        const QString path = write(f ? log : strict);
        const Read two = readFile(path, 2, f), one = readFile(path, 1, f);
        ASSERT_EQ(one.data.status, RawDataStatus::Loaded);
        ASSERT_EQ(one.data.numLines, RawData::Capacity);
        EXPECT_EQ(two.threads, 2);
        expectSameRead(two, one);
        EXPECT_EQ(two.log.commentLines, one.log.commentLines);
    }
}

TEST(LineEnds, AreCountedNoFewerThanTheLinesTheyEnd)
{
    // Each pair: the text, then its line ends with and without lone carriage returns.
    std::vector<std::tuple<QByteArray, qint64, qint64>> texts = {
        {"", 0, 0},
        {"\n", 1, 1},
        {"\r", 0, 1},
        {"a\r\nb\rc\n\r", 2, 4},
        {QByteArray(15, 'x') + "\r\n" + QByteArray(14, 'y') + "\r", 1, 2},
        {QByteArray(16, 'x') + "\r" + QByteArray(15, 'y') + "\r\n\n", 2, 3},
        {QByteArray("1 2 3\r\n").repeated(5000) + QByteArray("\r").repeated(4097), 5000, 9097},
    };
    for (const auto &[text, feeds, ends] : texts) {
        SCOPED_TRACE(text.left(40).toStdString());
        const char *begin = text.constData(), *end = begin + text.size();
        EXPECT_EQ(countLineEnds(begin, end, false), feeds);
        EXPECT_EQ(countLineEnds(begin, end, true), ends);
    }
}

TEST_F(TwoHalves, StandardInputIsReadFromWhereItStandsToItsEnd)
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
    WorkControl control(nullptr, 2, {});
    const RawData rest = ReadRawData("-", control);
    const off_t end = ::lseek(0, 0, SEEK_CUR);
    ::dup2(input, 0);
    ::close(input);
    ::close(file);

    EXPECT_EQ(control.mostThreads(), 2);
    EXPECT_EQ(end, text.size());
    const RawData expected = ParseRawData(text.mid(firstLine));
    ASSERT_EQ(rest.numLines, Lines - 1);
    ASSERT_EQ(expected.numLines, Lines - 1);
    EXPECT_EQ(std::memcmp(rest.Mag[0], expected.Mag[0], 3 * sizeof(double) * size_t(rest.numLines)), 0);
}

TEST_F(TwoHalves, LogCountsAddUpAndSkippedRowsKeepTheirLines)
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
    const Read two = readFile(write(withBadRows), 2, &format), one = readFile(write(withBadRows), 1, &format);
    ASSERT_EQ(one.data.status, RawDataStatus::Loaded);
    EXPECT_EQ(two.threads, 2);
    expectSameRead(two, one);
    EXPECT_EQ(two.log.rows, Lines);
    EXPECT_EQ(two.log.rows, one.log.rows);
    EXPECT_EQ(two.log.commentLines, one.log.commentLines);
    EXPECT_EQ(two.log.skippedLines, 5);
    ASSERT_EQ(two.log.firstSkipped.size(), one.log.firstSkipped.size());
    for (int k = 0; k < one.log.firstSkipped.size(); k++) {
        EXPECT_EQ(two.log.firstSkipped[k].line, one.log.firstSkipped[k].line);
        EXPECT_EQ(two.log.firstSkipped[k].text, "17,1,2,");
    }

    format.skipBadLines = false;
    const QByteArray lateFault =
        logOf([](int k) -> QByteArray { return k == Lines - 10 ? "1,2,x,4,5\n" : ""; });
    const Read refused = readFile(write(lateFault), 2, &format);
    EXPECT_EQ(refused.threads, 2);
    EXPECT_EQ(refused.data.status, RawDataStatus::BadFormat);
    EXPECT_EQ(refused.data.badLineNumber, 2 + Lines - 10 + 1);
    EXPECT_EQ(refused.data.badLine, "1,2,x,4,5");
    EXPECT_EQ(refused.log.remedy, LogInput::Remedy::SkipBadLines);
}

// Windows loggers that write CR LF through a text-mode file end each line
// with CR CR LF: one line end, wherever the blocks and the halves are cut.
TEST_F(TwoHalves, ALogsLinesEndedByCrCrLfAreNumberedAsAnEditorNumbersThem)
{
    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    const QByteArray text = "time,mx,my,mz\r\r\n" + fileOf([](const MatDoub &p, int k) {
                                const QByteArray row = k == Lines - 10 ? QByteArray("1,2,x,4")
                                                                       : QByteArray::number(k) + "," +
                                                                             plainLine(p, k, ",").chopped(1);
                                return row + "\r\r\n";
                            });
    const QString path = write(text);
    for (int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        const Read refused = readFile(path, threads, &format);
        EXPECT_EQ(refused.threads, threads);
        EXPECT_EQ(refused.data.status, RawDataStatus::BadFormat);
        EXPECT_EQ(refused.data.badLineNumber, 1 + Lines - 10 + 1);
        EXPECT_EQ(refused.data.badLine, "1,2,x,4");
    }
    const QString whole = write(QByteArray(text).replace("1,2,x,4", "1,2,3,4"));
    const Read two = readFile(whole, 2, &format), one = readFile(whole, 1, &format);
    ASSERT_EQ(one.data.status, RawDataStatus::Loaded);
    EXPECT_EQ(one.data.linesRead, 1 + Lines);
    expectSameRead(two, one);
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
