// tavrin-cli on sensor logs: the same results as on the strict file of the
// same numbers, standard input, what the report says of the log, the lines
// skipped, every refusal, and the hint for a log read without --columns.
#include "clitest.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class LogTest : public CliTest {
protected:
    void SetUp() override
    {
        const MatDoub p = ellipsoidPoints(sampleTruth, 48.0, 600, 0.25, 12);
        QByteArray strict, csv = "time,\"ax (m/s2)\",ay,az,\"mx (uT)\",\"my (uT)\",\"mz (uT)\"\r\n";
        for (Int k = 0; k < p.nrows(); k++) {
            QByteArray x = QByteArray::number(p[k][0], 'g', 17), y = QByteArray::number(p[k][1], 'g', 17),
                       z = QByteArray::number(p[k][2], 'g', 17);
            strict += x + ' ' + y + ' ' + z + '\n';
            csv += QByteArray::number(k * 0.02, 'f', 2) + ",0.1,9.8,0.3," + x + ',' + y + ',' + z + "\r\n";
        }
        file("strict.txt", strict);
        file("log.csv", csv);
        rawStrict = strict;
        rawCsv = csv;
    }

    QJsonObject json(const QStringList &arguments, const QByteArray &input = {})
    {
        const Outcome o = input.isNull() ? cli(arguments) : cliWithInput(arguments, input);
        EXPECT_EQ(o.status, 0) << o.err.toStdString();
        return QJsonDocument::fromJson(o.out)["files"][0].toObject();
    }

    Outcome cliWithInput(const QStringList &arguments, const QByteArray &input)
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(TAVRIN_CLI, arguments);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(-1);
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

    QByteArray rawStrict, rawCsv;
};

void expectSameCalibration(const QJsonObject &a, const QJsonObject &b)
{
    EXPECT_EQ(a["bias"], b["bias"]);
    EXPECT_EQ(a["A"], b["A"]);
    EXPECT_EQ(a["points"], b["points"]);
}

} // namespace

TEST_F(LogTest, NamesNumbersAndStandardInputGiveTheStrictResults)
{
    const QJsonObject strict = json({"--hm", "48", "--json", "strict.txt"});
    expectSameCalibration(json({"--hm", "48", "--json", "--columns", "5,6,7", "log.csv"}), strict);
    expectSameCalibration(json({"--hm", "48", "--json", "--columns", "mx,my,mz", "log.csv"}), strict);
    expectSameCalibration(json({"--hm", "48", "--json", "--columns", "mx,my,mz", "-"}, rawCsv), strict);
    const QJsonObject piped = json({"--hm", "48", "--json", "-"}, rawStrict);
    expectSameCalibration(piped, strict);
    EXPECT_EQ(piped["path"].toString(), "<stdin>");
}

TEST_F(LogTest, ReportsSayHowTheLogWasRead)
{
    const QJsonObject r = json({"--hm", "48", "--json", "--columns", "mx,my,mz", "log.csv"});
    const QJsonObject input = r["input"].toObject();
    EXPECT_EQ(input["delimiter"].toString(), "comma");
    EXPECT_EQ(input["headerLines"].toInt(), 1);
    EXPECT_EQ(input["commentLines"].toInt(), 0);
    EXPECT_EQ(input["skippedLines"].toInt(), 0);
    EXPECT_EQ(input["rows"].toInt(), 600);
    EXPECT_EQ(input["columns"].toArray()[0].toObject(), (QJsonObject{{"number", 5}, {"name", "mx (uT)"}}));
    EXPECT_FALSE(json({"--hm", "48", "--json", "strict.txt"}).contains("input"));

    const Outcome text = cli({"--hm", "48", "--columns", "mx,my,mz", "log.csv"});
    EXPECT_TRUE(text.out.startsWith(
        "log.csv\n  Input           log, comma-delimited, columns 5 (mx (uT)), 6 (my (uT)), "
        "7 (mz (uT)); 1 header line, 0 comment lines, 0 skipped lines, 600 rows\n"
        "  Bias b    "))
        << text.out.toStdString();
    const Outcome piped = cliWithInput({"--hm", "48", "-"}, rawStrict);
    EXPECT_TRUE(piped.out.startsWith("<stdin>\n  Bias b")) << piped.out.toStdString();
}

