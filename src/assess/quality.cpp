#include "quality.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

struct NormErrorSums {
    double sum = 0.0, squares = 0.0, max = 0.0;

    void add(double e)
    {
        const double a = std::abs(e);
        sum += a;
        squares += a * a;
        max = std::max(max, a);
    }

    NormError over(int n) const { return {sum / n, std::sqrt(squares / n), max}; }
};

bool finite(const double c[3])
{
    return std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]);
}

void judge(QualityReport &q, const EllipsoidFit &fit, double Hm, int sampled)
{
    using namespace QualityLimits;
    QualityReport::Findings &f = q.findings;
    f.flat = q.plane.flatness() < MaxFlatness;
    f.residual = q.coreRms > MaxRmsShareOfHm * std::abs(Hm);
    f.folded = q.calibratedCellsHit < MinCellShare * std::min(q.cellsHit, sampled);
    f.shape = fit.outlierWarning;
    f.farPoints = q.farPoints > MaxFarShare * q.points;
    f.emptyCap = q.largestEmptyCap.radiusDegrees() > MaxEmptyCapDegrees;
    f.fewCells = q.cellsHit < MinCellShare * std::min(Cells, q.points);
    q.verdict = f.flat                     ? Verdict::FlatRotation
                : f.emptyCap || f.fewCells ? Verdict::PoorCoverage
                : f.residual || f.folded   ? Verdict::PoorFit
                : f.farPoints              ? Verdict::LikelyOutliers
                                           : Verdict::Good;
}

} // namespace

std::optional<std::array<double, 3>> RobustSphereCentre(Points points, double Hm, const WorkControl &control)
{
    // A centre for counting directions needs no more than an even sample.
    const int stride = subsampleStride(points.size());
    MatDoub sample((points.size() + stride - 1) / stride, 3);
    for (int k = 0; k < sample.nrows(); k++)
        std::copy(points[k * stride], points[k * stride] + 3, sample[k]);
    const std::optional<RobustFit> sphere =
        FitRobust(sample, Hm, FitModel::Sphere, RobustFitOptions().controlledBy(control));
    if (!sphere)
        return std::nullopt;
    return std::array<double, 3>{sphere->parameters.Bias[0][0], sphere->parameters.Bias[1][0],
                                 sphere->parameters.Bias[2][0]};
}

const char *verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::FlatRotation:
        return "flat rotation";
    case Verdict::Good:
        return "good";
    case Verdict::PoorCoverage:
        return "poor coverage";
    case Verdict::LikelyOutliers:
        return "likely outliers";
    case Verdict::PoorFit:
        return "poor fit";
    }
    return "";
}

Coverage CoverageAbout(Points points, const double centre[3])
{
    const int n = points.size();
    Coverage q;
    std::copy(centre, centre + 3, q.centre);
    const auto direction = [&](const double *h, double c[3]) {
        for (int i = 0; i < 3; i++)
            c[i] = h[i] - q.centre[i];
    };

    // Good data hits every cell and fills every patch of the sampler long
    // before its end; the lookups stop there.
    const EqualAreaCells cells(QualityLimits::Cells);
    q.cellHit.assign(cells.size(), false);
    DirectionSampler sampler;
    for (int k = 0; k < n && !(q.cellsHit == cells.size() && sampler.full()); k++) {
        double c[3];
        direction(points[k], c);
        // A point at the centre has no direction, nor one too far from it for doubles.
        if ((c[0] == 0 && c[1] == 0 && c[2] == 0) || !finite(c))
            continue;
        if (q.cellsHit < cells.size()) {
            const double r = std::hypot(c[0], c[1], c[2]);
            const int cell = cells.cellOf(c[0] / r, c[1] / r, c[2] / r);
            q.cellsHit += !q.cellHit[cell];
            q.cellHit[cell] = true;
        }
        sampler.add({c[0], c[1], c[2]});
    }
    q.largestEmptyCap = largestEmptyCapOfSample(sampler.sample());

    // The empty cap, which the search measured against the sample, is
    // measured here against every point: no point can be farther from its
    // centre than the sample. A block of points is first sifted, without a
    // branch, for those not surely outside the cap as it stood; a point
    // outside it then is outside any larger one, and only those sifted out
    // are measured, in their order. Should a measure shrink the cap's
    // cosine, the sifting starts again after that point.
    const Direction &u = q.largestEmptyCap.centre;
    const auto along = [&](const double c[3]) { return c[0] * u[0] + c[1] * u[1] + c[2] * u[2]; };
    double nearest = std::cos(q.largestEmptyCap.radius);
    constexpr int Block = 1024;
    int inDoubt[Block];
    for (int from = 0; from < n;) {
        const int end = std::min(n, from + Block);
        const double sifted = nearest;
        int count = 0;
        for (int k = from; k < end; k++) {
            double c[3];
            direction(points[k], c);
            inDoubt[count] = k;
            count += !SurelyOutsideCap(c, along(c), sifted);
        }
        from = end;
        for (int j = 0; j < count; j++) {
            const int k = inDoubt[j];
            double c[3];
            direction(points[k], c);
            const double a = along(c);
            if (SurelyOutsideCap(c, a, nearest))
                continue;
            const double r = std::hypot(c[0], c[1], c[2]);
            // The cosine of the angle to the centre is above nearest; r = 0 never is.
            if (a > nearest * r) {
                nearest = a / r;
                if (nearest < sifted) {
                    from = k + 1;
                    break;
                }
            }
        }
    }
    q.largestEmptyCap.radius = std::acos(std::clamp(nearest, -1.0, 1.0));
    return q;
}

