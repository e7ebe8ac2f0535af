#include "capturesession.h"

#include "pseudoterminal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <thread>

using namespace tavrin;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// The strict lines "k k+0.5 -k" of the readings first to last - 1, as the recorder writes them.
QByteArray recorded(int first, int last)
{
    QByteArray text;
    for (int k = first; k < last; k++)
        text +=
            QByteArray::number(k) + '\t' + QByteArray::number(k + 0.5) + '\t' + QByteArray::number(-k) + '\n';
    return text;
}

QByteArray xyzLine(int k)
{
    return QByteArray::number(k) + ", " + QByteArray::number(k + 0.5) + ", " + QByteArray::number(-k) +
           "\r\n";
}

// A "Raw:" line whose magnetometer reads k, 0.5 and -k uT, and whose
// accelerometer and gyroscope tell the lines apart.
QByteArray rawLine(int k)
{
    return "Raw:" + QByteArray::number(k) + ',' + QByteArray::number(-k) + ",8192,1,2,-3," +
           QByteArray::number(10 * k) + ",5," + QByteArray::number(-10 * k) + "\r\n";
}

// Its row in the recording, k > 0: the magnetometer in uT, the others as printed.
QByteArray rawRow(int k)
{
    const QByteArray n = QByteArray::number(k);
    return n + ",0.5,-" + n + ',' + n + ",-" + n + ",8192,1,2,-3\n";
}

class CaptureSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "capture_tests";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    CaptureSettings settings(const QString &source)
    {
        CaptureSettings s;
        s.source = source;
        s.recordPath = dir.filePath("capture.txt");
        return s;
    }

    // Starts a session, keeping every fault it says.
    std::unique_ptr<CaptureSession> start(const CaptureSettings &s)
    {
        auto session = std::make_unique<CaptureSession>(s);
        QObject::connect(session.get(), &CaptureSession::fault,
                         [this](const CaptureFault &f) { faults.push_back(f); });
        QString error;
        EXPECT_TRUE(session->start(error)) << error.toStdString();
        return session;
    }

    QTemporaryDir dir;
    std::vector<CaptureFault> faults;
};

} // namespace

TEST_F(CaptureSessionTest, KeepsEveryReadingAtAThousandASecond)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    constexpr int readings = 1000;
    std::thread writer([&] {
        const auto begin = std::chrono::steady_clock::now();
        for (int k = 0; k < readings; k++) {
            std::this_thread::sleep_until(begin + std::chrono::microseconds(1000 * k));
            board.write(xyzLine(k));
        }
    });
    const bool all = waitFor([&] { return session->readings().size() == readings; }, 10000);
    writer.join();
    ASSERT_TRUE(all) << session->readings().size();
    session->stop();
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), recorded(0, readings));
    EXPECT_EQ(session->counters().format, LineFormat::Xyz);
    EXPECT_EQ(session->counters().ignored, 0);
    EXPECT_TRUE(faults.empty());
}

TEST_F(CaptureSessionTest, NoiseBrokenAndOverlongLinesNeverStopACapture)
{
    PseudoTerminal board;
    CaptureSettings s = settings(board.path);
    s.linesPath = dir.filePath("lines.txt");
    const auto session = start(s);
    board.write(QByteArray("\xFF\x00\x81garbage\r\n", 12) + xyzLine(0) + xyzLine(1));
    board.write(xyzLine(2).left(4));
    board.write(xyzLine(2).mid(4) + QByteArray(5000, '7') + "\n");
    ASSERT_TRUE(waitFor([&] { return session->counters().ignored == 2; }));
    EXPECT_EQ(session->counters().lastIgnored, QByteArray(LineSplitter::LongestLine, '7'));
    board.write("\x1b[2J\x07\xE2\x80\xAEok\n1, 2\n" + xyzLine(3) + "\r" + xyzLine(4));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 5; }));
    session->stop();
    EXPECT_EQ(fileBytes(s.recordPath), recorded(0, 5));
    const CaptureCounters c = session->counters();
    EXPECT_EQ(c.ignored, 4); // the noise, the overlong line, the escapes and the broken one
    EXPECT_EQ(c.lastIgnored, "1, 2");
    EXPECT_EQ(c.lastLine, "4, 4.5, -4");
    // The line log holds every line received, each after its time of arrival,
    // escaped as messages show lines; of the overlong one its start and its size.
    const QList<QByteArray> logged = fileBytes(s.linesPath).split('\n');
    ASSERT_EQ(logged.size(), 9 + 1);
    QList<QByteArray> lines;
    for (const QByteArray &entry : logged.mid(0, 9)) {
        const qsizetype tab = entry.indexOf('\t');
        EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(entry.left(tab)), Qt::ISODateWithMs).isValid());
        lines << entry.mid(tab + 1);
    }
    EXPECT_EQ(lines[0], "\xEF\xBF\xBD\\x00\xEF\xBF\xBDgarbage");
    EXPECT_EQ(lines[1], "0, 0.5, 0");
    EXPECT_EQ(lines[4], QByteArray(LineSplitter::LongestLine, '7') + "\xE2\x80\xA6 (5000 bytes)");
    EXPECT_EQ(lines[5], "\\x1b[2J\\x07\\u202eok");
    EXPECT_EQ(lines[6], "1, 2");
}

