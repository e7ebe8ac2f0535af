#include "fitchoice.h"

#include "quality.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace tavrin {

namespace {

// The eigenvalues of a symmetric 3x3 matrix, by the trigonometric solution
// of its characteristic cubic.
std::array<double, 3> symmetricEigenvalues(const MatDoub &m)
{
    const double off = SQR(m[0][1]) + SQR(m[0][2]) + SQR(m[1][2]);
    const double q = (m[0][0] + m[1][1] + m[2][2]) / 3;
    const double p2 = SQR(m[0][0] - q) + SQR(m[1][1] - q) + SQR(m[2][2] - q) + 2 * off;
    if (p2 <= 0)
        return {q, q, q};
    const double p = std::sqrt(p2 / 6);
    double b[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            b[i][j] = (m[i][j] - (i == j ? q : 0.0)) / p;
    const double det = b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                       b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                       b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0]);
    const double phi = std::acos(std::clamp(det / 2, -1.0, 1.0)) / 3;
    const double largest = q + 2 * p * std::cos(phi), smallest = q + 2 * p * std::cos(phi + 2 * M_PI / 3);
    return {largest, 3 * q - largest - smallest, smallest};
}

// A turn about one axis, which only the planar fit calibrates.
bool liesFlat(const PlaneSpread &plane)
{
    return plane.flatness() < QualityLimits::MaxFlatness;
}

QString percentOfHm(double squared, double Hm)
{
    if (!std::isfinite(squared))
        return QStringLiteral("beyond measure");
    return QString::number(100 * std::sqrt(std::max(squared, 0.0)) / std::abs(Hm), 'f', 2);
}

// A unit vector to two decimals, with no sign on a zero.
QString axisText(const double v[3])
{
    QStringList components;
    for (int i = 0; i < 3; i++)
        components << QString::number(std::abs(v[i]) < 0.005 ? 0.0 : v[i], 'f', 2);
    return components.join(QStringLiteral(", "));
}

// The centre about which the choice counts directions: the robust sphere's,
// or without one the origin.
std::array<double, 3> directionsCentre(PointsOutline &outline, double Hm, const WorkControl &control)
{
    const std::optional<std::array<double, 3>> sphere = outline.sphereCentre(Hm, control);
    return sphere ? *sphere : std::array<double, 3>{0.0, 0.0, 0.0};
}

} // namespace

bool CoverTheSphere(PointsOutline &outline, double Hm, QString *coverage, const WorkControl &control)
{
    const std::array<double, 3> centre = directionsCentre(outline, Hm, control);
    const QualityReport q = JudgeQuality(outline.points().size(), EllipsoidFit(), Hm, PlaneSpread(),
                                         outline.coverage(centre.data()), CalibratedErrors());
    if (coverage)
        *coverage = QStringLiteral("%1 of %2 cells hit, largest empty cap %3 degrees")
                        .arg(q.cellsHit)
                        .arg(q.cellHit.size())
                        .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1);
    return !q.findings.emptyCap && !q.findings.fewCells;
}

double CorrelationTime(Points points, const RobustFit &fit)
{
    const int n = points.size();
    const Calibrator calibrate(fit.parameters);
    std::vector<double> e(static_cast<size_t>(n)), magnitudes;
    for (int k = 0; k < n; k++)
        e[size_t(k)] = calibrate.calibratedNorm(points[k]) - fit.calibratedNorm;
    for (int k = 0; k < n; k += std::max(1, n / 20000))
        magnitudes.push_back(std::abs(e[size_t(k)]));
    std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2, magnitudes.end());
    const double clip = 3 * 1.4826 * magnitudes[magnitudes.size() / 2];
    double mean = 0.0;
    for (double &v : e) {
        v = std::clamp(v, -clip, clip);
        mean += v / n;
    }
    double variance = 0.0;
    for (double &v : e) {
        v -= mean;
        variance += v * v;
    }
    const int lags = std::min(n / 20, ChoiceLimits::LongestCorrelation);
    double time = 1.0;
    for (int lag = 1; lag <= lags && variance > 0; lag++) {
        double sum = 0.0;
        for (int k = lag; k < n; k++)
            sum += e[size_t(k)] * e[size_t(k - lag)];
        const double correlation = sum / variance;
        if (correlation < ChoiceLimits::LeastCorrelation)
            break;
        time += 2 * correlation;
    }
    return time;
}

