// The log reader on logs written here: delimiters, headers and names,
// quotes and brackets, comments, line ends, decimal commas, rows, bad lines.
#include "logreader.h"
#include "rawdata.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include <functional>

using namespace tavrin;

namespace {

LogFormat columns(const QString &x, const QString &y, const QString &z)
{
    LogFormat f;
    f.columns = {x, y, z};
    return f;
}

// The points of a table as a log: one line per point, made by the given function.
QByteArray log(const QByteArray &head, const MatDoub &p,
               const std::function<QByteArray(const double *, int)> &row)
{
    QByteArray out = head;
    for (Int k = 0; k < p.nrows(); k++)
        out += row(p[k], k);
    return out;
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 17);
}

void expectSamePoints(const RawData &d, const MatDoub &p)
{
    ASSERT_EQ(d.status, RawDataStatus::Loaded) << d.badLineNumber << " " << d.badLine.toStdString();
    ASSERT_EQ(d.numLines, p.nrows());
    for (Int k = 0; k < p.nrows(); k++)
        for (int c = 0; c < 3; c++)
            ASSERT_EQ(d.Mag[k][c], p[k][c]) << k << " " << c;
}

const MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 50, 0.25, 3);

} // namespace

TEST(LogReader, EachDelimiterFoundOrGiven)
{
    const struct {
        Delimiter d;
        const char *separator;
    } cases[] = {{Delimiter::Comma, ","},
                 {Delimiter::Semicolon, ";"},
                 {Delimiter::Tab, "\t"},
                 {Delimiter::Space, "   "}};
    for (const auto &c : cases) {
        const QByteArray text =
            log(QByteArray("t") + c.separator + "mx" + c.separator + "my" + c.separator + "mz\n", points,
                [&](const double *h, int k) {
                    return QByteArray::number(k) + c.separator + number(h[0]) + c.separator + number(h[1]) +
                           c.separator + number(h[2]) + "\n";
                });
        for (const Delimiter given : {Delimiter::Detect, c.d}) {
            LogFormat f = columns("2", "3", "4");
            f.delimiter = given;
            LogInput in;
            expectSamePoints(ParseLog(text, f, in), points);
            EXPECT_EQ(in.delimiter, c.d);
            EXPECT_EQ(in.headerLines, 1);
            EXPECT_EQ(in.rows, points.nrows());
            EXPECT_EQ(in.header, QStringList({"t", "mx", "my", "mz"}));
        }
    }
}