TEST_F(CaptureSessionTest, FewReadingsWaitBeforeTheyAreHandedToTheSystem)
{
    // What the system holds outlives a program killed outright.
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    const QString recording = dir.filePath("capture.txt");
    int total = 0;
    for (const int block : {5, 30, 7, 60}) {
        QByteArray lines;
        for (int k = total; k < total + block; k++)
            lines += xyzLine(k);
        board.write(lines);
        total += block;
        ASSERT_TRUE(waitFor([&] { return int(session->readings().size()) == total; }));
        EXPECT_GE(fileBytes(recording).count('\n'), total - Recorder::MostWaiting + 1);
    }
    // The last few follow within a moment.
    EXPECT_TRUE(
        waitFor([&] { return fileBytes(recording) == recorded(0, total); }, 3 * Recorder::FlushInterval));
}

TEST_F(CaptureSessionTest, AnUnplugStopsTheCaptureWithEveryReadingBeforeItRecorded)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    bool finished = false;
    QObject::connect(session.get(), &CaptureSession::finished, [&] { finished = true; });
    for (int k = 0; k < 300; k++)
        board.write(xyzLine(k));
    board.write("301, 30"); // cut by the unplug
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 300; }));
    board.unplug();
    ASSERT_TRUE(waitFor([&] { return finished; }));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].kind, FaultKind::Unplugged);
    EXPECT_TRUE(faults[0].stops());
    EXPECT_TRUE(faults[0].message().startsWith(board.path + ": the port went away"));
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), recorded(0, 300));
}

TEST_F(CaptureSessionTest, ReconnectsWhenTheSamePortReturns)
{
    // The port's name is a link, as udev makes for a board: the link stays, the device behind it comes back.
    const QString port = dir.filePath("ttyBoard");
    auto board = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(QFile::link(board->path, port));
    CaptureSettings s = settings(port);
    s.reconnect = true;
    const auto session = start(s);
    int reconnections = 0;
    bool finished = false;
    QObject::connect(session.get(), &CaptureSession::reconnected, [&] { ++reconnections; });
    QObject::connect(session.get(), &CaptureSession::finished, [&] { finished = true; });
    for (int k = 0; k < 100; k++)
        board->write(xyzLine(k));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 100; }));
    board.reset();
    ASSERT_TRUE(waitFor([&] { return !faults.empty(); }));
    EXPECT_EQ(faults[0].kind, FaultKind::Unplugged);
    EXPECT_FALSE(session->counters().connected);
    EXPECT_FALSE(finished);
    // It says what happens next, not that the capture stopped.
    EXPECT_FALSE(faults[0].stops());
    EXPECT_TRUE(faults[0].message().startsWith(port + ": the port went away"));
    EXPECT_TRUE(faults[0].message().endsWith(": waiting for it to return, to go on capturing; every reading "
                                             "received is kept, and Stop calibrates them."));

    board = std::make_unique<PseudoTerminal>();
    QFile::remove(port);
    ASSERT_TRUE(QFile::link(board->path, port));
    ASSERT_TRUE(waitFor([&] { return reconnections == 1; }));
    for (int k = 100; k < 200; k++)
        board->write(xyzLine(k));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 200; }));
    EXPECT_TRUE(session->counters().connected);
    EXPECT_EQ(faults.size(), 1u);
    session->stop();
    EXPECT_EQ(fileBytes(s.recordPath), recorded(0, 200));
}

TEST_F(CaptureSessionTest, OnlyNoiseForThreeSecondsAsksToCheckTheBaudRate)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    board.write(QByteArray("\x80\xFF\xFE\n\x81\x9F\x00\x13\r\xF0\x80\n", 12));
    ASSERT_TRUE(waitFor([&] { return !faults.empty(); }, CaptureSession::NoiseTimeout + 2000));
    EXPECT_EQ(faults[0].kind, FaultKind::NoReadableLines);
    EXPECT_FALSE(faults[0].stops());
    EXPECT_EQ(faults[0].message(), board.path + ": no readable lines: check the baud rate.");
    // It goes on: right lines still count.
    board.write(xyzLine(0) + xyzLine(1) + xyzLine(2));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 3; }));
}

