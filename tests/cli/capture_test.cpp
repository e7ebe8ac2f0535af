// tavrin-cli --port against the sensor simulator and standard input.
#include "clitest.h"
#include "pseudoterminal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cerrno>
#include <cmath>
#include <csignal>

#include <sys/resource.h>

namespace {

class CaptureCliTest : public CliTest {
protected:
    ~CaptureCliTest() override
    {
        if (simulator.state() != QProcess::NotRunning) {
            simulator.kill();
            simulator.waitForFinished();
        }
    }

    // Starts the simulator; the path of its terminal.
    QString board(const QStringList &arguments)
    {
        simulator.start(TAVRIN_SIMULATOR, arguments);
        if (!simulator.waitForReadyRead(5000))
            return {};
        return QString::fromLocal8Bit(simulator.readLine().trimmed());
    }

    // Runs the tool with standard input read from a file.
    Outcome cliWithInput(const QStringList &arguments, const QString &input)
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setStandardInputFile(input);
        p.start(TAVRIN_CLI, arguments);
        p.waitForFinished(-1);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    qsizetype recordedLines(const QString &name) { return readAll(dir.filePath(name)).count('\n'); }

    // The readings of a recording: its lines, but the header of one with the
    // accelerometer and gyroscope.
    qsizetype recordedReadings(const QString &name)
    {
        const QByteArray bytes = readAll(dir.filePath(name));
        return bytes.count('\n') - (bytes.startsWith(InertialHeader) ? 1 : 0);
    }

    static constexpr char InertialHeader[] = "mx,my,mz,ax,ay,az,gx,gy,gz\n";

    QProcess simulator;
};

} // namespace

TEST_F(CaptureCliTest, StandardInputIsCapturedToItsEndAndCalibratedAsTheFileWouldBe)
{
    const QString sample = CliTest::sample();
    const Outcome captured = cliWithInput(
        {"--hm", "48", "--port", "-", "--record", "rec.txt", "--format", "xyz", "--json"}, sample);
    ASSERT_EQ(captured.status, 0) << captured.err.constData();
    const Outcome direct = cli({"--hm", "48", "--json", sample});
    // The same points, the same calibration; only the file's name differs.
    QByteArray expected = direct.out;
    expected.replace(sample.toUtf8(), "rec.txt");
    EXPECT_EQ(captured.out, expected);
    const qsizetype points = readAll(sample).count('\n');
    EXPECT_EQ(recordedLines("rec.txt"), points);
    EXPECT_TRUE(captured.err.startsWith("tavrin-cli: recording to rec.txt\n")) << captured.err.constData();
    EXPECT_TRUE(captured.err.endsWith(
        QStringLiteral("tavrin-cli: %1 readings recorded to rec.txt\n").arg(points).toUtf8()))
        << captured.err.constData();
}

TEST_F(CaptureCliTest, StopsAfterItsPoints)
{
    const QString port = board({"--rate", "1000", "--format", "uni"});
    ASSERT_FALSE(port.isEmpty());
    const Outcome o = cli({"--hm", "48", "--port", port, "--points", "300", "--record", "rec.txt"});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(readAll(dir.filePath("rec.txt")).startsWith(InertialHeader));
    EXPECT_EQ(recordedReadings("rec.txt"), 300);
    EXPECT_TRUE(o.out.contains("Points                 300")) << o.out.constData();
}

TEST_F(CaptureCliTest, StopsAfterItsSeconds)
{
    const QString port = board({"--rate", "200", "--format", "labelled"});
    ASSERT_FALSE(port.isEmpty());
    const Outcome o =
        cli({"--hm", "48", "--port", port, "--seconds", "1.5", "--record", "rec.txt", "-o", "p.txt"});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    // The simulator goes on without end: only the rule stopped the capture.
    EXPECT_EQ(simulator.state(), QProcess::Running);
    EXPECT_GT(recordedReadings("rec.txt"), 100);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("p.txt")));
}

