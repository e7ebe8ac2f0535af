// How close each fit comes to the truth on recordings of known truth: the
// median bias error over ten seeds on a grid of coverage, noise and spikes,
// and for a turn about one axis the headings and the verdicts. Not a test:
// run by hand, see the README.
#include "calibration.h"
#include "gaussj.h"
#include "pointspread.h"
#include "quality.h"
#include "synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

constexpr double Hm = 48.0;
constexpr int Seeds = 10;
const FitModel Fits[] = {FitModel::Exact,  FitModel::Full,   FitModel::Diagonal,
                         FitModel::Sphere, FitModel::Planar, FitModel::Auto};

CalibrationRun calibrate(const MatDoub &points, FitModel model)
{
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const NrErrorSink silenced(nullptr);
    return CalibrateRawData(Hm, raw, model);
}

double biasError(const CalibrationRun &run, const Truth &t)
{
    if (run.error)
        return INFINITY;
    double squares = 0.0;
    for (int i = 0; i < 3; i++)
        squares += SQR(run.parameters.Bias[i][0] - t.b0[i]);
    return std::sqrt(squares);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Headings in the plane of the turn, in the basis that PlaneBasis gives its
// normal, which points up; the true calibration's plane is z = const.
double heading(const double c[3], const double n[3])
{
    double e1[3], e2[3];
    PlaneBasis(n, e1, e2);
    return std::atan2(c[0] * e2[0] + c[1] * e2[1] + c[2] * e2[2], c[0] * e1[0] + c[1] * e1[1] + c[2] * e1[2]);
}

// The RMS, in degrees, of the differences between the headings of a
// calibration and those of the true one, once their mean is taken off: a
// constant offset is the compass's alignment, which no calibration of the
// points can tell.
double headingRms(const CalibrationRun &run, const MatDoub &points, const Truth &t)
{
    if (run.error)
        return INFINITY;
    CalibrationParameters truth;
    truth.Bias = MatDoub(3, 1);
    MatDoub A(3, 3);
    for (int i = 0; i < 3; i++) {
        truth.Bias[i][0] = t.b0[i];
        for (int j = 0; j < 3; j++)
            A[i][j] = t.A0[i][j];
    }
    truth.Ainv = A;
    gaussj(truth.Ainv);
    const Calibrator trueCalibration(truth), calibration(run.parameters);
    const double up[3] = {0, 0, 1};
    const double *n = run.robust && run.model == FitModel::Planar ? run.robust->normal : up;
    std::vector<double> differences;
    double sine = 0.0, cosine = 0.0;
    for (int k = 0; k < points.nrows(); k++) {
        double c[3], ct[3];
        calibration(points[k], c);
        trueCalibration(points[k], ct);
        const double d = heading(c, n) - std::atan2(ct[1], ct[0]);
        differences.push_back(d);
        sine += std::sin(d);
        cosine += std::cos(d);
    }
    const double mean = std::atan2(sine, cosine);
    double squares = 0.0;
    for (const double d : differences)
        squares += SQR(std::remainder(d - mean, 2 * M_PI));
    return std::sqrt(squares / double(differences.size())) * 180 / M_PI;
}

void grid()
{
    std::printf("Median bias error |b - b0| over %d seeds, %% of Hm (2000 points, Hm 48, A0 and b0 of "
                "data/sample.txt)\n\n",
                Seeds);
    std::printf("%-8s %-6s %-6s", "cover", "noise", "spikes");
    for (const FitModel f : Fits)
        if (f != FitModel::Planar)
            std::printf(" %9s", fitModelName(f));
    std::printf("   auto chose\n");
    for (const double share : {1.0, 0.5, 0.3, 0.15})
        for (const double noise : {0.005, 0.02})
            for (const double spikes : {0.0, 0.02}) {
                std::map<FitModel, std::vector<double>> errors;
                std::map<std::string, int> chosen;
                for (int seed = 1; seed <= Seeds; seed++) {
                    Recording r{sampleTruth};
                    r.Hm = Hm, r.capShare = share, r.sigma = noise * Hm, r.spikeShare = spikes;
                    r.seed = unsigned(1000 * seed + 100 * share + 10 * noise + spikes);
                    const MatDoub points = record(r).points;
                    for (const FitModel f : Fits) {
                        if (f == FitModel::Planar)
                            continue;
                        const CalibrationRun run = calibrate(points, f);
                        errors[f].push_back(100 * biasError(run, sampleTruth) / Hm);
                        if (f == FitModel::Auto)
                            chosen[fitModelName(run.model)]++;
                    }
                }
                std::printf("%-8s %-6s %-6s", (std::to_string(int(share * 100)) + " %").c_str(),
                            (std::to_string(noise * 100).substr(0, 3) + " %").c_str(),
                            spikes > 0 ? "2 %" : "0");
                for (const FitModel f : Fits)
                    if (f != FitModel::Planar)
                        std::printf(" %9.3f", median(errors[f]));
                std::printf("  ");
                for (const auto &[name, count] : chosen)
                    std::printf(" %s %d", name.c_str(), count);
                std::printf("\n");
            }
}

void flat()
{
    std::printf(
        "\nFlat rotation: turns about z under inclination 60 degrees, 2000 points, noise 0.5 %% of Hm;\n"
        "median RMS heading difference to the true calibration over %d seeds (degrees), verdicts\n\n",
        Seeds);
    std::map<FitModel, std::vector<double>> rms;
    std::map<FitModel, std::map<std::string, int>> verdicts;
    for (int seed = 1; seed <= Seeds; seed++) {
        Recording r{sampleTruth};
        r.Hm = Hm, r.flat = true, r.sigma = 0.005 * Hm, r.seed = unsigned(seed);
        const MatDoub points = record(r).points;
        for (const FitModel f : Fits) {
            const CalibrationRun run = calibrate(points, f);
            rms[f].push_back(headingRms(run, points, sampleTruth));
            if (run.error) {
                verdicts[f]["failed"]++;
                continue;
            }
            verdicts[f][verdictName(AssessCalibration(run, Hm).verdict)]++;
        }
    }
    for (const FitModel f : Fits) {
        std::printf("%-9s %8.3f   ", fitModelName(f), median(rms[f]));
        for (const auto &[name, count] : verdicts[f])
            std::printf(" %s %d", name.c_str(), count);
        std::printf("\n");
    }
}

} // namespace

int main()
{
    grid();
    flat();
}
