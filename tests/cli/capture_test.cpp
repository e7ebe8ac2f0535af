// tavrin-cli --port against the sensor simulator and standard input.
#include "clitest.h"
#include "pseudoterminal.h"

#include <QRegularExpression>

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
    EXPECT_EQ(recordedLines("rec.txt"), 300);
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
    EXPECT_GT(recordedLines("rec.txt"), 100);
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
    EXPECT_EQ(recordedLines("rec.txt"), 800);
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

TEST_F(CaptureCliTest, CtrlCEndsTheCaptureAndTheRecordingIsCalibrated)
{
    const QString port = board({"--rate", "500"});
    ASSERT_FALSE(port.isEmpty());
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.setReadChannel(QProcess::StandardError);
    p.start(TAVRIN_CLI, {"--hm", "48", "--port", port, "--record", "rec.txt"});
    QByteArray err;
    while (!err.contains("capture: ") && p.waitForReadyRead(5000))
        err += p.readAllStandardError();
    ASSERT_TRUE(err.startsWith("tavrin-cli: recording to rec.txt\n")) << err.constData();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << err.constData();
    const qsizetype points = recordedLines("rec.txt");
    EXPECT_GT(points, 0);
    EXPECT_TRUE(err.contains(
        QStringLiteral("tavrin-cli: %1 readings recorded to rec.txt, interrupted\n").arg(points).toUtf8()))
        << err.constData();
    EXPECT_TRUE(p.readAllStandardOutput().contains(QStringLiteral("Points%1").arg(points, 20).toUtf8()));
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
