// How long the workbench's window thread stops answering while a large file
// calibrates: a 10 ms timer on that thread records how late each tick comes,
// from opening the file to the end of the bootstrap, and every event the
// thread handles is timed, so that the window's own work shows apart from
// the machine's load. The same timer on the idle window first gives the
// machine's own lateness. Run it under a display (xvfb-run) or
// QT_QPA_PLATFORM=offscreen: workbench_pause [POINTS] [RUNS]. With
// "capture" first, the window captures instead, for SECONDS, from the sensor
// simulator writing 1000 readings a second: workbench_pause capture [SECONDS] [RUNS]
#include "livepanel.h"
#include "mainwindow.h"
#include "samplefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Times the outermost handling of every event on the window's thread.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            depth--;
            return handled;
        }
        QElapsedTimer timer;
        timer.start();
        const int type = int(event->type());
        const QByteArray name = receiver->metaObject()->className();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (ms > longest) {
            longest = ms;
            longestWhat = name + " event " + QByteArray::number(type);
        }
        depth--;
        return handled;
    }

    double longest = 0.0;
    QByteArray longestWhat;

private:
    int depth = 0;
};

constexpr int Tick = 10;

// The worst lateness of a 10 ms tick while work runs, in milliseconds.
template <typename Work> double worstLateness(Work work)
{
    QElapsedTimer clock;
    double last = 0.0, late = 0.0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        late = std::max(late, now - last - Tick);
        last = now;
    });
    clock.start();
    timer.start(Tick);
    work();
    return late;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int captureBench(TimedApplication &app, int seconds, int runs)
{
    QTemporaryDir dir;
    tavrin::MainWindow window;
    tavrin::HmSource hm;
    hm.unit = QStringLiteral("uT");
    window.setHmSource(hm);
    window.resize(1280, 800);
    window.show();
    std::vector<double> busy, handling;
    tavrin::LivePanel &panel = *window.livePanel();
    std::vector<double> idle;
    for (int run = 0; run < runs; run++) {
        idle.push_back(worstLateness([] { QTest::qWait(5000); }));
        QProcess simulator;
        simulator.start(QStringLiteral(TAVRIN_SIMULATOR),
                        {"--format", "uni", "--rate", "1000", "--speed", "2"});
        if (!simulator.waitForReadyRead(10000))
            return 1;
        panel.setRecordPath(dir.filePath(QStringLiteral("capture-%1.txt").arg(run)));
        window.startCapture(QString::fromLocal8Bit(simulator.readLine()).trimmed());
        app.longest = 0.0;
        busy.push_back(worstLateness([&] { QTest::qWait(seconds * 1000); }));
        handling.push_back(app.longest);
        std::printf("run %d: %d readings; worst tick lateness idle %.1f ms, capturing %.1f ms; longest event "
                    "%.1f ms (%s)\n",
                    run + 1, int(panel.captureSession()->readings().size()), idle.back(), busy.back(),
                    app.longest, app.longestWhat.constData());
        simulator.kill();
        simulator.waitForFinished();
        QSignalSpy done(&window.runner(), &tavrin::Runner::finished);
        panel.stop();
        done.wait(600000);
    }
    std::printf("medians over %d runs of %d s at 1000 readings a second: worst lateness idle %.1f ms, "
                "capturing %.1f ms; longest event %.1f ms\n",
                runs, seconds, median(idle), median(busy), median(handling));
    return 0;
}

int main(int argc, char *argv[])
{
    TimedApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "capture") == 0)
        return captureBench(app, argc > 2 ? std::atoi(argv[2]) : 30, argc > 3 ? std::atoi(argv[3]) : 3);
    const int points = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    const QString path = dir.filePath("large.txt");
    writeSampleFile(path, points);

    tavrin::MainWindow window;
    window.resize(1280, 800);
    window.show();
    std::vector<double> idle, busy, handling;
    for (int run = 0; run < runs; run++) {
        idle.push_back(worstLateness([] { QTest::qWait(5000); }));
        app.longest = 0.0;
        QElapsedTimer clock;
        clock.start();
        busy.push_back(worstLateness([&] {
            QSignalSpy done(&window.runner(), &tavrin::Runner::finished);
            window.open(path);
            done.wait(600000);
        }));
        handling.push_back(app.longest);
        const std::shared_ptr<const tavrin::Calibration> shown = window.calibration();
        const bool whole = shown && shown->result->calibrated() && shown->uncertainty;
        std::printf("run %d: %d points %s in %.1f s; worst tick lateness idle %.1f ms, calibrating %.1f ms; "
                    "longest event %.1f ms (%s)\n",
                    run + 1, points, whole ? "calibrated with the uncertainty" : "NOT calibrated",
                    clock.elapsed() / 1000.0, idle.back(), busy.back(), app.longest,
                    app.longestWhat.constData());
    }
    std::printf(
        "medians over %d runs: worst lateness idle %.1f ms, calibrating %.1f ms; longest event %.1f ms\n",
        runs, median(idle), median(busy), median(handling));
    return 0;
}