TEST_F(CaptureCliTest, StopsWhenCoveredEnough)
{
    const QString port = board({"--rate", "500", "--speed", "10", "--noise", "0.1"});
    ASSERT_FALSE(port.isEmpty());
    const Outcome o = cli({"--hm", "48", "--port", port, "--until-covered", "--record", "rec.txt"});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(o.err.contains(", covered enough\n")) << o.err.constData();
    // The last progress line says what stopped it.
    const QRegularExpressionMatch m =
        QRegularExpression("coverage (\\d+)/100 cells\\ntavrin-cli: \\d+ readings")
            .match(QString::fromUtf8(o.err));
    ASSERT_TRUE(m.hasMatch()) << o.err.constData();
    EXPECT_GE(m.captured(1).toInt(), 90);
    EXPECT_TRUE(o.out.contains("Verdict         good")) << o.out.constData();
}

TEST_F(CaptureCliTest, AnUnplugEndsTheCaptureAndTheRecordingIsCalibrated)
{
    const QString port = board({"--rate", "1000", "--count", "800", "--format", "raw"});
    ASSERT_FALSE(port.isEmpty());
    const Outcome o = cli({"--hm", "48", "--port", port, "--record", "rec.txt"});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(o.err.contains(port.toUtf8() + ": the port went away")) << o.err.constData();
    EXPECT_TRUE(readAll(dir.filePath("rec.txt")).startsWith(InertialHeader));
    EXPECT_EQ(recordedReadings("rec.txt"), 800);
    EXPECT_TRUE(o.out.contains("Points                 800")) << o.out.constData();
}

TEST_F(CaptureCliTest, AMissingPortOrAnExistingRecordingChangesNothing)
{
    const QString missing = dir.filePath("ttyNone");
    const Outcome o = cli({"--hm", "48", "--port", missing, "--record", "rec.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.startsWith(
        ("tavrin-cli: " + missing + ": no such port. Check that the board is plugged in").toUtf8()))
        << o.err.constData();
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("rec.txt")));

    const QString existing = file("old.txt", "1 2 3\n");
    const Outcome again =
        cliWithInput({"--hm", "48", "--port", "-", "--record", "old.txt"}, CliTest::sample());
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "tavrin-cli: old.txt: the file exists already; name another file with --record.\n");
    EXPECT_EQ(readAll(existing), "1 2 3\n");
}

TEST_F(CaptureCliTest, WrongCaptureOptionsAreRefusedBeforeAnythingIsOpened)
{
    const struct {
        QStringList arguments;
        QByteArray message;
    } cases[] = {
        {{"--port", "-", "--points", "10", "--seconds", "2"},
         "--points, --seconds and --until-covered each end a capture; choose one."},
        {{"--port", "-", "--points", "0"}, "--points takes a whole number from 1 to 500000, not \"0\"."},
        {{"--port", "-", "--seconds", "-1"}, "--seconds takes a duration in seconds above 0, not \"-1\"."},
        {{"--port", "-", "--seconds", "2147484"}, "--seconds takes at most 604800, a week, not \"2147484\"."},
        {{"--port", "-", "--seconds", "1e12"}, "--seconds takes at most 604800, a week, not \"1e12\"."},
        {{"--port", "-", "--baud", "300"}, "--baud takes a whole number from 9600 to 921600, not \"300\"."},
        {{"--port", "-", "--format", "csv"}, "--format takes auto, raw, uni, xyz or labelled, not \"csv\"."},
        {{"--port", "-", "--format", "xyz", "--columns", "1,2,3"},
         "--format and --columns both say how lines are read; choose one."},
        {{"--port", "-", "--units", "T"}, "--units takes nT, uT, mG or G, not \"T\"."},
        {{"--port", "tcp://board"},
         "--port takes a serial port such as /dev/ttyUSB0, - or tcp://HOST:PORT, not \"tcp://board\"."},
        {{"--port", "tcp://board:70000"},
         "--port takes a serial port such as /dev/ttyUSB0, - or tcp://HOST:PORT, not \"tcp://board:70000\"."},
        {{"--port", "-", "data.txt"}, "--port reads the measurements in place of a FILE; give no FILE."},
        {{"--points", "10", "data.txt"}, "--points goes with --port."},
        {{"--record", "r.txt", "data.txt"}, "--record goes with --port."},
        {{"--port", "-", "--record", "r.txt", "--record-lines", "r.txt"},
         "--record and --record-lines name the same file."},
        {{"--port", "-", "--record", "r.txt", "-o", "r.txt"}, ""},
    };
    for (const auto &c : cases) {
        const Outcome o = cli(QStringList{"--hm", "48"} + c.arguments);
        EXPECT_EQ(o.status, 64) << c.arguments.join(' ').toStdString();
        if (!c.message.isEmpty()) {
            EXPECT_EQ(o.err, "tavrin-cli: " + c.message + "\nTry 'tavrin-cli --help'.\n");
        }
        EXPECT_TRUE(o.out.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("r.txt")));
    }
}

