// Whole tavrin-cli processes on 500000 points against the floor of reading
// the same file, `wc -l`: the exact fit, --fit auto, and a CSV log beside the
// strict file of its numbers, in interleaved rounds so that paired runs see
// the same machine load. Prints the medians, the median of the paired ratios
// with their targets, and the exact run's peak memory. Given another build of
// tavrin-cli, its exact and auto runs join the rounds, each paired with this
// build's: how two builds compare on one machine at the same load.
//   speed_bench TAVRIN_CLI [rounds [OTHER_TAVRIN_CLI]]
#include "logfile.h"
#include "rawdata.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace tavrin;

namespace {

struct ChildRun {
    double ms = 0.0;
    double cpuMs = 0.0;   ///< the child's processor time, user and system: what a loaded machine slows least
    double peakMiB = 0.0; ///< the child's maximum resident set
};

// Runs program to its end with standard output into outPath; a child that
// fails ends the benchmark, since its time would measure the wrong thing.
ChildRun runChild(const QString &program, const QStringList &arguments, const QString &outPath)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &a : arguments)
        words.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(outPath).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ChildRun run;
    int status = -1;
    struct rusage usage {};
    run.ms = elapsedMs([&] {
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            wait4(pid, &status, 0, &usage);
    });
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "speed_bench: %s %s failed\n", words[0].constData(),
                     qPrintable(arguments.join(' ')));
        std::exit(1);
    }
    run.peakMiB = usage.ru_maxrss / 1024.0; // kibibytes on Linux
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    return run;
}

struct Series {
    const char *name;
    QString program;
    QStringList arguments;
    std::vector<double> ms, cpuMs, peakMiB;
};

// The median over the rounds of a / b, each round's pair taken together:
// wall times, or the times given.
double pairedRatio(const Series &a, const Series &b, std::vector<double> Series::*times = &Series::ms)
{
    std::vector<double> ratios;
    for (size_t r = 0; r < (a.*times).size(); r++)
        ratios.push_back((a.*times)[r] / (b.*times)[r]);
    return median(ratios);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 64;
    const QString cli = args[1];
    const int rounds = args.size() > 2 ? args[2].toInt() : 21;
    const QString other = args.size() > 3 ? args[3] : QString();
    const QString wc = QStandardPaths::findExecutable(QStringLiteral("wc"));
    if (wc.isEmpty() || rounds < 1)
        return 64;
    QTemporaryDir dir;
    const QString raw = dir.filePath("raw500000.txt"), strict = dir.filePath("strict.txt"),
                  log = dir.filePath("log.csv"), out = dir.filePath("stdout.txt");
    // A child's peak memory counts its parent's at the spawn, so the inputs
    // are made by a process of their own and the benchmark stays small.
    const pid_t maker = fork();
    if (maker == 0) {
        writeSampleFile(raw, RawData::Capacity);
        writeLogFiles(strict, log, RawData::Capacity);
        _exit(0);
    }
    int made = -1;
    waitpid(maker, &made, 0);
    if (!WIFEXITED(made) || WEXITSTATUS(made) != 0)
        return 1;

    const QStringList hm{"--hm", "48"};
    std::vector<Series> series{
        {"wc -l FILE", wc, {"-l", raw}, {}, {}, {}},
        {"tavrin-cli --hm 48 FILE", cli, hm + QStringList{raw}, {}, {}, {}},
        {"tavrin-cli --hm 48 --fit auto FILE", cli, hm + QStringList{"--fit", "auto", raw}, {}, {}, {}},
        {"tavrin-cli --hm 48 STRICT", cli, hm + QStringList{strict}, {}, {}, {}},
        {"tavrin-cli --hm 48 --columns mx,my,mz LOG",
         cli,
         hm + QStringList{"--columns", "mx,my,mz", log},
         {},
         {},
         {}}};
    if (!other.isEmpty()) {
        series.push_back({"OTHER --hm 48 FILE", other, hm + QStringList{raw}, {}, {}, {}});
        series.push_back(
            {"OTHER --hm 48 --fit auto FILE", other, hm + QStringList{"--fit", "auto", raw}, {}, {}, {}});
    }
    for (int r = 0; r < rounds; r++)
        for (Series &s : series) {
            const ChildRun run = runChild(s.program, s.arguments, out);
            s.ms.push_back(run.ms);
            s.cpuMs.push_back(run.cpuMs);
            s.peakMiB.push_back(run.peakMiB);
        }
    const Series &floor = series[0], &exact = series[1], &automatic = series[2], &strictRun = series[3],
                 &logRun = series[4];

    std::printf("500000 points; medians of %d interleaved rounds\n", rounds);
    for (const Series &s : series)
        std::printf("  %-42s %7.1f ms  cpu %7.1f ms  peak %5.1f MiB\n", s.name, median(s.ms), median(s.cpuMs),
                    median(s.peakMiB));
    std::printf("paired ratios (median of the rounds' ratios):\n");
    std::printf("  exact / wc -l     %5.2f  (target <= 10)\n", pairedRatio(exact, floor));
    std::printf("  auto / exact      %5.2f  (target <= 1.5)\n", pairedRatio(automatic, exact));
    std::printf("  log / strict      %5.2f  (target <= 1.3)\n", pairedRatio(logRun, strictRun));
    if (!other.isEmpty()) {
        std::printf("  exact / OTHER's   %5.2f  (cpu %5.2f)\n", pairedRatio(exact, series[5]),
                    pairedRatio(exact, series[5], &Series::cpuMs));
        std::printf("  auto / OTHER's    %5.2f  (cpu %5.2f)\n", pairedRatio(automatic, series[6]),
                    pairedRatio(automatic, series[6], &Series::cpuMs));
    }
    struct rusage own {};
    getrusage(RUSAGE_SELF, &own);
    std::printf(
        "  exact's peak      %5.1f MiB  (target <= 31.5; the benchmark's own, a floor under it: %.1f MiB)\n",
        median(exact.peakMiB), own.ru_maxrss / 1024.0);
    return 0;
}