CalibratedErrors CalibratedErrorsOf(Points points, const CalibrationParameters &p, double Hm)
{
    const int n = points.size();
    const Calibrator calibrate(p);
    CalibratedErrors q;
    // A robust sigma of e from the median of |e| over an even subsample: a
    // few outliers barely move it. The calibrated directions of the sample
    // must cover the sphere as the points do: a fit pulled through a gross
    // point can map every other point near one direction, each at the norm Hm.
    const int stride = evenSampleStride(n);
    std::vector<double> magnitudes;
    const EqualAreaCells cells(QualityLimits::Cells);
    std::vector<bool> hit(size_t(cells.size()), false);
    for (int k = 0; k < n; k += stride) {
        double c[3];
        calibrate(points[k], c);
        const double r = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        magnitudes.push_back(std::abs(r - Hm));
        if (r > 0 && std::isfinite(r)) {
            const int cell = cells.cellOf(c[0] / r, c[1] / r, c[2] / r);
            q.calibratedCellsHit += !hit[size_t(cell)];
            hit[size_t(cell)] = true;
        }
    }
    q.sampled = int(magnitudes.size());
    const double robustSigma = 1.4826 * medianOf(magnitudes);
    q.farLimit = std::max(QualityLimits::FarSigmas * robustSigma, QualityLimits::FarShareOfHm * std::abs(Hm));

    // The norms of a block first, then their sums in the points' order: the
    // square roots of one point need not wait on the sums of the one before.
    NormErrorSums before, after, core;
    constexpr int Block = 256;
    double biasFree[Block], calibrated[Block];
    for (int from = 0; from < n; from += Block) {
        const int count = std::min(Block, n - from);
        for (int j = 0; j < count; j++) {
            biasFree[j] = calibrate.biasFreeNorm(points[from + j]);
            calibrated[j] = calibrate.calibratedNorm(points[from + j]);
        }
        for (int j = 0; j < count; j++) {
            before.add(biasFree[j] - Hm);
            const double e = calibrated[j] - Hm;
            if (std::abs(e) > after.max)
                q.worstPoint = from + j;
            after.add(e);
            if (std::abs(e) > q.farLimit)
                q.farPoints++;
            else
                core.add(e);
        }
    }
    q.before = before.over(n);
    q.after = after.over(n);
    q.coreRms = n > q.farPoints ? core.over(n - q.farPoints).rms : 0.0;
    return q;
}

QualityReport JudgeQuality(int points, const EllipsoidFit &fit, double Hm, const PlaneSpread &plane,
                           const Coverage &coverage, const CalibratedErrors &errors)
{
    QualityReport q;
    q.points = points;
    q.hm = Hm;
    q.testValue = fit.TestEllip;
    q.plane = plane;
    std::copy(coverage.centre, coverage.centre + 3, q.centre);
    q.cellHit = coverage.cellHit;
    q.cellsHit = coverage.cellsHit;
    q.largestEmptyCap = coverage.largestEmptyCap;
    q.before = errors.before;
    q.after = errors.after;
    q.farLimit = errors.farLimit;
    q.farPoints = errors.farPoints;
    q.worstPoint = errors.worstPoint;
    q.coreRms = errors.coreRms;
    q.calibratedCellsHit = errors.calibratedCellsHit;
    judge(q, fit, Hm, errors.sampled);
    return q;
}

const SpreadBesideGross &PointsOutline::spread()
{
    const std::lock_guard<std::mutex> hold(spreadLock);
    if (!spreadFound)
        spreadFound = SpreadWithoutGross(outlined);
    return *spreadFound;
}

const PlaneSpread &PointsOutline::plane()
{
    const std::lock_guard<std::mutex> hold(planeLock);
    if (!planeFound)
        planeFound = SpreadAboutPlane(outlined, &spread());
    return *planeFound;
}

std::optional<std::array<double, 3>> PointsOutline::sphereCentre(double Hm, const WorkControl &control)
{
    const std::lock_guard<std::mutex> hold(sphereLock);
    if (!sphereFound || sphereHm != Hm)
        sphereFound = RobustSphereCentre(outlined, Hm, control);
    sphereHm = Hm;
    return *sphereFound;
}

Coverage PointsOutline::coverage(const double centre[3])
{
    const std::lock_guard<std::mutex> hold(coverageLock);
    if (!coverageFound || !std::equal(centre, centre + 3, coverageFound->centre))
        coverageFound = CoverageAbout(outlined, centre);
    return *coverageFound;
}

QualityReport AssessQuality(Points points, const EllipsoidFit &fit, const CalibrationParameters &p, double Hm,
                            const double *centre)
{
    const double bias[3] = {p.Bias[0][0], p.Bias[1][0], p.Bias[2][0]};
    return JudgeQuality(points.size(), fit, Hm, SpreadAboutPlane(points),
                        CoverageAbout(points, centre ? centre : bias), CalibratedErrorsOf(points, p, Hm));
}

} // namespace tavrin