TEST_F(CaptureCliTest, OnlyNoiseEndsTheCaptureWithoutARecording)
{
    PseudoTerminal noisy;
    // A wrong baud rate: bytes that make no text, lines or not.
    QByteArray noise;
    for (int k = 0; k < 300; k++)
        noise += char(0x80 + (k * 37) % 128);
    noise += "\n\x9F\xFF\n";
    noisy.write(noise);
    const Outcome o = cli({"--hm", "48", "--port", noisy.path, "--record", "rec.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.err.contains(
        ("tavrin-cli: " + noisy.path + ": no readable lines: check the baud rate.\n").toUtf8()))
        << o.err.constData();
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("rec.txt")));
}

TEST_F(CaptureCliTest, CtrlCAKillOrAHangUpEndsTheCaptureAndTheRecordingIsCalibrated)
{
    const struct {
        int signal;
        const char *why;
    } cases[] = {{SIGINT, "interrupted"}, {SIGTERM, "stopped by SIGTERM"}, {SIGHUP, "stopped by SIGHUP"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        const QString port = board({"--rate", "500"});
        ASSERT_FALSE(port.isEmpty());
        QFile::remove(dir.filePath("rec.txt"));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setReadChannel(QProcess::StandardError);
        p.start(TAVRIN_CLI, {"--hm", "48", "--port", port, "--record", "rec.txt"});
        QByteArray err;
        while (!err.contains("capture: ") && p.waitForReadyRead(5000))
            err += p.readAllStandardError();
        ASSERT_TRUE(err.startsWith("tavrin-cli: recording to rec.txt\n")) << err.constData();
        ::kill(pid_t(p.processId()), c.signal);
        ASSERT_TRUE(p.waitForFinished(5000));
        err += p.readAllStandardError();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << err.constData();
        // Every reading read is in the recording, and calibrated.
        const qsizetype points = recordedReadings("rec.txt");
        EXPECT_GT(points, 0);
        EXPECT_TRUE(err.contains(QStringLiteral("tavrin-cli: %1 readings recorded to rec.txt (CSV, header "
                                                "mx,my,mz,ax,ay,az,gx,gy,gz), %2\n")
                                     .arg(points)
                                     .arg(c.why)
                                     .toUtf8()))
            << err.constData();
        EXPECT_TRUE(p.readAllStandardOutput().contains(QStringLiteral("Points%1").arg(points, 20).toUtf8()));
        simulator.kill();
        simulator.waitForFinished();
    }
}

TEST_F(CaptureCliTest, ARecordingThatCannotBeWrittenIsNotCalibrated)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.setStandardInputFile(CliTest::sample());
    // A full disk: the files the tool writes may not grow beyond 200 bytes.
    p.setChildProcessModifier([] {
        const rlimit small{200, 200};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_IGN);
    });
    p.start(TAVRIN_CLI, {"--hm", "48", "--port", "-", "--record", "rec.txt", "-o", "params.txt"});
    ASSERT_TRUE(p.waitForFinished(10000));
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 1) << err.constData();
    EXPECT_TRUE(err.contains("tavrin-cli: -: the recording cannot be written (rec.txt: ")) << err.constData();
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("params.txt")));
}

