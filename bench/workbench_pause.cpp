// How long the workbench's window thread stops answering while a large file
// calibrates: a 10 ms timer on that thread records how late each tick comes,
// from opening the file to the end of the bootstrap. Run it under a display
// (xvfb-run) or QT_QPA_PLATFORM=offscreen: workbench_pause [POINTS] [RUNS]
#include "mainwindow.h"
#include "samplefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int points = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    const QString path = dir.filePath("large.txt");
    writeSampleFile(path, points);

    tavrin::MainWindow window;
    window.resize(1280, 800);
    window.show();
    std::vector<double> worst;
    for (int run = 0; run < runs; run++) {
        constexpr int Tick = 10;
        QElapsedTimer clock;
        double last = 0.0, late = 0.0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const double now = clock.nsecsElapsed() / 1e6;
            late = std::max(late, now - last - Tick);
            last = now;
        });
        QSignalSpy done(&window.runner(), &tavrin::Runner::finished);
        clock.start();
        timer.start(Tick);
        window.open(path);
        done.wait(600000);
        timer.stop();
        worst.push_back(late);
        std::printf("run %d: %d points calibrated in %.1f s; worst lateness of a 10 ms tick %.1f ms\n",
                    run + 1, points, clock.elapsed() / 1000.0, late);
    }
    std::sort(worst.begin(), worst.end());
    std::printf("median of the worst pauses over %d runs: %.1f ms\n", runs, worst[worst.size() / 2]);
    return 0;
}