// Where a rest holds half the readings or more, their coordinate-wise
// median lies in it and the 99th percentile of the distances among the
// turns; elsewhere few readings lie so near the median. No centre enters,
// as none can be trusted when every fit has failed.
double RestingShare(Points points)
{
    const int n = points.size(), stride = evenSampleStride(n);
    if (n == 0)
        return 0.0;
    double median[3];
    for (int i = 0; i < 3; i++) {
        std::vector<double> values;
        for (int k = 0; k < n; k += stride)
            values.push_back(points[k][i]);
        median[i] = medianOf(values);
    }
    std::vector<double> distances(static_cast<size_t>(n));
    for (int k = 0; k < n; k++)
        distances[size_t(k)] =
            std::hypot(points[k][0] - median[0], points[k][1] - median[1], points[k][2] - median[2]);
    std::vector<double> sample;
    for (int k = 0; k < n; k += stride)
        sample.push_back(distances[size_t(k)]);
    const size_t high = size_t(0.99 * double(sample.size() - 1));
    std::nth_element(sample.begin(), sample.begin() + long(high), sample.end());
    const double width = ChoiceLimits::AttitudeWidth * sample[high];
    return double(std::count_if(distances.begin(), distances.end(), [&](double d) { return d <= width; })) /
           n;
}

Candidate CandidateOf(const RobustFit &fit, double correlationTime)
{
    Candidate c;
    c.model = fit.model;
    for (int i = 0; i < 3; i++) {
        c.bias[i] = fit.parameters.Bias[i][0];
        for (int j = 0; j < 3; j++)
            c.covariance[i][j] = correlationTime * fit.biasCovariance[i][j];
    }
    return c;
}

QString Implausibility(const CalibrationParameters &p, const PointSpread &spread)
{
    double distance = 0.0;
    for (int i = 0; i < 3; i++)
        distance += SQR(p.Bias[i][0] - spread.mean[i]);
    const double radii = std::sqrt(distance) / spread.radius;
    if (!(radii <= ChoiceLimits::MaxBiasRadii))
        return QStringLiteral("its bias lies %1 radii of the points from their mean, beyond %2")
            .arg(radii, 0, 'f', 1)
            .arg(ChoiceLimits::MaxBiasRadii, 0, 'f', 0);
    // A is symmetric positive definite for every model but the planar one,
    // whose axis along the normal is one.
    const std::array<double, 3> axes = symmetricEigenvalues(p.A);
    const double ratio = axes[0] / axes[2];
    if (!(axes[2] > 0) || !(ratio <= ChoiceLimits::MaxAxisRatio))
        return QStringLiteral("its axes differ by 1 : %1, beyond 1 : %2")
            .arg(ratio, 0, 'f', 1)
            .arg(ChoiceLimits::MaxAxisRatio, 0, 'f', 0);
    return QString();
}

double SubsetVariance(Points points, double Hm, const RobustFit &fit, const WorkControl &control)
{
    const int n = points.size(), runs = ChoiceLimits::SubsetRuns;
    if (n > ChoiceLimits::MostSubsetPoints)
        return 0.0;
    std::vector<int> weights(static_cast<size_t>(n));
    std::array<std::array<double, 3>, ChoiceLimits::SubsetRuns> biases;
    std::array<double, 3> mean = {};
    for (int r = 0; r < runs; r++) {
        for (int k = 0; k < n; k++)
            weights[size_t(k)] = k * runs / n != r;
        const std::optional<RobustFit> refit = FitRobust(
            points, Hm, fit.model,
            RobustFitOptions().weighted(weights.data()).startingFrom(&fit.parameters).controlledBy(control));
        if (!refit)
            return control.cancelled() ? 0.0 : INFINITY;
        for (int i = 0; i < 3; i++) {
            biases[size_t(r)][size_t(i)] = refit->parameters.Bias[i][0];
            mean[size_t(i)] += refit->parameters.Bias[i][0] / runs;
        }
    }
    double squares = 0.0;
    for (const std::array<double, 3> &b : biases)
        for (int i = 0; i < 3; i++)
            squares += SQR(b[size_t(i)] - mean[size_t(i)]);
    return double(runs - 1) / runs * squares;
}