TEST_F(CaptureCliTest, AFullDiskKeepsTheWholeReadingsAndNamesTheReason)
{
    // The disk fills up in the middle of a line.
    const Outcome o = cli({"--hm", "48", "--port", "-", "--record", "rec.txt", "--format", "xyz"},
                          {{"LD_PRELOAD=" TAVRIN_FAILING_WRITE, "TAVRIN_FAIL_WRITE=rec.txt",
                            "TAVRIN_FAIL_ERRNO=" + QString::number(ENOSPC), "TAVRIN_FAIL_AFTER=30001",
                            "ASAN_OPTIONS=verify_asan_link_order=0"},
                           {},
                           -1,
                           CliTest::sample()});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.out.isEmpty());
    const QByteArray kept = readAll(dir.filePath("rec.txt"));
    ASSERT_TRUE(kept.endsWith('\n'));
    EXPECT_LE(kept.size(), 30001);
    EXPECT_GT(kept.size(), 30001 - 30);
    const qsizetype readings = kept.count('\n');
    EXPECT_TRUE(o.err.contains("tavrin-cli: -: the recording cannot be written (rec.txt: No space left on "
                               "device); the capture stopped.\n"))
        << o.err.constData();
    EXPECT_TRUE(
        o.err.endsWith(QStringLiteral("tavrin-cli: rec.txt keeps the first %1 readings, not calibrated: "
                                      "the others could not be written.\n")
                           .arg(readings)
                           .toUtf8()))
        << o.err.constData();
    // What it keeps is a recording like any other.
    const Outcome later = cli({"--hm", "48", "rec.txt"});
    EXPECT_EQ(later.status, 0) << later.err.constData();
    EXPECT_TRUE(later.out.contains(QStringLiteral("Points%1").arg(readings, 20).toUtf8()))
        << later.out.constData();
}

TEST_F(CaptureCliTest, ReadingsInTheUnitAreRecordedAsReceivedAndThoseTooLargeAreDropped)
{
    // The sample as a board prints it in uT.
    QByteArray uni;
    for (const QByteArray &line : readAll(CliTest::sample()).split('\n'))
        if (!line.isEmpty())
            uni += "Uni:0.1,0.2,9.8,0,0,0," + line.split('\t').join(',') + "\n";
    const Outcome plain = cli({"--hm", "48", "--port", "-", "--record", "plain.txt", "--format", "xyz"},
                              {{}, {}, -1, sample()});
    ASSERT_EQ(plain.status, 0) << plain.err.constData();
    const Outcome o =
        cli({"--hm", "48", "--port", "-", "--record", "rec.txt"}, {{}, {}, -1, file("uni.txt", uni)});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    // The numbers as the board printed them: the rows hold those of the
    // plain numbers' recording, then the accelerometer and gyroscope.
    QByteArray rows = InertialHeader;
    for (const QByteArray &line : readAll(dir.filePath("plain.txt")).split('\n'))
        if (!line.isEmpty())
            rows += line.split('\t').join(',') + ",0.1,0.2,9.8,0,0,0\n";
    EXPECT_EQ(readAll(dir.filePath("rec.txt")), rows);

    // In nT, two readings that no double holds are left out, and said.
    uni += "Uni:0,0,0,0,0,0,1e307,1,1\nUni:0,0,0,0,0,0,1,-1e307,1\n";
    const Outcome nanotesla = cli({"--hm", "48000", "--units", "nT", "--port", "-", "--record", "nt.txt"},
                                  {{}, {}, -1, file("uni.txt", uni)});
    EXPECT_EQ(nanotesla.status, 0) << nanotesla.err.constData();
    EXPECT_TRUE(nanotesla.err.contains(
        ", 2 ignored (2 too large for the unit), the last \"Uni:0,0,0,0,0,0,1,-1e307,1\"\n"))
        << nanotesla.err.constData();
    EXPECT_EQ(recordedReadings("nt.txt"), recordedLines("plain.txt"));
    EXPECT_FALSE(readAll(dir.filePath("nt.txt")).contains("inf"));
}

