// How close each fit comes to the truth on recordings of known truth that
// move like a hand (tests/support/handpath.h): the median bias error over
// ten seeds and how often the 95 % intervals of --uncertainty hold the true
// bias, on a grid of coverage, sensor, noise and transients; gross spikes;
// turns about one axis; small caps of few points; rests; and a floor
// robot's turns. Not a test: run by hand, see the README.
//   accuracy [seeds] [section...]
// where the sections are grid, spikes, turns, caps, rests and floor, all of
// them when none is named.
#include "bootstrap.h"
#include "calibration.h"
#include "gaussj.h"
#include "handpath.h"
#include "pointspread.h"
#include "quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

constexpr double Hm = 48.0;
int Seeds = 10;
const FitModel Fits[] = {FitModel::Exact, FitModel::Full, FitModel::Diagonal, FitModel::Sphere,
                         FitModel::Auto};
/// A fit moved by more than this share of Hm from its fit of the same
/// readings without their rests has broken.
constexpr double BrokenShare = 0.01;

CalibrationRun calibrate(const MatDoub &points, FitModel model)
{
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const NrErrorSink silenced(nullptr);
    return CalibrateRawData(Hm, raw, model);
}

double biasError(const CalibrationRun &run, const double b0[3])
{
    if (run.error)
        return INFINITY;
    double squares = 0.0;
    for (int i = 0; i < 3; i++)
        squares += SQR(run.parameters.Bias[i][0] - b0[i]);
    return std::sqrt(squares);
}

// How many of the three components of b0 the run's 95 % intervals hold.
int held(const CalibrationRun &run, const double b0[3])
{
    if (run.error)
        return 0;
    const Uncertainty u = BootstrapCalibration(run.raw.points(), Hm, DefaultResamples, BootstrapSeed,
                                               run.robustFit(), run.requested == FitModel::Auto);
    int inside = 0;
    for (int i = 0; i < 3; i++)
        inside += u.known && u.bias[i].low <= b0[i] && b0[i] <= u.bias[i].high;
    return inside;
}

MatDoub rowsOf(const MatDoub &points, const std::vector<bool> &leave)
{
    MatDoub kept(int(std::count(leave.begin(), leave.end(), false)), 3);
    for (int k = 0, row = 0; k < points.nrows(); k++)
        if (!leave[size_t(k)])
            std::copy(points[k], points[k] + 3, kept[row++]);
    return kept;
}