bool Misfits(const RobustFit &fit, const RobustFit &general, double independentReadings)
{
    const int lacking = fitModelInfo(general.model).parameters - fitModelInfo(fit.model).parameters;
    if (lacking <= 0 || !(general.scale > 0))
        return false;
    const double excess = independentReadings * (SQR(fit.scale / general.scale) - 1) / lacking;
    return excess > ChoiceLimits::MisfitExcess;
}

std::vector<double> PredictedErrors(const std::vector<Candidate> &candidates)
{
    std::vector<double> errors;
    if (candidates.empty())
        return errors;
    const Candidate &general = candidates.back();
    const auto variance = [](const Candidate &c) {
        return std::max(c.covariance[0][0] + c.covariance[1][1] + c.covariance[2][2], c.subsetVariance);
    };
    for (const Candidate &c : candidates) {
        double apart = 0.0;
        for (int i = 0; i < 3; i++)
            apart += SQR(c.bias[i] - general.bias[i]);
        const double modelError = &c == &general ? 0.0
                                  : c.misfit     ? apart
                                                 : std::max(0.0, apart - variance(general));
        errors.push_back(variance(c) + modelError);
    }
    return errors;
}

std::vector<Candidate> WeighedCandidates(Points points, double Hm, const std::vector<const RobustFit *> &fits,
                                         const WorkControl &control)
{
    std::vector<Candidate> candidates;
    if (fits.empty())
        return candidates;
    // The covariances assume independent readings; the residuals of the
    // most general fit tell how many readings count as one.
    const RobustFit &general = *fits.back();
    const double time = CorrelationTime(points, general);
    for (const RobustFit *fit : fits) {
        candidates.push_back(CandidateOf(*fit, time));
        candidates.back().subsetVariance = SubsetVariance(points, Hm, *fit, control);
        candidates.back().misfit = Misfits(*fit, general, points.size() / time);
    }
    return candidates;
}

namespace {

// One choice of a fit, in its steps: the plane of a turn about one axis;
// for directions that cover the sphere, the most general plausible fit;
// elsewhere the least predicted bias error; or the refusal that says why
// no model serves. Each fit is made once, when a step first asks for it,
// and what the steps leave out is said after the reason.
class Choice {
public:
    Choice(PointsOutline &outline, double Hm, const WorkControl &control)
        : outline(outline), points(outline.points()), Hm(Hm), control(control), beside(outline.spread()),
          models(autoCandidateModels()), fits(models.size())
    {
    }

    FitChoice choose();

private:
    bool choosePlanar(const PlaneSpread &plane);
    QString chooseMostGeneral(const QString &coverage);
    QString chooseLeastError(const QString &coverage);
    void refuse(const PlaneSpread &plane, bool covered, const QString &coverage);
    QString refusalCause(const PlaneSpread &plane, bool covered, const QString &coverage);
    std::optional<RobustFit> &fitOfModel(size_t k);
    bool plausible(const std::optional<RobustFit> &fit);
    bool determined(const Candidate &candidate, double error);
    QString withLeftOut(const QString &reason) const;

