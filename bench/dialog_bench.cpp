// Time from pressing Calibrate to the labels being set, for a 500000-line
// file, beside the calibration core's own time for the same file.
//   dialog_bench FILE [runs]   (run with QT_QPA_PLATFORM=offscreen)
#include "fen_tavrin.h"
#include "modaldialogs.h"
#include "pipeline.h"
#include "timing.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tavrin;

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

    // The pipeline as the dialog calls it: the exact fit, not judged.
    CalibrationOptions options;
    options.hm = 48.0;
    options.assess = false;
    // Interleaved, so both see the same machine load.
    std::vector<double> core, gui;
    for (int r = 0; r < runs; r++) {
        core.push_back(elapsedMs([&] { runCalibration(Input::file(file), options); }));
        gui.push_back(elapsedMs([&] { calibrate->click(); }));
    }
    const double c = median(core), g = median(gui);
    std::fprintf(stderr,
                 "core %.1f ms, dialog %.1f ms (medians of %d), dialog/core = %.3f (target <= 1.20)\n", c, g,
                 runs, g / c);
    return 0;
}
