#include "fitchoice.h"

#include "pointspread.h"
#include "quality.h"

#include <QStringList>

#include <cmath>

namespace tavrin {

namespace {

double informationCriterion(const RobustFit &fit, int points, int parameters)
{
    const double kept = points - double(fit.rejected.size());
    return kept * std::log(fit.scale * fit.scale) + parameters * std::log(kept);
}

} // namespace

FitChoice ChooseFit(Points points, double Hm, const WorkControl &control)
{
    FitChoice choice;
    const PlaneSpread plane = SpreadAboutPlane(points);
    if (plane.flatness() < QualityLimits::MaxFlatness) {
        choice.model = FitModel::Planar;
        choice.reason = QStringLiteral("planar: the points spread across their plane by %1 % of their radius "
                                       "in it, less than %2 %: a turn about one axis")
                            .arg(100 * plane.flatness(), 0, 'f', 1)
                            .arg(100 * QualityLimits::MaxFlatness, 0, 'f', 0);
        return choice;
    }
    const std::optional<RobustFit> sphere =
        FitRobust(points, Hm, FitModel::Sphere, nullptr, nullptr, control);
    if (!sphere) {
        choice.reason = QStringLiteral("full: no sphere fits the points to judge their coverage by");
        return choice;
    }
    const QualityReport q = AssessQuality(points, QuadricOf(sphere->parameters, Hm), sphere->parameters, Hm);
    const QString coverage = QStringLiteral("%1 of %2 cells hit, largest empty cap %3 degrees")
                                 .arg(q.cellsHit)
                                 .arg(q.cellHit.size())
                                 .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1);
    if (!q.findings.emptyCap && !q.findings.fewCells) {
        choice.reason = QStringLiteral("full: the directions cover the sphere (%1)").arg(coverage);
        return choice;
    }
    // On part of the sphere the models differ most: the information
    // criterion weighs how much closer each one comes to the points against
    // the parameters it needs, and the least wins.
    double best = INFINITY;
    QStringList criteria;
    for (const FitModelInfo &c : autoCandidates()) {
        std::optional<RobustFit> fit =
            c.model == FitModel::Sphere ? sphere : FitRobust(points, Hm, c.model, nullptr, nullptr, control);
        const double criterion = fit ? informationCriterion(*fit, points.size(), c.parameters) : INFINITY;
        criteria
            << QStringLiteral("%1 %2").arg(QLatin1String(fitModelName(c.model))).arg(criterion, 0, 'f', 1);
        if (criterion < best) {
            best = criterion;
            choice.model = c.model;
            choice.fit = std::move(fit);
        }
    }
    choice.reason =
        QStringLiteral("%1: poor coverage (%2); of the fits it leaves, the least information criterion (%3)")
            .arg(QLatin1String(fitModelName(choice.model)), coverage, criteria.join(QStringLiteral(", ")));
    return choice;
}

} // namespace tavrin
