// Drawing the figure of a 500000-line file, as PNG and as SVG, beside the
// whole calibration of the same file; interleaved, medians.
//   figure_bench [runs]
#include "figure.h"
#include "pipeline.h"
#include "samplefile.h"
#include "timing.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace tavrin;

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    QTemporaryDir dir;
    const QString path = dir.filePath("raw500000.txt");
    writeSampleFile(path, RawData::Capacity);

    const CalibrationResult result = runCalibration(Input::file(path), {48.0});
    const CalibrationRun &run = result.run;
    const FigureData figure{"raw500000.txt", 48.0, run.raw.points(), run.parameters, result.quality};
    std::vector<double> calibration, png, svg;
    for (int r = 0; r < runs; r++) {
        calibration.push_back(elapsedMs([&] { runCalibration(Input::file(path), {48.0}); }));
        png.push_back(elapsedMs([&] { WriteFigure(dir.filePath("figure.png"), figure); }));
        svg.push_back(elapsedMs([&] { WriteFigure(dir.filePath("figure.svg"), figure); }));
    }
    const double c = median(calibration), p = median(png), s = median(svg);
    std::printf("500000 points; medians of %d interleaved runs\n", runs);
    std::printf("  whole calibration   %7.1f ms\n", c);
    std::printf("  figure as PNG       %7.1f ms = %.2f x the calibration (target <= 3)\n", p, p / c);
    std::printf("  figure as SVG       %7.1f ms = %.2f x the calibration\n", s, s / c);
    return 0;
}
