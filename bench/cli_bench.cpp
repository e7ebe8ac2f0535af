// The whole tavrin-cli process on a 500000-line file beside the in-process
// calibration of the same file, the start-up of a bare Qt Core process and a
// fresh process that does the core's calibration only, all interleaved so
// that they see the same machine load.
//   cli_bench TAVRIN_CLI QTCORE_STARTUP CALIBRATION_BENCH [runs]
#include "pipeline.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace tavrin;

namespace {

double processMs(const QString &program, const QStringList &arguments)
{
    return elapsedMs([&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, arguments);
        p.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 64;
    const int runs = args.size() > 4 ? args[4].toInt() : 11;
    QTemporaryDir dir;
    const QString path = dir.filePath("raw500000.txt");
    writeSampleFile(path, RawData::Capacity);

    std::vector<double> core, startup, fresh, version, cli;
    for (int r = 0; r < runs; r++) {
        core.push_back(elapsedMs([&] { runCalibration(Input::file(path), {48.0}); }));
        startup.push_back(processMs(args[2], {}));
        fresh.push_back(processMs(args[3], {"--once", path}));
        version.push_back(processMs(args[1], {"--version"}));
        cli.push_back(processMs(args[1], {"--hm", "48", path}));
    }
    const double c = median(core), s = median(startup), f = median(fresh), v = median(version),
                 p = median(cli);
    std::printf("500000 points; medians of %d interleaved runs\n", runs);
    std::printf("  in-process calibration (core)     %7.1f ms\n", c);
    std::printf("  bare Qt Core process start-up     %7.1f ms\n", s);
    std::printf("  fresh process, core calibration   %7.1f ms\n", f);
    std::printf("  tavrin-cli --version              %7.1f ms\n", v);
    std::printf("  tavrin-cli --hm 48 FILE           %7.1f ms\n", p);
    std::printf("  tavrin-cli - start-up = %.1f ms = %.2f x the core (target <= 1.20)\n", p - s, (p - s) / c);
    std::printf("  of which a fresh process's first touch of its memory: %.1f ms; tavrin-cli beyond\n"
                "  the fresh core process: %.1f ms = %.2f x the core\n",
                f - s - c, p - f, (p - f) / c);
    return 0;
}