TEST_F(CaptureSessionTest, AMissingOrBusyPortSaysWhatToDo)
{
    {
        const auto session = start(settings(dir.filePath("ttyNone")));
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(faults[0].kind, FaultKind::Missing);
        EXPECT_TRUE(faults[0].message().startsWith(dir.filePath("ttyNone") +
                                                   ": no such port. Check that the board is plugged in"));
        EXPECT_TRUE(session->isOver());
    }
    faults.clear();
    PseudoTerminal board;
    QSerialPort holder(board.path);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    CaptureSettings s = settings(board.path);
    s.recordPath = dir.filePath("second.txt");
    const auto session = start(s);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].kind, FaultKind::Busy);
    EXPECT_EQ(faults[0].message(), board.path + ": the port is busy: another program (a serial monitor, a "
                                                "plotter) holds it; close that program and try again.");
}

TEST_F(CaptureSessionTest, APermissionFaultNamesTheGroupAndTheCommand)
{
    const CaptureFault f{FaultKind::PermissionDenied, "board", {}};
    EXPECT_EQ(f.message(), "board: permission denied. Serial ports belong to the dialout group: join it "
                           "with \"sudo usermod -aG dialout $USER\", then log out and in again.");
    EXPECT_TRUE(f.stops());
}

TEST_F(CaptureSessionTest, AnExistingRecordingIsNeverOverwritten)
{
    const QString path = dir.filePath("capture.txt");
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("1 2 3\n");
    existing.close();
    CaptureSession session(settings("-"));
    QString error;
    EXPECT_FALSE(session.start(error));
    EXPECT_EQ(error, path + ": the file exists already");
    EXPECT_EQ(fileBytes(path), "1 2 3\n");
}

TEST_F(CaptureSessionTest, StopsAtItsMostReadings)
{
    PseudoTerminal board;
    CaptureSettings s = settings(board.path);
    s.mostReadings = 10;
    const auto session = start(s);
    QByteArray lines;
    for (int k = 0; k < 25; k++)
        lines += xyzLine(k);
    board.write(lines);
    ASSERT_TRUE(waitFor([&] { return session->isOver(); }));
    EXPECT_EQ(fileBytes(s.recordPath), recorded(0, 10));
}

TEST_F(CaptureSessionTest, AConnectionClosedMidLineKeepsTheWholeLinesAndSaysSo)
{
    for (const bool reset : {false, true}) {
        faults.clear();
        QTemporaryDir here;
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        const QString source = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        CaptureSettings s = settings(source);
        s.recordPath = here.filePath("capture.txt");
        s.format = LineFormat::Labelled;
        const auto session = start(s);
        ASSERT_TRUE(waitFor([&] { return server.hasPendingConnections(); }));
        QTcpSocket *board = server.nextPendingConnection();
        // The line after the last line end was cut by the close: it is no reading.
        board->write("X: 1 Y: 2 Z: 3 mG\nX: 4 Y: 5 Z: 6 mG\nX: 7 Y: 8 Z: 9");
        board->flush();
        ASSERT_TRUE(waitFor([&] { return session->readings().size() == 2; }));
        if (reset)
            board->abort();
        else
            board->disconnectFromHost();
        ASSERT_TRUE(waitFor([&] { return session->isOver(); }));
        EXPECT_EQ(fileBytes(s.recordPath), "0.1\t0.2\t0.3\n0.4\t0.5\t0.6\n");
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(faults[0].kind, FaultKind::Unplugged);
        EXPECT_EQ(faults[0].message(),
                  source + ": the connection ended (The remote host closed the connection): the capture "
                           "stopped and keeps every reading received.");
    }
}

TEST_F(CaptureSessionTest, AClosedTcpPortSaysSo)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    const auto session = start(settings(QStringLiteral("tcp://127.0.0.1:%1").arg(port)));
    ASSERT_TRUE(waitFor([&] { return session->isOver(); }));
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].kind, FaultKind::CannotOpen);
    EXPECT_EQ(faults[0].message(),
              QStringLiteral("tcp://127.0.0.1:%1: cannot open (Connection refused).").arg(port));
}