TEST_F(CaptureCliTest, ARecordingWithTheAccelerometerIsALogThatCalibratesAsThePlainNumbersDo)
{
    // The sample as a board prints it in Raw: lines, counts of 0.1 uT.
    QByteArray raw, counts;
    int k = 0;
    for (const QByteArray &line : readAll(CliTest::sample()).split('\n')) {
        if (line.isEmpty())
            continue;
        QList<QByteArray> mag;
        for (const QByteArray &v : line.split('\t'))
            mag << QByteArray::number(std::lround(v.toDouble() * 10));
        raw += "Raw:" + QByteArray::number(k) + ",-8192,3," + QByteArray::number(-k) + ",0,7," +
               mag.join(',') + "\n";
        counts += mag.join(' ') + "\n";
        ++k;
    }
    const Outcome o = cli({"--hm", "48", "--port", "-", "--record", "rec.csv", "--json"},
                          {{}, {}, -1, file("raw.txt", raw)});
    ASSERT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(o.err.endsWith(QStringLiteral("tavrin-cli: %1 readings recorded to rec.csv (CSV, header "
                                              "mx,my,mz,ax,ay,az,gx,gy,gz)\n")
                                   .arg(k)
                                   .toUtf8()))
        << o.err.constData();
    const QList<QByteArray> rows = readAll(dir.filePath("rec.csv")).split('\n');
    ASSERT_EQ(rows.size(), k + 2);
    EXPECT_EQ(rows[0], "mx,my,mz,ax,ay,az,gx,gy,gz");
    const QList<QByteArray> first = rows[1].split(',');
    ASSERT_EQ(first.size(), 9);
    EXPECT_EQ(first.mid(3), (QList<QByteArray>{"0", "-8192", "3", "0", "0", "7"}));
    EXPECT_EQ(rows[k].split(',').mid(3, 3), (QList<QByteArray>{QByteArray::number(k - 1), "-8192", "3"}));
    EXPECT_TRUE(rows[k + 1].isEmpty());

    // The capture calibrated it by its columns, the accelerometer's too, and
    // so does a later run: the same magnetometer readings, in uT, as the
    // counts give.
    const Outcome later =
        cli({"--hm", "48", "--json", "--columns", "mx,my,mz", "--accel-columns", "ax,ay,az", "rec.csv"});
    ASSERT_EQ(later.status, 0) << later.err.constData();
    EXPECT_EQ(later.out, o.out);
    const Outcome plain = cli({"--hm", "480", "--json", file("counts.txt", counts)});
    ASSERT_EQ(plain.status, 0) << plain.err.constData();
    const auto fileOf = [](const QByteArray &json) {
        return QJsonDocument::fromJson(json).object()["files"].toArray()[0].toObject();
    };
    const QJsonObject fromLog = fileOf(later.out), fromCounts = fileOf(plain.out);
    ASSERT_FALSE(fromLog.isEmpty());
    EXPECT_EQ(fromLog["points"], fromCounts["points"]);
    const QJsonArray bias = fromLog["bias"].toArray(), countsBias = fromCounts["bias"].toArray();
    ASSERT_EQ(bias.size(), 3);
    for (int axis = 0; axis < 3; axis++)
        EXPECT_NEAR(bias[axis].toDouble() * 10, countsBias[axis].toDouble(), 1e-6);
}