    PointsOutline &outline;
    const Points points;
    const double Hm;
    const WorkControl &control;
    const SpreadBesideGross &beside;
    const std::vector<FitModel> models;
    std::vector<std::optional<RobustFit>> fits;
    QStringList leftOut;
    FitChoice choice;
};

FitChoice Choice::choose()
{
    const PlaneSpread plane = outline.plane();
    if (liesFlat(plane) && choosePlanar(plane))
        return choice;
    QString coverage;
    const bool covered = CoverTheSphere(outline, Hm, &coverage, control);
    // Where the directions cover the sphere, every model but the full one
    // errs by its own shape: full leads, and the others follow only when it
    // is implausible. Elsewhere each candidate is weighed by the bias error
    // it predicts, which needs them all.
    const QString reason = covered ? chooseMostGeneral(coverage) : chooseLeastError(coverage);
    if (!choice.fit)
        refuse(plane, covered, coverage);
    else
        choice.reason = withLeftOut(reason);
    return choice;
}

bool Choice::choosePlanar(const PlaneSpread &plane)
{
    choice.model = FitModel::Planar;
    choice.fit =
        FitRobust(points, Hm, FitModel::Planar, RobustFitOptions().controlledBy(control).knowing(&beside));
    choice.reason = QStringLiteral("planar: the points spread across their plane by %1 % of their radius "
                                   "in it, less than %2 %: a turn about one axis")
                        .arg(100 * plane.flatness(), 0, 'f', 1)
                        .arg(100 * QualityLimits::MaxFlatness, 0, 'f', 0);
    if (plausible(choice.fit))
        return true;
    // An implausible plane is no answer, even when nothing else is.
    choice.fit.reset();
    return false;
}

QString Choice::chooseMostGeneral(const QString &coverage)
{
    for (size_t k = models.size(); k-- > 0;)
        if (plausible(fitOfModel(k))) {
            choice.model = models[k];
            choice.fit = std::move(fits[k]);
            return QStringLiteral("%1: the directions cover the sphere (%2)")
                .arg(QLatin1String(fitModelName(choice.model)), coverage);
        }
    return QString();
}

QString Choice::chooseLeastError(const QString &coverage)
{
    std::vector<size_t> fitOf;
    std::vector<const RobustFit *> weighed;
    for (size_t k = 0; k < fits.size(); k++)
        if (fitOfModel(k)) {
            fitOf.push_back(k);
            weighed.push_back(&*fits[k]);
        }
    const std::vector<Candidate> candidates = WeighedCandidates(points, Hm, weighed, control);
    const std::vector<double> errors = PredictedErrors(candidates);
    std::vector<size_t> order(candidates.size());
    for (size_t k = 0; k < order.size(); k++)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::make_pair(candidates[a].misfit, errors[a]) <
               std::make_pair(candidates[b].misfit, errors[b]);
    });
    QStringList predicted;
    for (size_t k = 0; k < candidates.size(); k++)
        predicted << QStringLiteral("%1 %2%3").arg(
            QLatin1String(fitModelName(candidates[k].model)), percentOfHm(errors[k], Hm),
            candidates[k].misfit ? QStringLiteral(" (misfits)") : QString());
    for (const size_t k : order)
        if (determined(candidates[k], errors[k]) && plausible(fits[fitOf[k]])) {
            choice.model = candidates[k].model;
            choice.fit = std::move(fits[fitOf[k]]);
            return QStringLiteral("%1: poor coverage (%2); of the fits it leaves, the least predicted bias "
                                  "error (%3 % of Hm)")
                .arg(QLatin1String(fitModelName(choice.model)), coverage,
                     predicted.join(QStringLiteral(", ")));
        }
    return QString();
}

void Choice::refuse(const PlaneSpread &plane, bool covered, const QString &coverage)
{
    choice.failed = true;
    if (control.cancelled())
        return;
    choice.reason = withLeftOut(QStringLiteral("no model gives a plausible calibration: ") +
                                refusalCause(plane, covered, coverage));
}

