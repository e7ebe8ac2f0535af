// The live capture panel fed through a pseudo-terminal as a board would feed
// it: readings counted and fitted while they come, pause and discard, an
// unplug that keeps every reading, and Stop calibrating the recording.
#include "alignpath.h"
#include "axesview.h"
#include "exports.h"
#include "livepanel.h"
#include "mainwindow.h"
#include "panelwidgets.h"
#include "pseudoterminal.h"
#include "startoptions.h"
#include "viewwidget.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace tavrin;

namespace {

constexpr double Hm = 48.0;
const double Bias[3] = {12.5, -7.3, 20.1};

// Readings spread evenly over the sphere of radius Hm about Bias, from the
// index first on, as an xyz board prints them.
QByteArray sphereLines(int first, int count, int total)
{
    QByteArray text;
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int i = first; i < first + count; i++) {
        const double z = 1.0 - 2.0 * (i + 0.5) / total, r = std::sqrt(1.0 - z * z);
        const double x = r * std::cos(golden * i), y = r * std::sin(golden * i);
        text += QByteArray::number(Bias[0] + Hm * x, 'f', 4) + ',' +
                QByteArray::number(Bias[1] + Hm * y, 'f', 4) + ',' +
                QByteArray::number(Bias[2] + Hm * z, 'f', 4) + '\n';
    }
    return text;
}

// The same readings as a board with an accelerometer prints them, in Uni: lines.
QByteArray uniLines(int first, int count, int total)
{
    QByteArray text;
    for (const QByteArray &xyz : sphereLines(first, count, total).split('\n'))
        if (!xyz.isEmpty())
            text += "Uni:0.12,-9.79,0.30,0.0012,-0.0040,0.0100," + xyz + "\r\n";
    return text;
}

int lineCount(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : -1;
}

int readingCount(const LivePanel &panel)
{
    return panel.captureSession() ? int(panel.captureSession()->readings().size()) : -1;
}

} // namespace

class LivePanelTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder;
    std::unique_ptr<MainWindow> window;
    LivePanel *panel = nullptr;

    QString startOn(const PseudoTerminal &port, const QString &name)
    {
        const QString path = folder.filePath(name);
        panel->setSource(port.path);
        panel->setFormat(LineFormat::Auto);
        panel->setRecordPath(path);
        return panel->start() ? path : QString();
    }