TEST(LogReader, NamesSelectFieldsAsTheyAreMeant)
{
    const QByteArray head = "Time (s),\"X (uT)\",\" y \",Z [uT],mx,xy\n";
    const QByteArray text = log(head, points, [](const double *h, int) {
        return "0.5," + number(h[0]) + "," + number(h[1]) + "," + number(h[2]) + ",1,2\n";
    });
    LogInput in;
    expectSamePoints(ParseLog(text, columns("x", "Y", "\"z\""), in), points);
    EXPECT_EQ(in.columns, (std::array<int, 6>{2, 3, 4, 0, 0, 0}));
    EXPECT_EQ(in.names[0], "X (uT)");
    EXPECT_EQ(in.names[1], "y");
    // An exact name wins over a prefix: "mx" is the field mx, not none or several.
    EXPECT_EQ(ParseLog(text, columns("mx", "y", "z"), in).Mag[0][0], 1.0);

    for (const char *missing : {"q", "m", "ti"}) {
        const RawData d = ParseLog(text, columns(missing, "y", "z"), in);
        EXPECT_EQ(d.status, RawDataStatus::ColumnsNotFound) << missing;
        EXPECT_TRUE(d.reason.endsWith("of the header: 1 Time (s), 2 X (uT), 3 y, 4 Z [uT], 5 mx, 6 xy"))
            << d.reason.toStdString();
    }
    EXPECT_TRUE(ParseLog(text, columns("q", "y", "z"), in).reason.startsWith("\"q\" names no field"));
    const RawData several = ParseLog("x a,x b,y,z\n1,2,3,4\n", columns("x", "y", "z"), in);
    EXPECT_TRUE(several.reason.startsWith("\"x\" names several fields")) << several.reason.toStdString();
    const RawData headless = ParseLog("1,2,3\n4,5,6\n", columns("x", "y", "z"), in);
    EXPECT_EQ(headless.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(headless.reason, "the file has no header line to take names from; give column numbers");
}

TEST(LogReader, ColumnsInAnyOrderTuplesAndCommentsMeanTheSamePoints)
{
    LogInput in;
    const QByteArray zyx =
        log("# exported by a phone\n% units: uT\nmz;my;mx\n", points, [](const double *h, int) {
            return number(h[2]) + ";" + number(h[1]) + ";" + number(h[0]) + "\n";
        });
    expectSamePoints(ParseLog(zyx, columns("mx", "my", "mz"), in), points);
    EXPECT_EQ(in.commentLines, 2);
    EXPECT_EQ(in.columns, (std::array<int, 6>{3, 2, 1, 0, 0, 0}));

    const QByteArray tuples = log("", points, [](const double *h, int) {
        return "((0.1, -9.81, 0.2), (" + number(h[0]) + ", " + number(h[1]) + ", " + number(h[2]) + "))\n";
    });
    expectSamePoints(ParseLog(tuples, columns("4", "5", "6"), in), points);
    EXPECT_EQ(in.headerLines, 0);

    const QByteArray quoted = log("", points, [](const double *h, int) {
        return "\"2026-12-07 10:00:00, UTC\",\"" + number(h[0]) + "\",[" + number(h[1]) + "],{" +
               number(h[2]) + "}\n";
    });
    expectSamePoints(ParseLog(quoted, columns("2", "3", "4"), in), points);
}

TEST(LogReader, LineEndsByteOrderMarkAndNumberForms)
{
    const QByteArray lf = log("\xEF\xBB\xBFx,y,z\n", points, [](const double *h, int) {
        return number(h[0]) + "," + number(h[1]) + "," + number(h[2]) + "\n";
    });
    for (const QByteArray &text :
         {lf, QByteArray(lf).replace('\n', '\r'), QByteArray(lf).replace("\n", "\r\n")}) {
        LogInput in;
        expectSamePoints(ParseLog(text, columns("x", "y", "z"), in), points);
        EXPECT_EQ(in.names[0], "x");
    }
    LogInput in;
    const RawData forms = ParseLog("a b c\n2.975864410E1 +1.5 -3e-2\n", columns("1", "2", "3"), in);
    ASSERT_EQ(forms.numLines, 1);
    EXPECT_EQ(forms.Mag[0][0], 29.7586441);
    EXPECT_EQ(forms.Mag[0][1], 1.5);
    EXPECT_EQ(forms.Mag[0][2], -0.03);

    LogFormat comma = columns("1", "2", "3");
    comma.decimalComma = true;
    const RawData decimal = ParseLog("x;y;z\n1,5;-2,25;3\n4;5;6\n", comma, in);
    ASSERT_EQ(decimal.numLines, 2);
    EXPECT_EQ(decimal.Mag[0][0], 1.5);
    EXPECT_EQ(decimal.Mag[0][1], -2.25);
    EXPECT_EQ(in.delimiter, Delimiter::Semicolon);
}

TEST(LogReader, RowsAndBadLines)
{
    const QByteArray text = log("t,x,y,z\n", points, [](const double *h, int k) {
        if (k == 7)
            return QByteArray("7,overflow,,\n");
        if (k == 9)
            return QByteArray("9,1,2\n");
        return QByteArray::number(k) + "," + number(h[0]) + "," + number(h[1]) + "," + number(h[2]) + "\n";
    });
    LogInput in;
    const RawData refused = ParseLog(text, columns("x", "y", "z"), in);
    EXPECT_EQ(refused.status, RawDataStatus::BadFormat);
    EXPECT_EQ(refused.badLineNumber, 9); // the header is line 1
    EXPECT_EQ(refused.badLine, "7,overflow,,");

    LogFormat skip = columns("x", "y", "z");
    skip.skipBadLines = true;
    const RawData skipped = ParseLog(text, skip, in);
    ASSERT_EQ(skipped.status, RawDataStatus::Loaded);
    EXPECT_EQ(skipped.numLines, points.nrows() - 2);
    EXPECT_EQ(in.skippedLines, 2);
    ASSERT_EQ(in.firstSkipped.size(), 2);
    EXPECT_EQ(in.firstSkipped[1].line, 11);
    EXPECT_EQ(in.firstSkipped[1].text, "9,1,2");
    EXPECT_EQ(skipped.Mag[7][0], points[8][0]);

    // Rows 3 to 6 of the data: the first data row is row 1.
    LogFormat middle = columns("x", "y", "z");
    middle.firstRow = 3;
    middle.lastRow = 6;
    const RawData cut = ParseLog(text, middle, in);
    ASSERT_EQ(cut.numLines, 4);
    EXPECT_EQ(cut.Mag[0][0], points[2][0]);
    EXPECT_EQ(cut.Mag[3][0], points[5][0]);
    EXPECT_EQ(in.rows, 4);
    // The bad rows outside the range do not matter.
    middle.firstRow = 40;
    middle.lastRow = 0;
    EXPECT_EQ(ParseLog(text, middle, in).numLines, points.nrows() - 39);
}

TEST(LogReader, HeadersEndAndLimitsHold)
{
    LogInput in;
    QByteArray many;
    for (int k = 0; k <= LogInput::MaxHeaderLines; k++)
        many += "title line " + QByteArray::number(k) + "\n";
    const RawData tooMany = ParseLog(many + "1 2 3\n", columns("1", "2", "3"), in);
    EXPECT_EQ(tooMany.status, RawDataStatus::TooManyHeaderLines);
    EXPECT_EQ(tooMany.badLineNumber, LogInput::MaxHeaderLines + 1);

    const RawData beyond = ParseLog("1,2,3\n4,5,6\n", columns("2", "3", "4"), in);
    EXPECT_EQ(beyond.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(beyond.reason, "line 1 has 3 fields; column 4 is beyond them");

    // Names come from the last header line that holds them; a units line after it is a header too.
    const RawData units = ParseLog("mx,my,mz\nuT,uT,uT\n1,2,3\n", columns("mx", "my", "mz"), in);
    EXPECT_EQ(units.numLines, 1);
    EXPECT_EQ(in.headerLines, 2);
}

TEST(LogReader, AGuessNamesTheFieldsAndTheColumnsOfALog)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("log.csv");
    writeFile(csv, "# a log\nt,ax,ay,az,mx,my,mz\n0,1,2,3,4,5,6\n");
    std::optional<LogGuess> guess = GuessLog(csv);
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->fields, "1 t, 2 ax, 3 ay, 4 az, 5 mx, 6 my, 7 mz");
    EXPECT_EQ(guess->columns, (std::array<int, 3>{5, 6, 7}));
    writeFile(csv, "1603186415.6,12.5,-3.25,40.0\n1603186415.7,12.6,-3.5,40.5\n");
    guess = GuessLog(csv);
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->columns, (std::array<int, 3>{2, 3, 4}));
    writeFile(csv, "1;2;3;4\n5;6;7;8\n");
    guess = GuessLog(csv);
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->fields, "");
    EXPECT_EQ(guess->columns, (std::array<int, 3>{2, 3, 4}));
    writeFile(csv, "1 2 3 4\n");
    EXPECT_FALSE(GuessLog(csv));
    // Text in another column of the rows does not hide the log.
    writeFile(csv, "Attribute,Time stamp,x,y,z\nMagnetometer,203994,7.95,-152.24,-96.60\n");
    guess = GuessLog(csv);
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->fields, "1 Attribute, 2 Time stamp, 3 x, 4 y, 5 z");
    EXPECT_EQ(guess->columns, (std::array<int, 3>{3, 4, 5}));
}

