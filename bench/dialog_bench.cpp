// Time from pressing Calibrate to the labels being set, for a 500000-line
// file, beside the calibration core's own time for the same file.
//   dialog_bench FILE [runs]   (run with QT_QPA_PLATFORM=offscreen)
#include "calibration.h"
#include "fen_tavrin.h"
#include "modaldialogs.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; r++) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 64;
    const QString file = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 11;
    Fen_Tavrin dialog;
    dialog.show();
    dialog.findChild<QDoubleSpinBox *>("EarthField")->setValue(48.0);
    ModalDialogs::setNextFileName(file);
    dialog.findChild<QPushButton *>("buttonOpenFile")->click();
    QPushButton *calibrate = dialog.findChild<QPushButton *>("buttonCalibrate");

    // Interleaved, so both see the same machine load.
    std::vector<double> core, gui;
    for (int r = 0; r < runs; r++) {
        core.push_back(medianMs(1, [&] { CalibrateFile(48.0, file, LineEcho::Newlines); }));
        gui.push_back(medianMs(1, [&] { calibrate->click(); }));
    }
    std::sort(core.begin(), core.end());
    std::sort(gui.begin(), gui.end());
    const double c = core[core.size() / 2], g = gui[gui.size() / 2];
    std::fprintf(stderr, "core %.1f ms, dialog %.1f ms (medians of %d), dialog/core = %.3f (target <= 1.20)\n", c, g,
                 runs, g / c);
    return 0;
}