private slots:
    void init()
    {
        // The window writes its settings as they change: the tests' own.
        QStandardPaths::setTestModeEnabled(true);
        window = std::make_unique<MainWindow>();
        HmSource s;
        s.value = Hm;
        s.unit = QStringLiteral("uT");
        window->setHmSource(s);
        panel = window->livePanel();
    }
    void cleanup() { window.reset(); }

    // Readings arrive, the counters grow, the live fit finds the bias and
    // the capture says enough; Stop calibrates the recording in the window.
    void readingsAreCountedFittedAndCalibratedOnStop()
    {
        PseudoTerminal port;
        QVERIFY(!port.path.isEmpty());
        const QString path = startOn(port, QStringLiteral("full.txt"));
        QVERIFY2(!path.isEmpty(), qPrintable(panel->statusText()));
        QVERIFY(port.write("sketch v1.2 starting\n"));
        QVERIFY(port.write(sphereLines(0, 300, 600)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 300; }));
        QVERIFY(waitFor([&] { return panel->countersText().startsWith(QLatin1String("300 points")); }));
        QVERIFY(port.write(sphereLines(300, 300, 600)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 600; }));
        QVERIFY(waitFor([&] { return panel->countersText().startsWith(QLatin1String("600 points")); }));
        QVERIFY(panel->countersText().contains(QLatin1String("1 ignored lines")));
        QVERIFY(panel->countersText().contains(QLatin1String("format: xyz")));
        QVERIFY(waitFor([&] { return panel->enoughText().startsWith(QLatin1String("<b>Enough</b>")); }));
        QVERIFY(
            waitFor([&] { return panel->liveFit() && panel->liveFit()->input.measurements->numLines == 600; },
                    20000));
        const CalibrationParameters &live = panel->liveFit()->result->run.parameters;
        for (int axis = 0; axis < 3; axis++)
            QCOMPARE_LT(std::abs(live.Bias[axis][0] - Bias[axis]), 0.01);
        // The window's large views show the live fit too.
        for (const char *view : {"cloud", "projections", "coverage", "series", "histogram"})
            QCOMPARE(window->findChild<ViewWidget *>(view)->views(), panel->liveFit()->views.get());

        QSignalSpy done(&window->runner(), &Runner::finished);
        panel->stop();
        QVERIFY(!panel->capturing());
        QVERIFY(done.wait(120000));
        QCOMPARE(lineCount(path), 600);
        const std::shared_ptr<const Calibration> c = window->calibration();
        QVERIFY(c && c->result);
        QCOMPARE(c->input.path, path);
        QCOMPARE(c->result->run.raw.numLines, 600);
        for (int axis = 0; axis < 3; axis++)
            QCOMPARE_LT(std::abs(c->result->run.parameters.Bias[axis][0] - Bias[axis]), 0.01);
    }

    // A board that prints its accelerometer and gyroscope too: the recording
    // is a CSV log, and Stop opens it by its columns, without asking.
    void aRecordingWithTheAccelerometerOpensAsALog()
    {
        PseudoTerminal port;
        const QString path = startOn(port, QStringLiteral("inertial.csv"));
        QVERIFY(!path.isEmpty());
        // A hundred lines at a time, which the terminal's buffer holds.
        for (int first = 0; first < 400; first += 100) {
            QVERIFY(port.write(uniLines(first, 100, 400)));
            QVERIFY(waitFor([&] { return readingCount(*panel) == first + 100; }));
        }
        QCOMPARE(panel->captureSession()->inertial().size(), size_t(400));
        QCOMPARE(panel->captureSession()->inertial()[0].accel, (std::array<double, 3>{0.12, -9.79, 0.30}));
        QSignalSpy done(&window->runner(), &Runner::finished);
        panel->stop();
        QCOMPARE(panel->statusText(), QStringLiteral("Stopped: calibrating %1 (CSV, header "
                                                     "mx,my,mz,ax,ay,az,gx,gy,gz).")
                                          .arg(QDir::toNativeSeparators(path)));
        QVERIFY(done.wait(120000));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().split('\n');
        QCOMPARE(rows.size(), 402);
        QCOMPARE(rows[0], QByteArray("mx,my,mz,ax,ay,az,gx,gy,gz"));
        QVERIFY(rows[1].endsWith(",0.12,-9.79,0.3,0.0012,-0.004,0.01"));
        const std::shared_ptr<const Calibration> c = window->calibration();
        QVERIFY(c && c->result);
        QCOMPARE(c->input.path, path);
        QVERIFY(c->input.log.has_value());
        QCOMPARE(c->input.log->columns[0], QStringLiteral("mx"));
        QCOMPARE(c->input.log->columns[2], QStringLiteral("mz"));
        QCOMPARE(c->input.log->accelColumns, (std::array<QString, 3>{"ax", "ay", "az"}));
        QCOMPARE(c->result->run.raw.numLines, 400);
        for (int axis = 0; axis < 3; axis++)
            QCOMPARE_LT(std::abs(c->result->run.parameters.Bias[axis][0] - Bias[axis]), 0.01);
        // Read back with the accelerometer, the recording gets the axes
        // check: a board held at one attitude cannot settle it.
        QVERIFY(c->result->alignment.has_value());
        QCOMPARE(c->result->alignment->readingsAtRest, 400);
        QVERIFY(!c->result->alignment->determined);
        QCOMPARE(c->result->run.raw.Accel[0][1], -9.79);
    }

    // A board whose magnetometer is mounted a quarter turn about z from its
    // accelerometer, turned by hand between rests: while it comes in, the
    // panel says how steady the angle to gravity is and which axes it finds.
    void theAngleToGravityShowsAsTheReadingsComeIn()
    {
        AlignedRecording r;
        r.hand.truth = handSensor(0.8, Hm, 21);
        r.hand.sigma = 0.2;
        r.hand.restShare = 0.3;
        r.hand.restAt = RestPlace::BetweenTurns;
        r.hand.rests = 8;
        r.hand.seed = 21;
        const Doub yaw90[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
        std::copy(&yaw90[0][0], &yaw90[0][0] + 9, &r.mount[0][0]);
        const AlignedRecorded board = recordAligned(r);
        PseudoTerminal port;
        const QString path = startOn(port, QStringLiteral("turned.csv"));
        QVERIFY(!path.isEmpty());
        QVERIFY(panel->angleText().isEmpty());
        // Fifty lines at a time, which the terminal's buffer holds.
        for (Int first = 0; first < board.mag.nrows(); first += 50) {
            QByteArray lines;
            for (Int k = first; k < std::min(first + 50, board.mag.nrows()); k++) {
                lines += "Uni:";
                for (const Doub v : {board.accel[k][0], board.accel[k][1], board.accel[k][2], 0.0, 0.0, 0.0,
                                     board.mag[k][0], board.mag[k][1], board.mag[k][2]})
                    lines += QByteArray::number(v, 'g', 9) + ',';
                lines.back() = '\n';
            }
            QVERIFY(port.write(lines));
            QVERIFY(waitFor([&] { return readingCount(*panel) == std::min(first + 50, board.mag.nrows()); }));
        }
        const QRegularExpression said(
            "^Angle to gravity: spread ([0-9.]+)° \\(([0-9.]+)° after the rotation\\) "
            "over ([0-9]+) readings at rest; axes -y,x,z$");
        QVERIFY2(waitFor(
                     [&] {
                         return said.match(panel->angleText()).hasMatch() && panel->liveFit() &&
                                panel->liveFit()->input.measurements->numLines == board.mag.nrows();
                     },
                     30000),
                 qPrintable(panel->angleText()));
        const QRegularExpressionMatch m = said.match(panel->angleText());
        QCOMPARE_GT(m.captured(1).toDouble(), 10.0);
        QCOMPARE_LT(m.captured(2).toDouble(), 1.0);
        QCOMPARE(m.captured(3).toInt(), panel->liveFit()->result->alignment->readingsAtRest);
        QCOMPARE_GT(m.captured(3).toInt(), 500);

        // Stopped, the recording is calibrated with its accelerometer: the
        // Axes view and the exports name the quarter turn.
        panel->stop();
        QVERIFY(waitFor([&] { return window->calibration() && window->calibration()->input.path == path; },
                        60000));
        window->runner().cancel();
        const Calibration &c = *window->calibration();
        QVERIFY(c.result->alignment && c.result->alignment->determined);
        QVERIFY2(window->findChild<AxesView *>("axes")->wordsText().contains("  Axes            -y,x,z\n"),
                 qPrintable(window->findChild<AxesView *>("axes")->wordsText()));
        rememberCompass(QStringLiteral("ardupilot"), 1);
        rememberCompass(QStringLiteral("px4"), 2);
        QCOMPARE(workbenchExportNamed("ardupilot")->orientation(c),
                 QStringLiteral("COMPASS_ORIENT = 2 (Yaw90), from the axes against the accelerometer"));
        QCOMPARE(workbenchExportNamed("px4")->orientation(c),
                 QStringLiteral("CAL_MAG1_ROT = 2 (Yaw90), from the axes against the accelerometer"));
        QVERIFY(!workbenchExportNamed("json")->orientation);
    }

    // Readings while paused are dropped, Discard drops the last seconds, and
    // the recording follows both.
    void pauseAndDiscardKeepTheRecordingTrue()
    {
        PseudoTerminal port;
        const QString path = startOn(port, QStringLiteral("paused.txt"));
        QVERIFY(!path.isEmpty());
        QVERIFY(port.write(sphereLines(0, 100, 400)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 100; }));
        panel->setPaused(true);
        QVERIFY(port.write(sphereLines(100, 50, 400)));
        QVERIFY(waitFor([&] { return panel->captureSession()->counters().pausedReadings == 50; }));
        QCOMPARE(readingCount(*panel), 100);
        panel->setPaused(false);
        QVERIFY(port.write(sphereLines(150, 20, 400)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 120; }));
        panel->discardLast();
        QCOMPARE(readingCount(*panel), 0);
        QVERIFY(panel->statusText().startsWith(QLatin1String("Discarded 120 readings")));
        panel->stop();
        QCOMPARE(lineCount(path), 0);
        QVERIFY(panel->statusText().contains(QLatin1String("no readings were kept")));
    }

    // A board pulled out: every reading so far stays, shown and recorded,
    // the panel says so, and Stop still calibrates them.
    void anUnplugKeepsTheReadingsAndSaysSo()
    {
        PseudoTerminal port;
        const QString path = startOn(port, QStringLiteral("unplugged.txt"));
        QVERIFY(!path.isEmpty());
        QVERIFY(port.write(sphereLines(0, 400, 400)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 400; }));
        QSignalSpy said(panel, &LivePanel::said);
        port.unplug();
        QVERIFY(waitFor([&] { return panel->statusText().contains(QLatin1String("the port went away")); }));
        // What happens next, and nothing of a capture that stopped.
        QVERIFY(panel->statusText().contains(QLatin1String("waiting for it to return")));
        QVERIFY(panel->statusText().contains(QLatin1String("every reading received is kept")));
        QVERIFY(!panel->statusText().contains(QLatin1String("stopped")));
        QVERIFY(!said.isEmpty());
        QCOMPARE(readingCount(*panel), 400);
        QCOMPARE(lineCount(path), 400);
        QSignalSpy done(&window->runner(), &Runner::finished);
        panel->stop();
        QVERIFY(done.wait(120000));
        QVERIFY(window->calibration() && window->calibration()->result);
        QCOMPARE(window->calibration()->result->run.raw.numLines, 400);
    }

    // The coverage map's advice follows the capture's rule of enough: 60
    // readings spread evenly leave no wide empty cap, but hit fewer cells
    // than enough; 600 are enough by both.
    void theMapAndTheCountersShareOneRuleOfEnough()
    {
        PseudoTerminal port;
        QVERIFY(!startOn(port, QStringLiteral("enough.txt")).isEmpty());
        const auto *map = panel->findChild<CoverageWidget *>();
        QVERIFY(port.write(sphereLines(0, 60, 60)));
        QVERIFY(waitFor([&] { return panel->liveFit() && !map->advice().isEmpty(); }, 20000));
        QVERIFY(waitFor([&] { return panel->enoughText().startsWith(QLatin1String("Not enough yet")); }));
        QVERIFY(panel->liveFit()->result->quality.largestEmptyCap.radiusDegrees() <
                QualityLimits::MaxEmptyCapDegrees);
        QVERIFY2(map->advice().contains(QLatin1String("Turn the sensor")), qPrintable(map->advice()));
        QVERIFY(!map->advice().contains(QLatin1String("enough")));

        // In parts that the terminal's buffer holds.
        for (int first = 0; first < 600; first += 150) {
            QVERIFY(port.write(sphereLines(first, 150, 600)));
            QVERIFY(waitFor([&] { return readingCount(*panel) == 60 + first + 150; }));
        }
        QVERIFY(waitFor([&] { return panel->enoughText().startsWith(QLatin1String("<b>Enough</b>")); }));
        QVERIFY(waitFor([&] { return map->advice().contains(QLatin1String("well enough")); }, 20000));
        panel->stop();
    }

    // Nothing in the control column moves while the texts around the
    // buttons change: counters, a long last line, the verdict, Pause and
    // Resume, a long message.
    void theButtonsStayWhereTheyAreWhileTheTextsChange()
    {
        window->resize(1200, 640);
        window->show();
        window->startCapture(QString());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        PseudoTerminal port;
        QVERIFY(!startOn(port, QStringLiteral("steady.txt")).isEmpty());
        const auto *discard = panel->findChildren<QPushButton *>().at(2);
        QVERIFY(discard->text().contains(QLatin1String("Discard")));
        QVERIFY(waitFor([&] { return panel->countersText().startsWith(QLatin1String("0 points")); }));
        QApplication::processEvents();
        const QRect before(discard->mapTo(window.get(), QPoint()), discard->size());
        QVERIFY(
            port.write("a line of text long enough to wrap in any column: " + QByteArray(200, 'w') + "\n"));
        QVERIFY(port.write(sphereLines(0, 150, 600)));
        QVERIFY(waitFor([&] { return panel->enoughText().startsWith(QLatin1String("Not enough yet")); }));
        panel->setPaused(true);
        QVERIFY(waitFor([&] { return panel->countersText().startsWith(QLatin1String("150 points")); }));
        QApplication::processEvents();
        QCOMPARE(QRect(discard->mapTo(window.get(), QPoint()), discard->size()), before);
        panel->stop();
    }

    // What cannot start says why and leaves things as they were: a recording
    // that exists is not touched, a missing port is named.
    void badStartsSayWhyAndChangeNothing()
    {
        PseudoTerminal port;
        const QString existing = folder.filePath(QStringLiteral("kept.txt"));
        {
            QFile file(existing);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("1 2 3\n");
        }
        panel->setSource(port.path);
        panel->setRecordPath(existing);
        QVERIFY(!panel->start());
        QVERIFY(!panel->capturing());
        QVERIFY(!panel->statusText().isEmpty());
        QCOMPARE(lineCount(existing), 1);

        const QString missing = folder.filePath(QStringLiteral("no-such-port"));
        panel->setSource(missing);
        panel->setRecordPath(folder.filePath(QStringLiteral("missing.txt")));
        QVERIFY(panel->start());
        QVERIFY2(waitFor([&] { return panel->statusText().contains(QLatin1String("no such port")); }),
                 qPrintable(panel->statusText()));
        QVERIFY(panel->statusText().startsWith(missing));
        panel->stop();
        QVERIFY(!panel->capturing());
    }

    // tavrin-workbench --port starts the capture at once, in place of a file.
    void thePortOptionStartsACapture()
    {
        const Expected<StartOptions> o = parseStartOptions(
            {QStringLiteral("tavrin-workbench"), QStringLiteral("--hm"), QStringLiteral("48"),
             QStringLiteral("--port"), QStringLiteral("tcp://board.local:2323")});
        QVERIFY2(o, qPrintable(o.error()));
        QCOMPARE(o->port, QStringLiteral("tcp://board.local:2323"));
        QVERIFY(o->file.isEmpty());
        const Expected<StartOptions> bare =
            parseStartOptions({QStringLiteral("tavrin-workbench"), QStringLiteral("--port")});
        QCOMPARE(bare.error().section('\n', 0, 0), QStringLiteral("Missing value after '--port'."));
        const Expected<StartOptions> withFile =
            parseStartOptions({QStringLiteral("tavrin-workbench"), QStringLiteral("--port"),
                               QStringLiteral("board"), QStringLiteral("data.txt")});
        QCOMPARE(withFile.error().section('\n', 0, 0),
                 QStringLiteral("--port reads the measurements in place of a FILE; give no FILE."));

        PseudoTerminal port;
        panel->setRecordPath(folder.filePath(QStringLiteral("started.txt")));
        window->startCapture(port.path);
        QVERIFY(panel->capturing());
        QVERIFY(panel->isVisibleTo(window.get()));
        QVERIFY(port.write(sphereLines(0, 10, 10)));
        QVERIFY(waitFor([&] { return readingCount(*panel) == 10; }));
        panel->stop();
    }
};

QTEST_MAIN(LivePanelTest)
#include "livepanel_test.moc"