// ASCII digits from 1 to MostColumns number a column; other digits are none,
// anything else is a name. No selector costs more than its text.
TEST(LogReader, ColumnsAreProposedByTheirNamesNeverATimeOrAnIndex)
{
    const auto proposed = [](const char *header, int fields) {
        return ProposedColumns(header[0] ? QString(header).split(',') : QStringList(), fields);
    };
    using Columns = std::array<int, 3>;
    EXPECT_EQ(proposed("Attribute,Time stamp,x,y,z", 5), (Columns{3, 4, 5}));
    EXPECT_EQ(proposed("time,X,Y,Z,temp", 5), (Columns{2, 3, 4}));
    EXPECT_EQ(proposed("time,mx,my,mz,ax,ay,az", 7), (Columns{2, 3, 4}));
    EXPECT_EQ(proposed("t,acc_x,acc_y,acc_z,MAG_X,MAG_Y,MAG_Z,gyro_x,gyro_y,gyro_z", 10), (Columns{5, 6, 7}));
    EXPECT_EQ(proposed("ms,Bz [uT],Bx [uT],By [uT]", 4), (Columns{3, 4, 2}));
    EXPECT_EQ(proposed("stamp,imu.magnetometer.x,imu.magnetometer.y,imu.magnetometer.z,x,y,z", 7),
              (Columns{2, 3, 4}));
    EXPECT_EQ(proposed("index,sensor1 x,sensor1 y,sensor1 z,flag", 5), (Columns{2, 3, 4}));
    // Only another sensor's axes, or none named: the last columns that are no time or count.
    EXPECT_EQ(proposed("a,b,c,d,timestamp", 5), (Columns{2, 3, 4}));
    EXPECT_EQ(proposed("ax,ay,az,Time (s)", 4), (Columns{1, 2, 3}));
    EXPECT_EQ(proposed("", 4), (Columns{2, 3, 4}));
    EXPECT_EQ(proposed("x,y", 3), (Columns{1, 2, 3}));
}

