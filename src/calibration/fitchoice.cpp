#include "fitchoice.h"

#include "pointspread.h"
#include "quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrin {

namespace {

std::string format(const char *pattern, double a, double b = 0.0, double c = 0.0)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

double informationCriterion(const RobustFit &fit, int points, int parameters)
{
    const double kept = points - double(fit.rejected.size());
    return kept * std::log(fit.scale * fit.scale) + parameters * std::log(kept);
}

} // namespace

FitChoice ChooseFit(Points points, double Hm)
{
    FitChoice choice;
    const PlaneSpread plane = SpreadAboutPlane(points);
    if (plane.flatness() < QualityLimits::MaxFlatness) {
        choice.model = FitModel::Planar;
        choice.reason =
            format("planar: the points spread across their plane by %.1f %% of their radius in it, "
                   "less than %.0f %%: a turn about one axis",
                   100 * plane.flatness(), 100 * QualityLimits::MaxFlatness);
        return choice;
    }
    const std::optional<RobustFit> sphere = FitRobust(points, Hm, FitModel::Sphere);
    if (!sphere) {
        choice.reason = "full: no sphere fits the points to judge their coverage by";
        return choice;
    }
    const QualityReport q = AssessQuality(points, QuadricOf(sphere->parameters, Hm), sphere->parameters, Hm);
    const std::string coverage = format("%.0f of %.0f cells hit, largest empty cap %.1f degrees", q.cellsHit,
                                        double(q.cellHit.size()), q.largestEmptyCap.radiusDegrees());
    if (!q.findings.emptyCap && !q.findings.fewCells) {
        choice.reason = "full: the directions cover the sphere (" + coverage + ")";
        return choice;
    }
    // On part of the sphere the models differ most: the information
    // criterion weighs how much closer each one comes to the points against
    // the parameters it needs, and the least wins.
    const struct {
        FitModel model;
        int parameters;
    } candidates[] = {{FitModel::Sphere, 4}, {FitModel::Diagonal, 6}, {FitModel::Full, 9}};
    double best = INFINITY;
    std::string criteria;
    for (const auto &c : candidates) {
        std::optional<RobustFit> fit = c.model == FitModel::Sphere ? sphere : FitRobust(points, Hm, c.model);
        const double criterion = fit ? informationCriterion(*fit, points.size(), c.parameters) : INFINITY;
        criteria +=
            (criteria.empty() ? "" : ", ") + std::string(fitModelName(c.model)) + format(" %.1f", criterion);
        if (criterion < best) {
            best = criterion;
            choice.model = c.model;
            choice.fit = std::move(fit);
        }
    }
    choice.reason = std::string(fitModelName(choice.model)) + ": poor coverage (" + coverage +
                    "); of the fits it leaves, the least information criterion (" + criteria + ")";
    return choice;
}

void CoverageCentre(Points points, double Hm, const RobustFit *fit, const CalibrationParameters &p,
                    double centre[3])
{
    // A centre for counting directions needs no more than an even sample.
    std::optional<RobustFit> sphere;
    if (!fit || fit->model == FitModel::Planar) {
        const int stride = std::max(1, points.size() / RobustLimits::SubsampleSize);
        MatDoub sample((points.size() + stride - 1) / stride, 3);
        for (int k = 0; k < sample.nrows(); k++)
            std::copy(points[k * stride], points[k * stride] + 3, sample[k]);
        sphere = FitRobust(sample, Hm, FitModel::Sphere);
    }
    const CalibrationParameters &from = fit && fit->model != FitModel::Planar ? fit->parameters
                                        : sphere                              ? sphere->parameters
                                                                              : p;
    for (int i = 0; i < 3; i++)
        centre[i] = from.Bias[i][0];
}

} // namespace tavrin