TEST_F(LogTest, RowsAndSkippedLinesReachEveryOutput)
{
    QList<QByteArray> lines = rawCsv.split('\n');
    for (const int k : {3, 5, 7, 9, 11, 13, 15})
        lines[k] = "0.00,1,2,3,nan,1,2\r";
    file("spoiled.csv", lines.join('\n'));
    const Outcome o = cli({"--hm", "48", "--columns", "5,6,7", "--skip-bad-lines", "--rows", "2:", "--apply",
                           "cal.txt", "-o", "p.txt", "--json", "spoiled.csv"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "spoiled.csv:4: skipped (line: \"0.00,1,2,3,nan,1,2\")\n"
                     "spoiled.csv:6: skipped (line: \"0.00,1,2,3,nan,1,2\")\n"
                     "spoiled.csv:8: skipped (line: \"0.00,1,2,3,nan,1,2\")\n"
                     "spoiled.csv:10: skipped (line: \"0.00,1,2,3,nan,1,2\")\n"
                     "spoiled.csv:12: skipped (line: \"0.00,1,2,3,nan,1,2\")\n"
                     "spoiled.csv: 7 bad lines skipped in all\n");
    const QJsonObject r = QJsonDocument::fromJson(o.out)["files"][0].toObject();
    EXPECT_EQ(r["input"]["skippedLines"].toInt(), 7);
    EXPECT_EQ(r["input"]["rows"].toInt(), 600 - 1 - 7);
    EXPECT_EQ(readAll(dir.filePath("cal.txt")).count('\n'), 600 - 1 - 7);
    EXPECT_TRUE(readAll(dir.filePath("p.txt")).startsWith("These calibration parameters"));

    const Outcome header = cli({"--hm", "48", "--columns", "mx,my,mz", "--export", "c", "log.csv"});
    EXPECT_EQ(header.status, 0);
    EXPECT_TRUE(header.out.contains("static const float log_bias[3]"));
    const Outcome two = cli({"--hm", "48", "--columns", "mx,my,mz", "--uncertainty=5", "--plot", "figures",
                             "log.csv", "log.csv"});
    EXPECT_EQ(two.status, 64); // one output folder, two inputs of one name
    EXPECT_EQ(
        cli({"--hm", "48", "--columns", "mx,my,mz", "--uncertainty=5", "--plot", "figures.png", "log.csv"})
            .status,
        0);
    EXPECT_TRUE(QFile::exists(dir.filePath("figures.png")));
}

TEST_F(LogTest, EveryRefusalSaysWhatIsWrong)
{
    const QString help = "\nTry 'tavrin-cli --help'.\n";
    const struct {
        QStringList arguments;
        int status;
        QString err;
    } cases[] = {
        {{"--hm", "48", "--delimiter", "comma", "log.csv"},
         64,
         "tavrin-cli: --delimiter goes with --columns." + help},
        {{"--hm", "48", "--rows", "1:2", "log.csv"}, 64, "tavrin-cli: --rows goes with --columns." + help},
        {{"--hm", "48", "--columns", "1,2", "log.csv"},
         64,
         "tavrin-cli: --columns takes three columns X,Y,Z, numbers from 1 or header names, not \"1,2\"." +
             help},
        {{"--hm", "48", "--columns", "0,1,2", "log.csv"},
         64,
         "tavrin-cli: --columns takes three columns X,Y,Z, numbers from 1 or header names, not \"0,1,2\"." +
             help},
        {{"--hm", "48", "--columns", "1,2,3", "--delimiter", "pipe", "log.csv"},
         64,
         "tavrin-cli: --delimiter takes comma, semicolon, tab or space, not \"pipe\"." + help},
        {{"--hm", "48", "--columns", "1,2,3", "--delimiter", "comma", "--decimal-comma", "log.csv"},
         64,
         "tavrin-cli: With --decimal-comma the comma is part of the numbers and cannot delimit fields." +
             help},
        {{"--hm", "48", "--columns", "1,2,3", "--rows", "5:2", "log.csv"},
         64,
         "tavrin-cli: --rows takes FIRST:LAST, rows counted from 1 with FIRST <= LAST, not \"5:2\"." + help},
        {{"--hm", "48", "--columns", "1,2,3", "--rows", "0:", "log.csv"},
         64,
         "tavrin-cli: --rows takes FIRST:LAST, rows counted from 1 with FIRST <= LAST, not \"0:\"." + help},
        {{"--hm", "48", "-", "-"}, 64, "tavrin-cli: Standard input, -, can be read once." + help},
        {{"--hm", "48", "--columns", "mx,my,q", "log.csv"},
         64,
         "log.csv: The columns named with --columns are not in the header. (\"q\" names no field of the "
         "header: 1 "
         "time, 2 ax (m/s2), 3 ay, 4 az, 5 mx (uT), 6 my (uT), 7 mz (uT))\n"},
        {{"--hm", "48", "--columns", "5,6,7", "--rows", "595:", "log.csv"},
         1,
         "log.csv: At least 10 measurements are needed for a calibration.\n"},
    };
    for (const auto &c : cases) {
        const Outcome o = cli(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(o.err.toStdString(), c.err.toStdString());
    }
}

TEST_F(LogTest, StrictRefusalOfALogSaysHowToReadIt)
{
    const Outcome o = cli({"--hm", "48", "log.csv"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(
        o.err,
        "log.csv:1: Please, check the format of the raw data file. (line: \"time,\\\"ax (m/s2)\\\",ay,az,"
        "\\\"mx (uT)\\\",\\\"my (uT)\\\",\\\"mz (uT)\\\"\")\n"
        "log.csv: It looks like a log with the fields 1 time, 2 ax (m/s2), 3 ay, 4 az, 5 mx (uT), 6 my "
        "(uT), 7 mz (uT); read it with --columns, for example --columns 5,6,7.\n");
    file("bad.txt", "1 2 3\n4 5 6 7\n");
    EXPECT_EQ(cli({"--hm", "48", "bad.txt"}).err,
              "bad.txt:2: Please, check the format of the raw data file. (line: \"4 5 6 7\")\n");
}

// Column texts that once crashed or took gigabytes: numbers beyond the limit,
// other digits and repeated columns are wrong command lines, on any delimiter.
TEST_F(LogTest, ColumnsFollowOneRule)
{
    file("blank.txt", rawStrict);
    const QString help = "\nTry 'tavrin-cli --help'.\n";
    for (const QString columns :
         {"1,2,99999999999", "2,3,4294967298", "2,3,2147483647", "mag_x,mag_y,99999999999"}) {
        const Outcome o = cli({"--hm", "48", "--columns", columns, "log.csv"});
        EXPECT_EQ(o.status, 64) << columns.toStdString();
        EXPECT_EQ(o.err,
                  "tavrin-cli: --columns takes three columns X,Y,Z, numbers from 1 or header names, not \"" +
                      columns.toUtf8() + "\"." + help.toUtf8());
    }
    for (const QString &digit : {QString::fromUtf8("\xef\xbc\x94"), QString::fromUtf8("\xd9\xa4")}) {
        const Outcome o = cli({"--hm", "48", "--columns", "2,3," + digit, "blank.txt"});
        EXPECT_EQ(o.status, 64);
        EXPECT_EQ(o.err,
                  "blank.txt: The columns named with --columns are not in the header. (the file has no "
                  "header line to take names from; give column numbers)\n");
    }
    for (const QString input : {"blank.txt", "log.csv"}) {
        const Outcome o = cli({"--hm", "48", "--columns", "2,2,3", input});
        EXPECT_EQ(o.status, 64) << input.toStdString();
        EXPECT_EQ(o.err,
                  "tavrin-cli: --columns takes three different columns, not \"2,2,3\"." + help.toUtf8());
    }
    // A name is taken exactly before it is taken as a prefix.
    QByteArray withRaw = "t,x,y,z,x (raw)\n";
    for (const QByteArray &line : rawStrict.split('\n'))
        if (!line.isEmpty())
            withRaw += "0," + line.split(' ').join(',') + ",999\n";
    file("raw.csv", withRaw);
    const QJsonObject r = json({"--hm", "48", "--columns", "x,y,z", "--json", "raw.csv"});
    for (int c = 0; c < 3; c++)
        EXPECT_EQ(r["input"]["columns"][c]["number"].toInt(), c + 2);
    EXPECT_EQ(r["bias"], json({"--hm", "48", "--columns", "2,3,4", "--json", "raw.csv"})["bias"]);
}

// A log refused for what it is: each says so and how to read it.
TEST_F(LogTest, ARefusedLogNamesTheCauseAndTheRemedy)
{
    file("tagged.csv", "Attribute,Time stamp,x,y,z\n" +
                           QByteArray("Magnetometer,203994,7.95,-152.24,-96.60\n").repeated(12));
    const Outcome tagged = cli({"--hm", "48", "tagged.csv"});
    EXPECT_TRUE(
        tagged.err.endsWith("tagged.csv: It looks like a log with the fields 1 Attribute, 2 Time stamp, "
                            "3 x, 4 y, 5 z; read it with --columns, for example --columns 3,4,5.\n"))
        << tagged.err.toStdString();

    file("commas.csv", "t;mx;my;mz\n" + QByteArray("1;48,4698;27,7918;22,2600\n").repeated(12));
    const Outcome commas = cli({"--hm", "48", "--columns", "2,3,4", "commas.csv"});
    EXPECT_EQ(commas.status, 1);
    EXPECT_EQ(commas.err,
              "commas.csv:2: Please, check the format of the raw data file. (its numbers are written "
              "with decimal commas) (line: \"1;48,4698;27,7918;22,2600\")\n"
              "commas.csv: Its numbers are written with decimal commas; read them with "
              "--decimal-comma.\n");

    QList<QByteArray> lines = rawCsv.split('\n');
    lines.insert(1, "0.00,0.1,9.8,0.3,,,\r");
    file("late.csv", lines.join('\n'));
    const Outcome late = cli({"--hm", "48", "--columns", "mx,my,mz", "late.csv"});
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.err,
              "late.csv:2: Please, check the format of the raw data file. (line: \"0.00,0.1,9.8,0.3,,,\")\n"
              "late.csv: Rows whose selected fields are empty or no numbers can be skipped and counted "
              "with --skip-bad-lines.\n");

    // Control characters of the header reach the terminal escaped.
    file("forged.csv", QByteArray("t,m\0x,\x1b[2Jmy\n", 13) + QByteArray("1,2,3\n").repeated(12));
    const Outcome forged = cli({"--hm", "48", "--columns", "q\x1b[2J,2,3", "forged.csv"});
    EXPECT_EQ(forged.status, 64);
    EXPECT_EQ(forged.err,
              "forged.csv: The columns named with --columns are not in the header. (\"q\\x1b[2J\" "
              "names no field of the header: 1 t, 2 m\\x00x, 3 \\x1b[2Jmy)\n");
}
