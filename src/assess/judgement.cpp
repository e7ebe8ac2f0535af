#include "judgement.h"

#include <atomic>
#include <cmath>
#include <functional>

namespace tavrin {

namespace {

// The gross points of a fit that folded the sphere, which are what usually
// pulls it there, and the one farthest from the centre of the coverage.
void nameGrossPoints(Points points, const std::vector<bool> &gross, QualityReport &q)
{
    double farthest = -1.0;
    for (int k = 0; k < points.size(); k++) {
        if (!gross[size_t(k)])
            continue;
        q.grossPoints++;
        const double distance =
            std::hypot(points[k][0] - q.centre[0], points[k][1] - q.centre[1], points[k][2] - q.centre[2]);
        if (!(distance <= farthest)) {
            farthest = distance;
            q.farthestGross = k;
            std::copy(points[k], points[k] + 3, q.farthestValue);
        }
    }
}

// Runs parts that share nothing on control's threads, each thread taking
// the next part not yet taken.
void runParts(const WorkControl &control, const std::vector<std::function<void()>> &parts)
{
    std::atomic<size_t> next{0};
    control.inParallel(int(parts.size()), [&](int, int) {
        for (size_t part; (part = next++) < parts.size();)
            parts[part]();
    });
}

} // namespace

QualityReport AssessCalibration(PointsOutline &outline, const JudgedFit &judged, double Hm,
                                const WorkControl &control)
{
    const Points points = outline.points();
    const double judgedNorm = judged.robust ? judged.robust->calibratedNorm : Hm;
    const CalibrationParameters &p = judged.parameters;
    Coverage coverage;
    PlaneSpread plane;
    CalibratedErrors errors;
    HmUnitCheck hmUnit;
    // The robust centre's fit takes no thread of its own.
    runParts(control,
             {[&] {
                  const std::optional<std::array<double, 3>> sphere =
                      outline.sphereCentre(Hm, control.withThreads(1));
                  const double bias[3] = {p.Bias[0][0], p.Bias[1][0], p.Bias[2][0]};
                  coverage = outline.coverage(sphere ? sphere->data() : bias);
              },
              [&] { plane = outline.plane(); }, [&] { errors = CalibratedErrorsOf(points, p, judgedNorm); },
              [&] {
                  // A planar fit does not scale by Hm, whose unit then changes nothing.
                  if (judged.model != FitModel::Planar)
                      hmUnit = CheckHmUnit(points, p, Hm);
              }});
    QualityReport q = JudgeQuality(points.size(), judged.quadric, judgedNorm, plane, coverage, errors);
    q.hmUnit = hmUnit;
    if (q.findings.folded)
        nameGrossPoints(points, outline.spread().gross, q);
    return q;
}

} // namespace tavrin