TEST_F(CaptureSessionTest, PausedReadingsAreDroppedAndAKnockCanBeDiscarded)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    int discardedTo = -1;
    QObject::connect(session.get(), &CaptureSession::readingsDiscarded,
                     [&](int count) { discardedTo = count; });
    QByteArray first;
    for (int k = 0; k < 50; k++)
        first += xyzLine(k);
    board.write(first);
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 50; }));

    session->setPaused(true);
    board.write(xyzLine(1000) + xyzLine(1001));
    ASSERT_TRUE(waitFor([&] { return session->counters().pausedReadings == 2; }));
    EXPECT_TRUE(session->counters().paused);
    session->setPaused(false);

    // Half a second later, a knock: readings that the last 200 ms discard.
    waitFor([] { return false; }, 500);
    for (int k = 50; k < 60; k++)
        board.write(xyzLine(k));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 60; }));
    EXPECT_EQ(session->discardLast(0.2), 10);
    EXPECT_EQ(discardedTo, 50);
    EXPECT_EQ(session->readings().size(), 50u);
    EXPECT_EQ(session->readings().back(), (Reading{49, 49.5, -49}));

    // Paused after a knock, half a second on: Discard still drops the knock,
    // the readings up to the last one kept, not the quiet since.
    for (int k = 60; k < 65; k++)
        board.write(xyzLine(k));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 55; }));
    session->setPaused(true);
    waitFor([] { return false; }, 500);
    EXPECT_EQ(session->discardLast(0.2), 5);
    EXPECT_EQ(session->readings().size(), 50u);
    session->setPaused(false);

    // The recording holds what is kept, and goes on after it.
    board.write(xyzLine(60));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 51; }));
    session->stop();
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), recorded(0, 50) + recorded(60, 61));
    EXPECT_TRUE(faults.empty());
}

TEST_F(CaptureSessionTest, ARecordingThatCannotBeWrittenStopsTheCaptureAndSaysWhy)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    // A full disk, made by a limit on the size of the files this process writes.
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &small);
    QByteArray lines;
    for (int k = 0; k < 50; k++)
        lines += xyzLine(k);
    board.write(lines);
    const bool stopped = waitFor([&] { return session->isOver(); });
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    ASSERT_TRUE(stopped);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].kind, FaultKind::CannotRecord);
    EXPECT_TRUE(faults[0].message().startsWith(board.path + ": the recording cannot be written (" +
                                               dir.filePath("capture.txt") + ": "))
        << faults[0].message().toStdString();
    EXPECT_TRUE(faults[0].message().endsWith("); the capture stopped."));
    // The limit fell in the middle of a line: the file ends with the last whole reading.
    EXPECT_GT(session->recordedReadings(), 0);
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), recorded(0, int(session->recordedReadings())));
}

TEST_F(CaptureSessionTest, NineNumberReadingsKeepTheirAccelerometerAndGyroscopeAndAreRecordedAsALog)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    QByteArray lines;
    for (int k = 0; k < 30; k++)
        lines += rawLine(k);
    board.write(lines);
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 30; }));
    ASSERT_EQ(session->inertial().size(), 30u);
    EXPECT_EQ(session->readings()[7], (Reading{7, 0.5, -7}));
    EXPECT_EQ(session->inertial()[7].accel, (std::array<double, 3>{7, -7, 8192}));
    EXPECT_EQ(session->inertial()[7].gyro, (std::array<double, 3>{1, 2, -3}));

    // Every reading discarded: the header stays, and the rows go on after it.
    EXPECT_EQ(session->discardLast(3600), 30);
    EXPECT_TRUE(session->inertial().empty());
    lines.clear();
    for (int k = 30; k < 35; k++)
        lines += rawLine(k);
    board.write(lines);
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 5; }));
    session->stop();
    EXPECT_EQ(session->inertial().size(), 5u);
    QByteArray expected = "mx,my,mz,ax,ay,az,gx,gy,gz\n";
    for (int k = 30; k < 35; k++)
        expected += rawRow(k);
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), expected);

    // Read back by its columns, it gives the readings the capture kept.
    const std::optional<LogFormat> log = session->recordingLog();
    ASSERT_TRUE(log.has_value());
    LogInput input;
    const RawData back = ReadLog(dir.filePath("capture.txt"), *log, input);
    ASSERT_EQ(back.status, RawDataStatus::Loaded) << back.reason.toStdString();
    ASSERT_EQ(back.numLines, 5);
    EXPECT_EQ(input.headerLines, 1);
    for (int k = 0; k < 5; k++)
        EXPECT_EQ((Reading{back.Mag[k][0], back.Mag[k][1], back.Mag[k][2]}), session->readings()[size_t(k)]);
    EXPECT_TRUE(faults.empty());
}

TEST_F(CaptureSessionTest, ReadingsOfTheMagnetometerAloneKeepTheStrictRecording)
{
    PseudoTerminal board;
    const auto session = start(settings(board.path));
    board.write(xyzLine(0) + xyzLine(1) + xyzLine(2));
    ASSERT_TRUE(waitFor([&] { return session->readings().size() == 3; }));
    session->stop();
    EXPECT_EQ(fileBytes(dir.filePath("capture.txt")), recorded(0, 3));
    EXPECT_TRUE(session->inertial().empty());
    EXPECT_FALSE(session->recordingLog().has_value());
}