// Why no model gave a plausible calibration, in what the user can change:
// a rest that holds most readings, a turn about one axis, or directions the
// turns left out; what was found, then what to do. coverage names the cells
// that the directions about the robust sphere's centre hit, as the verdict
// counts them; where no sphere found the centre, the readings' mean tells
// whether they went every way.
QString Choice::refusalCause(const PlaneSpread &plane, bool covered, const QString &coverage)
{
    const double resting = RestingShare(points);
    if (resting >= ChoiceLimits::MostAtOneAttitude)
        return QStringLiteral("most readings (%1 %) sit at one attitude (%2): turn the sensor through more "
                              "directions")
            .arg(100 * resting, 0, 'f', 0)
            .arg(coverage);
    if (liesFlat(plane))
        return QStringLiteral(
                   "the sensor turned about its axis (%1) alone (%2): turn it about its other axes "
                   "too, upside down as well as level")
            .arg(axisText(plane.normal), coverage);
    const QString misfit =
        QStringLiteral(", yet no model fits them as a sensor's: check that the three columns "
                       "are one sensor's axes, read at one gain, and that nothing magnetic "
                       "moved with the sensor");
    if (covered)
        return QStringLiteral("the directions cover the sphere (%1)").arg(coverage) + misfit;
    // A cap leaves the side towards its centre empty about its mean too.
    const Coverage aboutMean = CoverageAbout(points, beside.spread.mean);
    const QualityReport q =
        JudgeQuality(points.size(), EllipsoidFit(), Hm, PlaneSpread(), aboutMean, CalibratedErrors());
    if (!q.findings.emptyCap && !q.findings.fewCells)
        return QStringLiteral("the readings surround their mean (%1 of %2 cells hit about it)")
                   .arg(q.cellsHit)
                   .arg(q.cellHit.size()) +
               misfit;
    // The cells are of equal area: their share is the sphere's.
    const Coverage c = outline.coverage(directionsCentre(outline, Hm, control).data());
    return QStringLiteral("the directions cover about %1 % of the sphere (%2): turn the sensor about each of "
                          "its axes, upside down as well as level, so that its readings point every way")
        .arg(100 * c.cellsHit / std::max<size_t>(1, c.cellHit.size()))
        .arg(coverage);
}

std::optional<RobustFit> &Choice::fitOfModel(size_t k)
{
    if (!fits[k] && !control.cancelled())
        fits[k] = FitRobust(points, Hm, models[k], RobustFitOptions().controlledBy(control).knowing(&beside));
    return fits[k];
}

bool Choice::plausible(const std::optional<RobustFit> &fit)
{
    if (!fit)
        return false;
    const QString why = Implausibility(fit->parameters, beside.spread);
    if (!why.isEmpty())
        leftOut << QStringLiteral("%1 left out: %2").arg(QLatin1String(fitModelName(fit->model)), why);
    return why.isEmpty();
}

// A model that fits the readings but whose bias error is predicted beyond
// Hm, or beyond measure, leaves the bias undetermined: no calibration,
// however plausible its bias looks. (A misfit's error is its distance from
// the full model, which says how wrong its shape is, not how loose.)
bool Choice::determined(const Candidate &candidate, double error)
{
    if (candidate.misfit || error <= Hm * Hm)
        return true;
    const QString model = QLatin1String(fitModelName(candidate.model));
    leftOut << (std::isfinite(error)
                    ? QStringLiteral("%1 left out: its predicted bias error, %2 % of Hm, exceeds Hm: the "
                                     "readings leave its bias undetermined")
                          .arg(model, percentOfHm(error, Hm))
                    : QStringLiteral("%1 left out: its bias error is beyond measure: the readings leave "
                                     "its bias undetermined")
                          .arg(model));
    return false;
}

QString Choice::withLeftOut(const QString &reason) const
{
    return leftOut.isEmpty() ? reason : reason + QStringLiteral("; ") + leftOut.join(QStringLiteral("; "));
}

} // namespace

FitChoice ChooseFit(PointsOutline &outline, double Hm, const WorkControl &control)
{
    return Choice(outline, Hm, control).choose();
}

FitChoice ChooseFit(Points points, double Hm, const WorkControl &control)
{
    PointsOutline outline(points);
    return ChooseFit(outline, Hm, control);
}
} // namespace tavrin