TEST(LogReader, LineNumbersCountCrCrLfAsOneLineEndAsAnEditorDoes)
{
    struct Case {
        const char *name;
        QByteArray text;
        qint64 badLine;
    };
    const Case cases[] = {
        {"CR CR LF", "x,y,z\r\r\n1,2,3\r\r\n4,5,bad\r\r\n", 3},
        {"CR LF", "x,y,z\r\n1,2,3\r\n4,5,bad\r\n", 3},
        {"lone CRs before CR CR LF", "x,y,z\r1,2,3\r\r\r\n4,5,bad\n", 4},
        {"CR CR and no line feed", "x,y,z\r\r1,2,3\r4,5,bad", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LogInput in;
        const RawData refused = ParseLog(c.text, columns("x", "y", "z"), in);
        EXPECT_EQ(refused.status, RawDataStatus::BadFormat);
        EXPECT_EQ(refused.badLineNumber, c.badLine);
        EXPECT_EQ(refused.badLine, "4,5,bad");
        const RawData read = ParseLog(QByteArray(c.text).replace("bad", "6"), columns("x", "y", "z"), in);
        ASSERT_EQ(read.numLines, 2);
        EXPECT_EQ(read.Mag[1][2], 6.0);
    }
}

TEST(LogReader, OneRuleTellsNumbersFromNames)
{
    EXPECT_EQ(ColumnNumber("1"), 1);
    EXPECT_EQ(ColumnNumber("0042"), 42);
    EXPECT_EQ(ColumnNumber(QString::number(MostColumns)), MostColumns);
    for (const QString &none : {QString("0"), QString::number(MostColumns + 1), QString("99999999999"),
                                QString("4294967298"), QString("2147483647")})
        EXPECT_EQ(ColumnNumber(none), -1) << none.toStdString();
    for (const QString &name :
         {QString("mx"), QString::fromUtf8("\xef\xbc\x94"), QString::fromUtf8("\xd9\xa4"), QString("-1"),
          QString("+2"), QString("2 "), QString()})
        EXPECT_EQ(ColumnNumber(name), 0) << name.toStdString();

    // A full-width digit names a field, as the header of this log has it.
    LogInput in;
    const QByteArray wide = "t,\xef\xbc\x94,y,z\n" + QByteArray("0,1,2,3\n").repeated(12);
    const RawData named = ParseLog(wide, columns(QString::fromUtf8("\xef\xbc\x94"), "y", "z"), in);
    EXPECT_EQ(named.numLines, 12);
    EXPECT_EQ(in.columns, (std::array<int, 6>{2, 3, 4, 0, 0, 0}));
    for (const QString &beyond : {QString("99999999999"), QString("0")}) {
        const RawData none = ParseLog(wide, columns("2", "3", beyond), in);
        EXPECT_EQ(none.status, RawDataStatus::ColumnsNotFound);
        EXPECT_EQ(none.reason, "columns are numbered from 1 to 1000, and \"" + beyond + "\" is none of them");
    }
}

// Two axes from one column would make them equal: refused on every
// delimiter, by number or once the names are resolved.
TEST(LogReader, ARepeatedColumnIsRefused)
{
    LogInput in;
    for (const QByteArray &text : {QByteArray("1 2 3 4\n").repeated(12), QByteArray("1,2,3,4\n").repeated(12),
                                   "t;mx;my;mz\n" + QByteArray("1;2;3;4\n").repeated(12)}) {
        const RawData twice = ParseLog(text, columns("2", "2", "4"), in);
        EXPECT_EQ(twice.status, RawDataStatus::ColumnsNotFound) << text.left(10).toStdString();
        EXPECT_EQ(twice.reason, "x and y are both column 2");
    }
    const RawData named =
        ParseLog("t,mx,my,mz\n" + QByteArray("1,2,3,4\n").repeated(12), columns("mx", "2", "mz"), in);
    EXPECT_EQ(named.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(named.reason, "x and y are both column 2");
}

// Each log that was once refused for a wrong reason: the right reason, or the file read.
TEST(LogReader, ARefusedLogSaysWhatIsWrong)
{
    LogInput in;
    // Text in another column of every row: the names not in the header are said.
    const QByteArray tagged =
        "Attribute,Time stamp,x,y,z\n" + QByteArray("Magnetometer,203994,7.95,-152.24,-96.60\n").repeated(12);
    const RawData other = ParseLog(tagged, columns("mx", "my", "mz"), in);
    EXPECT_EQ(other.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(other.reason, "\"mx\" names no field, \"my\" names no field, \"mz\" names no field of the "
                            "header: 1 Attribute, 2 Time stamp, 3 x, 4 y, 5 z");
    EXPECT_EQ(ParseLog(tagged, columns("x", "y", "z"), in).numLines, 12);

    // Decimal commas without saying so.
    const RawData commas = ParseLog("t;mx;my;mz\n" + QByteArray("1;48,4698;27,7918;22,2600\n").repeated(12),
                                    columns("2", "3", "4"), in);
    EXPECT_EQ(commas.status, RawDataStatus::BadFormat);
    EXPECT_EQ(commas.badLineNumber, 2);
    EXPECT_EQ(in.remedy, LogInput::Remedy::DecimalComma);

    // A preamble with commas of its own before the header.
    const QByteArray preamble = "Device: ACME, model 7, serial 42\nOffsets,0,0,0\nRate: 10 Hz\n"
                                "Operator: A. Smith\nt,mx,my,mz\n" +
                                QByteArray("0,1.5,2,3\n").repeated(12);
    const RawData preambled = ParseLog(preamble, columns("mx", "my", "mz"), in);
    EXPECT_EQ(preambled.numLines, 12);
    EXPECT_EQ(in.delimiter, Delimiter::Comma);
    EXPECT_EQ(in.headerLines, 5);
    EXPECT_EQ(preambled.Mag[0][0], 1.5);

    // A magnetometer that starts late: its empty rows are bad rows, not header lines.
    const QByteArray late = "t,ax,ay,az,mx,my,mz\n" + QByteArray("0,1,2,3,,,\n").repeated(3) +
                            QByteArray("0,1,2,3,4,5,6\n").repeated(12);
    LogFormat skipping = columns("5", "6", "7");
    const RawData refused = ParseLog(late, skipping, in);
    EXPECT_EQ(refused.status, RawDataStatus::BadFormat);
    EXPECT_EQ(refused.badLineNumber, 2);
    EXPECT_EQ(in.remedy, LogInput::Remedy::SkipBadLines);
    skipping.skipBadLines = true;
    const RawData skipped = ParseLog(late, skipping, in);
    EXPECT_EQ(skipped.numLines, 12);
    EXPECT_EQ(in.headerLines, 1);
    EXPECT_EQ(in.skippedLines, 3);
    EXPECT_EQ(in.rows, 12);
    // They are rows 1 to 3, so the rows from the fourth on are all the good ones.
    skipping.firstRow = 4;
    EXPECT_EQ(ParseLog(late, skipping, in).numLines, 12);
    EXPECT_EQ(in.skippedLines, 0);

    // A column beyond the fields of the first row.
    const RawData beyond =
        ParseLog("t,mx,my\n" + QByteArray("0,1,2\n").repeated(12), columns("2", "3", "5"), in);
    EXPECT_EQ(beyond.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(beyond.reason, "line 2 has 3 fields; column 5 is beyond them");

    // Names on the line after the most header lines.
    QByteArray titled;
    for (int k = 0; k < LogInput::MaxHeaderLines; k++)
        titled += "title line " + QByteArray::number(k) + "\n";
    LogFormat commaDelimited = columns("mx", "my", "mz");
    commaDelimited.delimiter = Delimiter::Comma;
    const RawData names =
        ParseLog(titled + "mx,my,mz\n" + QByteArray("1,2,3\n").repeated(12), commaDelimited, in);
    EXPECT_EQ(names.status, RawDataStatus::TooManyHeaderLines);
    EXPECT_EQ(names.badLineNumber, LogInput::MaxHeaderLines + 1);

    // The header a data-frame library writes over its index column.
    const RawData indexed =
        ParseLog(",0,1,2\n" + QByteArray("0,48.47,27.79,22.26\n").repeated(12), columns("2", "3", "4"), in);
    EXPECT_EQ(indexed.numLines, 12);
    EXPECT_EQ(in.headerLines, 1);
    EXPECT_EQ(indexed.Mag[0][0], 48.47);

    // A quote inside a field splits every row alike.
    const RawData quoted = ParseLog("id,extra,mx,my,mz\n" + QByteArray("probe\"1,2\",4,5,6\n").repeated(12),
                                    columns("3", "4", "5"), in);
    EXPECT_EQ(quoted.numLines, 12);
    for (int k = 0; k < quoted.numLines; k++)
        EXPECT_EQ(quoted.Mag[k][0], 4.0) << k;
}

TEST(LogReader, ShownFieldsAndNamesAreEscaped)
{
    LogInput in;
    const RawData d = ParseLog("t,m\x1bx,m\x01y\n1,2,3\n", columns(QString("q\x1b[2J"), "2", "3"), in);
    EXPECT_EQ(d.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(d.reason, "\"q\\x1b[2J\" names no field of the header: 1 t, 2 m\\x1bx, 3 m\\x01y");
}

// Plain rows are read on a quick path that skips unread fields in runs of
// sixteen bytes; rows it must leave to the full reading sit among them.
TEST(LogReader, RowsBesidePlainRowsAreReadInFull)
{
    const QString longField(40, QChar('a'));
    const QByteArray text = log("time,note,mx,my,mz,rest\n", points, [&](const double *h, int k) {
        QByteArray note = longField.toUtf8();
        if (k % 5 == 1)
            note = "\"left, right, and more text beyond sixteen bytes\""; // holds the separator
        else if (k % 5 == 2)
            note = "  blank before";
        QByteArray row = QByteArray::number(k) + "," + note + "," + number(h[0]) + "," +
                         QByteArray::number(h[1], 'f', 4) + "," + QByteArray::number(h[2], 'f', 3) +
                         ",tail,\"x,y\"";
        const char *ends[] = {"\n", "\r", "\r\n", "\n# a comment, with, commas\n"};
        return row + ends[k % 4];
    });
    MatDoub expected = points;
    for (Int k = 0; k < points.nrows(); k++) {
        expected[k][1] = QByteArray::number(points[k][1], 'f', 4).toDouble();
        expected[k][2] = QByteArray::number(points[k][2], 'f', 3).toDouble();
    }
    LogInput in;
    expectSamePoints(ParseLog(text, columns("mx", "my", "mz"), in), expected);
    EXPECT_EQ(in.commentLines, points.nrows() / 4);
    EXPECT_EQ(in.rows, points.nrows());
}

TEST(LogReader, AccelerometerColumnsAreReadBesideTheMagnetometer)
{
    const QByteArray head = "t,mx,my,mz,ax,ay,az,gx,gy,gz\n";
    const QByteArray text = log(head, points, [](const double *h, int k) {
        return QByteArray::number(k) + "," + number(h[0]) + "," + number(h[1]) + "," + number(h[2]) + "," +
               number(0.1 * k) + "," + number(-0.2 * k) + "," + number(9.81) + ",0,0,0\n";
    });
    const auto expectAccel = [](const RawData &d) {
        ASSERT_EQ(d.Accel.nrows(), points.nrows());
        for (Int k = 0; k < points.nrows(); k++) {
            EXPECT_EQ(d.Accel[k][0], 0.1 * k);
            EXPECT_EQ(d.Accel[k][1], -0.2 * k);
            EXPECT_EQ(d.Accel[k][2], 9.81);
        }
    };
    LogFormat byName = columns("mx", "my", "mz");
    byName.accelColumns = {"ax", "ay", "az"};
    LogInput in;
    const RawData named = ParseLog(text, byName, in);
    expectSamePoints(named, points);
    expectAccel(named);
    EXPECT_EQ(in.columns, (std::array<int, 6>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(in.names[4], "ay");
    LogFormat byNumber = columns("2", "3", "4");
    byNumber.accelColumns = {"5", "6", "7"};
    expectAccel(ParseLog(text, byNumber, in));
    // The magnetometer alone reads no accelerometer.
    EXPECT_EQ(ParseLog(text, columns("2", "3", "4"), in).Accel.nrows(), 0);

    LogFormat twice = columns("mx", "my", "mz");
    twice.accelColumns = {"ax", "3", "az"};
    const RawData repeated = ParseLog(text, twice, in);
    EXPECT_EQ(repeated.status, RawDataStatus::ColumnsNotFound);
    EXPECT_EQ(repeated.reason, "y and the accelerometer's y are both column 3");
    LogFormat missing = columns("mx", "my", "mz");
    missing.accelColumns = {"ax", "aq", "az"};
    EXPECT_TRUE(
        ParseLog(text, missing, in).reason.startsWith("\"aq\" names no field of the header: 1 t, 2 mx"));

    // A row whose accelerometer is no number is a bad row: skipped, it
    // leaves no point, so every reading stays beside its own.
    const QByteArray spoilt =
        head + "0,1,2,3,0.5,0.6,9.8,0,0,0\n1,4,5,6,x,0.6,9.8,0,0,0\n2,7,8,9,0.7,0.8,9.7,0,0,0\n";
    EXPECT_EQ(ParseLog(spoilt, byName, in).status, RawDataStatus::BadFormat);
    byName.skipBadLines = true;
    const RawData skipped = ParseLog(spoilt, byName, in);
    ASSERT_EQ(skipped.numLines, 2);
    ASSERT_EQ(skipped.Accel.nrows(), 2);
    EXPECT_EQ(skipped.Mag[1][0], 7.0);
    EXPECT_EQ(skipped.Accel[1][0], 0.7);
    EXPECT_EQ(in.skippedLines, 1);
    // A header and no rows: no points, and no readings beside them.
    const RawData none = ParseLog(head, byName, in);
    EXPECT_EQ(none.numLines, 0);
    EXPECT_EQ(none.Accel.nrows(), 0);
}