double biasApart(const CalibrationRun &run, const CalibrationRun &reference)
{
    if (reference.error)
        return NAN;
    const double b[3] = {reference.parameters.Bias[0][0], reference.parameters.Bias[1][0],
                         reference.parameters.Bias[2][0]};
    return biasError(run, b);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Row {
    std::map<FitModel, std::vector<double>> errors;
    std::map<FitModel, int> inside;
    std::map<std::string, int> chosen;
};

struct Targets {
    std::map<double, std::vector<double>> autoErrors, exactErrors; ///< per cap share, every recording
    std::map<FitModel, int> inside, components;
    int worse = 0, recordings = 0;
};

void grid()
{
    std::printf(
        "Median bias error |b - b0| over %d seeds, %% of Hm, and how many of the 3 x %d bias components "
        "the 95 %% intervals hold\n(2000 readings at 50 Hz along a hand's path, Hm 48, noise shared by "
        "neighbours at 0.8, sensors of random soft iron and bias)\n\n",
        Seeds, Seeds);
    std::printf("%-5s %-6s %-5s %-5s", "cover", "sensor", "noise", "tools");
    for (const FitModel f : Fits)
        std::printf(" %8s", fitModelName(f));
    std::printf("  |");
    for (const FitModel f : Fits)
        std::printf(" %5.5s", fitModelName(f));
    std::printf("  auto chose\n");
    Targets t;
    for (const double share : {1.0, 0.5, 0.3, 0.15})
        for (const double ratio : {1.0, 1.5})
            for (const double noise : {0.005, 0.02})
                for (const int tools : {0, 4}) {
                    Row row;
                    for (int seed = 1; seed <= Seeds; seed++) {
                        const unsigned s =
                            unsigned(1000 * seed + 100 * share + 10 * ratio + 1000 * noise + tools);
                        HandRecording r{handSensor(ratio, Hm, s)};
                        r.Hm = Hm, r.capShare = share, r.sigma = noise * Hm, r.transients = tools, r.seed = s;
                        const MatDoub points = recordHand(r).points;
                        double exact = 0.0;
                        for (const FitModel f : Fits) {
                            const CalibrationRun run = calibrate(points, f);
                            const double e = 100 * biasError(run, r.truth.b0) / Hm;
                            row.errors[f].push_back(e);
                            const int in = held(run, r.truth.b0);
                            row.inside[f] += in;
                            t.inside[f] += in;
                            t.components[f] += 3;
                            if (f == FitModel::Exact)
                                exact = e;
                            if (f == FitModel::Auto) {
                                row.chosen[fitModelName(run.model)]++;
                                if (share < 1) {
                                    t.autoErrors[share].push_back(e);
                                    t.exactErrors[share].push_back(exact);
                                    t.worse += e > 1.25 * exact + 2.0;
                                    t.recordings++;
                                }
                            }
                        }
                    }
                    std::printf("%3d %% %-6s %3.1f %% %-5d", int(share * 100 + 0.5),
                                ratio > 1 ? "1:1.5" : "round", noise * 100, tools);
                    for (const FitModel f : Fits)
                        std::printf(" %8.3f", median(row.errors[f]));
                    std::printf("  |");
                    for (const FitModel f : Fits)
                        std::printf(" %5d", row.inside[f]);
                    std::printf(" ");
                    for (const auto &[name, count] : row.chosen)
                        std::printf(" %s %d", name.c_str(), count);
                    std::printf("\n");
                    std::fflush(stdout);
                }
    std::printf("\nTargets on caps (every sensor, noise and tool of a cap size):\n");
    for (const auto &[share, errors] : t.autoErrors) {
        const double a = median(errors), e = median(t.exactErrors[share]);
        std::printf("  %3d %% caps: auto %.3f, exact %.3f %% of Hm median: %.2f x exact (target <= 0.5)%s\n",
                    int(share * 100 + 0.5), a, e, a / e, share < 0.2 ? ", target <= 15 % of Hm" : "");
    }
    std::printf("  caps where auto > 1.25 x exact + 2 %% of Hm: %d of %d (target 0)\n", t.worse,
                t.recordings);
    std::printf("  95 %% intervals holding the true bias, all rows:");
    for (const FitModel f : Fits)
        std::printf(" %s %.1f %%", fitModelName(f), 100.0 * t.inside[f] / t.components[f]);
    std::printf(" (target >= 90 %%)\n");
}

// The sample's sensor with gross spikes: how far full and auto move from
// their fit of the clean points, and how many spikes they reject.
void spikes()
{
    std::printf(
        "\nGross spikes on 2000 points of the sample's sensor (noise 0.5 %% of Hm): median over %d seeds of "
        "|b - b(clean)|, %% of Hm; spikes rejected\n\n",
        Seeds);
    const char *names[] = {"one at 60 Hm", "one at 1e6", "ten up to 20 Hm", "2 %", "5 %"};
    for (int attack = 0; attack < 5; attack++) {
        std::map<FitModel, std::vector<double>> moved;
        std::map<FitModel, int> rejected;
        int planted = 0;
        for (int seed = 1; seed <= Seeds; seed++) {
            Recording r{sampleTruth};
            r.Hm = Hm, r.sigma = 0.005 * Hm, r.seed = unsigned(seed);
            MatDoub points = record(r).points;
            const CalibrationRun clean = calibrate(points, FitModel::Full);
            const double cleanBias[3] = {clean.parameters.Bias[0][0], clean.parameters.Bias[1][0],
                                         clean.parameters.Bias[2][0]};
            std::vector<int> at;
            if (attack < 3) {
                const int count = attack == 2 ? 10 : 1;
                for (int s = 0; s < count; s++) {
                    const int k = (2 * s + 1) * points.nrows() / (2 * count);
                    const double size = attack == 0 ? 60 * Hm : attack == 1 ? 1e6 : 2.0 * (s + 1) * Hm;
                    points[k][0] = size * std::cos(s + seed), points[k][1] = size * std::sin(s + seed),
                    points[k][2] = attack == 1 ? -size : 0.3 * size;
                    at.push_back(k);
                }
            } else {
                r.spikeShare = attack == 3 ? 0.02 : 0.05, r.minimumSpike = 0.2 * Hm;
                const Recorded spiky = record(r);
                points = spiky.points;
                at.assign(spiky.spikes.begin(), spiky.spikes.end());
            }
            planted += int(at.size());
            for (const FitModel f : {FitModel::Exact, FitModel::Full, FitModel::Auto}) {
                const CalibrationRun run = calibrate(points, f);
                moved[f].push_back(100 * biasError(run, cleanBias) / Hm);
                if (run.robust)
                    for (const int k : at)
                        rejected[f] +=
                            std::count(run.robust->rejected.begin(), run.robust->rejected.end(), k) > 0;
            }
        }
        std::printf("  %-16s exact %9.3f   full %7.3f (%d of %d rejected)   auto %7.3f (%d of %d rejected)\n",
                    names[attack], median(moved[FitModel::Exact]), median(moved[FitModel::Full]),
                    rejected[FitModel::Full], planted, median(moved[FitModel::Auto]),
                    rejected[FitModel::Auto], planted);
    }
    std::printf("  target: full and auto within 0.2 %% of Hm, every spike rejected\n");
}

// Turns about the vertical in a car, with bumps: how far auto's bias lies
// from the data, in their radii (in the plane, for planar).
void turns()
{
    std::printf(
        "\nTurns about the vertical (inclination 60 degrees, 1:1.5 sensors, noise 0.5 %% of Hm): auto's "
        "choice and its bias error, and the bias's distance from the points' mean in their RMS radii\n\n");
    for (const double bumpDegrees : {1.0, 5.0, 12.0}) {
        std::vector<double> errors, radii;
        std::map<std::string, int> chosen;
        for (int seed = 1; seed <= Seeds; seed++) {
            const unsigned s = unsigned(500 + seed);
            HandRecording r{handSensor(1.5, Hm, s)};
            r.Hm = Hm, r.flat = true, r.bump = bumpDegrees * M_PI / 180, r.sigma = 0.005 * Hm, r.seed = s;
            const MatDoub points = recordHand(r).points;
            const CalibrationRun run = calibrate(points, FitModel::Auto);
            if (run.error) {
                chosen["failed"]++;
                continue;
            }
            chosen[fitModelName(run.model)]++;
            const PointSpread spread = SpreadOf(points, nullptr);
            double distance = 0.0, along = 0.0;
            const double *n = run.robust->normal;
            for (int i = 0; i < 3; i++) {
                const double d = run.parameters.Bias[i][0] - spread.mean[i];
                distance += d * d;
                along += run.model == FitModel::Planar ? d * n[i] : 0.0;
            }
            radii.push_back(std::sqrt(std::max(0.0, distance - along * along)) / spread.radius);
        }
        std::printf("  bumps of %4.1f degrees: bias %.2f radii from the points (median; target <= 3) ",
                    bumpDegrees, radii.empty() ? NAN : median(radii));
        for (const auto &[name, count] : chosen)
            std::printf(" %s %d", name.c_str(), count);
        std::printf("\n");
    }
}

// Caps of 15 % of the sphere of few readings, as a short recording made
// in one position gives: each recording lasts 40 seconds, whatever its
// count. Exact's and auto's median bias errors, how often auto's 95 %
// intervals hold the true bias, and what auto chose.
void caps()
{
    std::printf("\nCaps of 15 %% of the sphere, 40 s of readings, noise 1 %% of Hm, sensors round and 1:1.5: "
                "median bias error over %d seeds, %% of Hm\n\n",
                2 * Seeds);
    std::vector<double> autoAll, exactAll;
    int inside = 0, components = 0;
    for (const int n : {78, 150, 300, 500}) {
        std::vector<double> errors[2];
        std::map<std::string, int> chosen;
        int in = 0;
        for (int seed = 1; seed <= 2 * Seeds; seed++) {
            const unsigned s = unsigned(7000 + 10 * n + seed);
            HandRecording r{handSensor(seed % 2 ? 1.5 : 1.0, Hm, s)};
            r.Hm = Hm, r.n = n, r.rate = n / 40.0, r.capShare = 0.15, r.sigma = 0.01 * Hm, r.seed = s;
            const MatDoub points = recordHand(r).points;
            const CalibrationRun exact = calibrate(points, FitModel::Exact);
            const CalibrationRun automatic = calibrate(points, FitModel::Auto);
            errors[0].push_back(100 * biasError(exact, r.truth.b0) / Hm);
            errors[1].push_back(100 * biasError(automatic, r.truth.b0) / Hm);
            chosen[automatic.error ? "failed" : fitModelName(automatic.model)]++;
            in += held(automatic, r.truth.b0);
        }
        inside += in, components += 6 * Seeds;
        autoAll.insert(autoAll.end(), errors[1].begin(), errors[1].end());
        exactAll.insert(exactAll.end(), errors[0].begin(), errors[0].end());
        std::printf("  %3d readings: exact %7.2f   auto %7.2f   auto's intervals hold %2d of %2d ", n,
                    median(errors[0]), median(errors[1]), in, 6 * Seeds);
        for (const auto &[name, count] : chosen)
            std::printf(" %s %d", name.c_str(), count);
        std::printf("\n");
        std::fflush(stdout);
    }
    const double a = median(autoAll), e = median(exactAll);
    std::printf("  all: exact %.2f, auto %.2f %% of Hm: %.2f x exact (target <= 0.33, and <= 15 %% of Hm); "
                "intervals hold %.1f %% (target >= 90 %%)\n",
                e, a, a / e, 100.0 * inside / components);
}

// The sample's sensor turned through every direction for 2000 readings,
// with rests of a growing share of all readings at the start or between
// turns: how far each fit moves from its fit of the same readings without
// the rests, and the least share at which it breaks.
void rests()
{
    const double shares[] = {0.2, 0.4, 0.45, 0.5, 0.55, 0.7, 0.9, 0.95};
    std::printf(
        "\nRests on 2000 turning readings of the sample's sensor (noise 0.5 %% of Hm): median over %d "
        "seeds of |b - b(without rests)|, %% of Hm; a fit breaks beyond %.0f %% of Hm\n",
        Seeds, 100 * BrokenShare);
    for (const RestPlace place : {RestPlace::Start, RestPlace::BetweenTurns}) {
        std::printf("\n  rest %-13s", place == RestPlace::Start ? "at the start" : "between turns");
        for (const FitModel f : Fits)
            std::printf(" %8s", fitModelName(f));
        std::printf("\n");
        std::map<FitModel, double> breaks;
        for (const double share : shares) {
            std::printf("  %3.0f %% of readings", 100 * share);
            for (const FitModel f : Fits) {
                std::vector<double> moved;
                for (int seed = 1; seed <= Seeds; seed++) {
                    HandRecording r{sampleTruth};
                    r.Hm = Hm, r.sigma = 0.005 * Hm, r.restShare = share, r.restAt = place;
                    r.seed = unsigned(300 + seed);
                    const HandRecorded recorded = recordHand(r);
                    const CalibrationRun clean = calibrate(rowsOf(recorded.points, recorded.resting), f);
                    moved.push_back(100 * biasApart(calibrate(recorded.points, f), clean) / Hm);
                }
                const double m = median(moved);
                std::printf(" %8.3f", m);
                if (!(m <= 100 * BrokenShare) && !breaks.count(f))
                    breaks[f] = share;
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        std::printf("  breaks at        ");
        for (const FitModel f : Fits)
            if (breaks.count(f))
                std::printf(" %6.0f %%", 100 * breaks[f]);
            else
                std::printf(" %8s", "never");
        std::printf("\n");
    }
}

// A robot turning on a level floor, resting between its turns: the exact
// fit's verdict, auto's choice, and how far planar and auto move from their
// fit of the turning readings alone; a long recording of many rests, and a
// short one of two.
void floorTurns()
{
    std::printf(
        "\nA floor robot's turns with rests between them (1:1.5 sensors, inclination 60 degrees, noise "
        "0.5 %% of Hm): median over %d seeds of |b - b(without rests)|, %% of Hm\n",
        Seeds);
    for (const auto &[turning, rests] : {std::pair<int, int>{2000, 8}, {300, 2}}) {
        std::printf("\n  %d turning readings, %d rests\n", turning, rests);
        std::map<FitModel, double> breaks;
        for (const double share : {0.0, 0.3, 0.5, 0.7, 0.9}) {
            std::map<FitModel, std::vector<double>> moved;
            std::map<std::string, int> verdicts, chosen;
            for (int seed = 1; seed <= Seeds; seed++) {
                const unsigned s = unsigned(900 + seed);
                HandRecording r = floorRobot(handSensor(1.5, Hm, s), share, s);
                r.Hm = Hm, r.sigma = 0.005 * Hm, r.n = turning, r.rests = rests;
                const HandRecorded recorded = recordHand(r);
                const MatDoub alone = rowsOf(recorded.points, recorded.resting);
                const CalibrationRun exact = calibrate(recorded.points, FitModel::Exact);
                verdicts[exact.error ? "failed" : verdictName(AssessCalibration(exact, Hm).verdict)]++;
                for (const FitModel f : {FitModel::Planar, FitModel::Auto}) {
                    const CalibrationRun run = calibrate(recorded.points, f);
                    moved[f].push_back(100 * biasApart(run, calibrate(alone, f)) / Hm);
                    if (f == FitModel::Auto)
                        chosen[run.error ? "failed" : fitModelName(run.model)]++;
                }
            }
            std::printf("  rest %3.0f %%: planar %8.3f   auto %8.3f   exact's verdict", 100 * share,
                        median(moved[FitModel::Planar]), median(moved[FitModel::Auto]));
            for (const auto &[name, count] : verdicts)
                std::printf(" %s %d", name.c_str(), count);
            std::printf("   auto chose");
            for (const auto &[name, count] : chosen)
                std::printf(" %s %d", name.c_str(), count);
            std::printf("\n");
            std::fflush(stdout);
            for (const FitModel f : {FitModel::Planar, FitModel::Auto})
                if (!(median(moved[f]) <= 100 * BrokenShare) && !breaks.count(f))
                    breaks[f] = share;
        }
        std::printf("  breaks at:");
        for (const FitModel f : {FitModel::Planar, FitModel::Auto})
            std::printf(" %s %s", fitModelName(f),
                        breaks.count(f) ? (std::to_string(int(100 * breaks[f] + 0.5)) + " %").c_str()
                                        : "never");
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1)
        Seeds = std::max(1, std::atoi(argv[1]));
    const std::map<std::string, void (*)()> sections = {{"grid", grid},   {"spikes", spikes},
                                                        {"turns", turns}, {"caps", caps},
                                                        {"rests", rests}, {"floor", floorTurns}};
    std::vector<std::string> chosen(argv + std::min(argc, 2), argv + argc);
    for (const std::string &name : chosen)
        if (!sections.count(name)) {
            std::fprintf(stderr, "usage: accuracy [seeds] [grid|spikes|turns|caps|rests|floor ...]\n");
            return 2;
        }
    if (chosen.empty())
        chosen = {"grid", "spikes", "turns", "caps", "rests", "floor"};
    for (const std::string &name : chosen)
        sections.at(name)();
}