TEST_F(CaptureCliTest, TheSimulatorsMountAndAccelerometerReachTheRecording)
{
    // A board without errors whose magnetometer is mounted a quarter turn
    // about z from its accelerometer: the accelerometer's x lies along the
    // magnetometer's -y, its y along x.
    const QString port = board({"--rate", "1000", "--count", "500", "--speed", "10", "--format", "uni",
                                "--noise", "0", "--matrix", "1,1,1", "--bias", "0,0,0", "--mount", "-y,x,z"});
    ASSERT_FALSE(port.isEmpty());
    const Outcome o = cli({"--hm", "48", "--port", port, "--record", "rec.csv"});
    ASSERT_EQ(o.status, 0) << o.err.constData();
    QList<QByteArray> rows = readAll(dir.filePath("rec.csv")).split('\n');
    ASSERT_EQ(rows.size(), 502);
    EXPECT_EQ(rows.takeFirst(), "mx,my,mz,ax,ay,az,gx,gy,gz");
    rows.removeLast();
    const auto degrees = [](const double a[3], const double b[3]) {
        const double cosine =
            (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) /
            std::sqrt((a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) * (b[0] * b[0] + b[1] * b[1] + b[2] * b[2]));
        return std::acos(cosine) * 180 / M_PI;
    };
    double least = 180, most = 0;
    for (const QByteArray &row : rows) {
        const QList<QByteArray> v = row.split(',');
        ASSERT_EQ(v.size(), 9) << row.constData();
        const double m[3] = {v[0].toDouble(), v[1].toDouble(), v[2].toDouble()};
        const double a[3] = {v[3].toDouble(), v[4].toDouble(), v[5].toDouble()};
        // +1 g up, |a| = 9.81 m/s^2, against a field that dips 60 degrees.
        EXPECT_NEAR(std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]), 9.80665, 0.02) << row.constData();
        const double inAccelerometerAxes[3] = {-m[1], m[0], m[2]};
        EXPECT_NEAR(degrees(a, inAccelerometerAxes), 150.0, 0.2) << row.constData();
        least = std::min(least, degrees(a, m));
        most = std::max(most, degrees(a, m));
    }
    // Taken as logged, the angle wanders as the board turns.
    EXPECT_GT(most - least, 10.0);
}

TEST_F(CaptureCliTest, AnInputWithoutReadingsLeavesNoRecording)
{
    for (const QByteArray &input : {QByteArray(), QByteArray("no reading here\n")}) {
        const Outcome o = cli({"--hm", "48", "--port", "-", "--record", "rec.txt", "--format", "xyz"},
                              {{}, {}, -1, file("input.txt", input)});
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(o.err.endsWith("tavrin-cli: no reading came from -; no recording is kept.\n"))
            << o.err.constData();
        EXPECT_TRUE(o.out.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("rec.txt")));
    }
}

TEST_F(CaptureCliTest, APlainFileIsNoPort)
{
    const QString plain = file("plain.txt", "1 2 3\n");
    const Outcome o = cli({"--hm", "48", "--port", "plain.txt", "--record", "rec.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "tavrin-cli: plain.txt: not a serial device. Name the board's port, such as /dev/ttyUSB0.\n");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("rec.txt")));
    EXPECT_EQ(readAll(plain), "1 2 3\n");
}

TEST_F(CaptureCliTest, ACaptureThatReachesTheMostReadingsSaysSo)
{
    const QByteArray sampleBytes = readAll(CliTest::sample());
    const int copies = 500000 / int(sampleBytes.count('\n')) + 1;
    const QString input = file("many.txt", sampleBytes.repeated(copies));
    const Outcome o =
        cli({"--hm", "48", "--port", "-", "--record", "rec.txt", "--format", "xyz"}, {{}, {}, -1, input});
    EXPECT_EQ(o.status, 0) << o.err.constData();
    EXPECT_TRUE(
        o.err.endsWith("tavrin-cli: 500000 readings recorded to rec.txt, the most a calibration takes\n"))
        << o.err.right(300).constData();
    EXPECT_EQ(recordedLines("rec.txt"), 500000);
}
