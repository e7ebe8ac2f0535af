#include "calibration.h"

#include "fitchoice.h"
#include "samplestart.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <functional>

#include <utility>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Fen_Tavrin", text);
}

std::optional<CalibrationError> readError(RawDataStatus status)
{
    switch (status) {
    case RawDataStatus::Loaded:
        return std::nullopt;
    case RawDataStatus::CannotOpen:
        return CalibrationError::CannotOpen;
    case RawDataStatus::ReadError:
        return CalibrationError::ReadError;
    case RawDataStatus::BadFormat:
        return CalibrationError::BadFormat;
    case RawDataStatus::TooManyLines:
        return CalibrationError::TooManyLines;
    case RawDataStatus::ColumnsNotFound:
        return CalibrationError::ColumnsNotFound;
    case RawDataStatus::TooManyHeaderLines:
        return CalibrationError::TooManyHeaderLines;
    case RawDataStatus::Cancelled:
        return CalibrationError::Cancelled;
    }
    return CalibrationError::BadFormat;
}

// Why a fit failed, when the points lie outside the range the fits support:
// found only after the failure, so that it costs the fits nothing. Their
// scale is the median of the readings' largest coordinates, which a few
// gross readings cannot move. The exact fit takes every reading, so one
// beyond the range is named; a robust fit leaves such readings out.
void explainFailure(CalibrationRun &run, bool exact)
{
    const Points points = run.raw.points();
    const auto magnitude = [&](int k) {
        return std::max({std::abs(points[k][0]), std::abs(points[k][1]), std::abs(points[k][2])});
    };
    std::vector<double> magnitudes;
    for (int k = 0; k < points.size(); k += evenSampleStride(points.size()))
        magnitudes.push_back(magnitude(k));
    const double scale = medianOf(magnitudes);
    if (!(scale >= FitRange::Smallest && scale <= FitRange::Largest)) {
        run.undetermined = Undetermined::Scale;
        run.outOfRangeScale = scale;
        return;
    }
    for (int k = 0; exact && k < points.size(); k++)
        if (!(magnitude(k) <= FitRange::Largest)) {
            run.undetermined = Undetermined::Reading;
            run.outOfRange = k;
            return;
        }
}

// The robust centre of the points and the coverage about it, into the run's
// outline, quietly on one thread: the part of a judgement that runs beside
// a fit. A coverage about the bias, for points that fit no sphere, is left
// to the judgement.
void findCoverage(CalibrationRun &run, double Hm, const WorkControl &control)
{
    const Points points = run.raw.points();
    const std::optional<std::array<double, 3>> &centre =
        run.outline.sphereCentre(points, Hm, control.quiet().withThreads(1));
    if (centre)
        run.outline.coverage(points, centre->data());
}

CalibrationRun fitRobustly(CalibrationRun run, double Hm, FitModel model, const WorkControl &control,
                           BesideFit beside)
{
    run.requested = model;
    const Points points = run.raw.points();
    // Auto's choice and the fits start from the spread and the plane of the
    // points; the judgement needs those, the robust centre and the coverage
    // as well, which two threads find at once before the fit. The plane
    // comes first, and its thread then converges on a sample of the points
    // the starts of the fit that the run is sure to make.
    std::optional<SampledStart> sampled;
    if (beside == BesideFit::Judgement && control.threads() > 1)
        control.inParallel(2, [&](int worker, int) {
            if (worker == 1) {
                findCoverage(run, Hm, control);
                return;
            }
            if (const std::optional<FitModel> ahead = SurelyFittedModel(model, run.outline.plane(points)))
                sampled = ConvergeOnSample(points, Hm, *ahead, run.outline.spread(points),
                                           control.quiet().withThreads(1));
        });
    const SampledStart *ahead = sampled ? &*sampled : nullptr;
    FitChoice choice;
    if (model == FitModel::Auto) {
        choice = ChooseFit(points, Hm, control, &run.outline, ahead);
        run.fitReason = choice.reason;
    } else {
        choice.model = model;
    }
    run.model = choice.model;
    if (choice.failed) {
        run.error = CalibrationError::NumericalFailure;
        if (!control.cancelled())
            explainFailure(run, false);
        return run;
    }
    run.robust = choice.fit ? choice.fit
                            : FitRobust(points, Hm, choice.model,
                                        RobustFitOptions()
                                            .controlledBy(control)
                                            .knowing(&run.outline.spread(points))
                                            .sampledAhead(ahead),
                                        &run.undetermined);
    if (!run.robust) {
        run.error = control.cancelled() ? CalibrationError::Cancelled : CalibrationError::NumericalFailure;
        if (!control.cancelled())
            explainFailure(run, false);
        return run;
    }
    run.parameters = run.robust->parameters;
    run.fit = QuadricOf(run.parameters, Hm);
    return run;
}

CalibrationRun fitExactly(CalibrationRun run, double Hm, const WorkControl &control, BesideFit beside)
{
    const Points points = run.raw.points();
    const bool judgement = beside == BesideFit::Judgement;
    // What the judgement needs comes beside the fit. The second thread finds
    // the robust centre and the coverage about it while the first fits and
    // derives. Then each takes in turn what is left and can be done: the
    // plane at once, the norm errors and Hm's unit once the calibration
    // stands. The first thread takes the plane, the longest, first; the
    // second, the checks first, or the plane when it comes before the
    // calibration stands.
    CalibrationChecks checks;
    checks.hm = Hm;
    std::atomic<bool> calibrated{false};
    struct Chore {
        bool needsCalibration;
        std::function<void()> work;
        std::atomic<bool> taken{false};
    };
    Chore chores[] = {{true, [&] { checks.errors = CalibratedErrorsOf(points, run.parameters, Hm); }},
                      {true, [&] { checks.hmUnit = CheckHmUnit(points, run.parameters, Hm); }},
                      {false, [&] { run.outline.plane(points); }}};
    const auto takeChores = [&](std::initializer_list<int> order) {
        for (const int c : order)
            if ((!chores[c].needsCalibration || calibrated) && !chores[c].taken.exchange(true))
                chores[c].work();
    };
    std::optional<EllipsoidFit> fit;
    std::optional<CalibrationParameters> parameters;
    control.inParallel(judgement ? 2 : 1, [&](int worker, int workers) {
        if (worker == 1) {
            findCoverage(run, Hm, control);
            takeChores({0, 1, 2});
            return;
        }
        fit = FitEllipsoid(points, nullptr, control.withThreads(control.threads() - (workers - 1)));
        if (fit)
            parameters = DeriveCalibration(*fit, Hm);
        if (parameters) {
            run.parameters = *parameters;
            calibrated = true;
        }
        if (judgement)
            takeChores({2, 0, 1});
    });
    if (fit)
        run.fit = *fit;
    if (!parameters) {
        run.error = CalibrationError::NumericalFailure;
        explainFailure(run, true);
        return run;
    }
    if (judgement)
        run.checks = checks;
    return run;
}

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

} // namespace

const ErrorDescription &describe(CalibrationError error)
{
    // In the order of CalibrationError.
    static const ErrorDescription table[] = {
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The value of Hm must be non zero!"), "hm-is-zero"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The file does not exists!"), "cannot-open"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The file could not be read to its end."), "read-error"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "Please, check the format of the raw data file."), "bad-format"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin",
                           "The file holds more than 500000 measurements or 100 million lines."),
         "too-many-lines"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "At least 10 measurements are needed for a calibration."),
         "too-few-points"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin",
                           "The calibration failed: the measurements do not determine an ellipsoid."),
         "numerical-failure"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The calibration parameters could not be saved."), "cannot-save"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The columns named for x, y and z are not in the header."),
         "columns-not-found"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The log has more than 100 header lines before its data."),
         "too-many-header-lines"},
        {QT_TRANSLATE_NOOP("Fen_Tavrin", "The calibration was cancelled."), "cancelled"},
    };
    return table[int(error)];
}

QString errorMessage(CalibrationError error)
{
    return tr(describe(error).message);
}

QString failureDetail(const CalibrationRun &run)
{
    const auto number = [](double v) { return QString::number(v, 'g', 6); };
    if (run.undetermined == Undetermined::Reading) {
        const double *h = run.raw.points()[run.outOfRange];
        return tr("Reading %1 (%2, %3, %4) lies beyond %5, outside the range the exact fit supports: "
                  "it takes every reading, where a robust fit leaves such a one out.")
            .arg(run.outOfRange + 1)
            .arg(number(h[0]), number(h[1]), number(h[2]), number(FitRange::Largest));
    }
    if (run.undetermined == Undetermined::Scale)
        return tr("The readings lie at a scale of %1 (the median of their largest coordinates), outside "
                  "the range from %2 to %3 that the fits support.")
            .arg(number(run.outOfRangeScale), number(FitRange::Smallest), number(FitRange::Largest));
    return QString();
}

QString outlierWarningMessage()
{
    return tr("Data may contain outliers as the shape fitting is different from an ellisoid.");
}

CalibrationRun CalibrateFile(double Hm, const QString &filename)
{
    if (Hm == 0.0) {
        CalibrationRun run;
        run.error = CalibrationError::HmIsZero;
        return run;
    }
    return CalibrateRawData(Hm, ReadRawData(filename));
}

CalibrationRun CalibrateRawData(double Hm, RawData raw, FitModel model, const WorkControl &control,
                                BesideFit beside)
{
    CalibrationRun run;
    run.raw = std::move(raw);
    if (Hm == 0.0) {
        run.error = CalibrationError::HmIsZero;
        return run;
    }
    if ((run.error = readError(run.raw.status)))
        return run;
    if (run.raw.numLines < MinimumPoints) {
        run.error = CalibrationError::TooFewPoints;
        return run;
    }
    if (model != FitModel::Exact)
        return fitRobustly(std::move(run), Hm, model, control, beside);
    return fitExactly(std::move(run), Hm, control, beside);
}

QualityReport AssessCalibration(const CalibrationRun &run, double Hm, const WorkControl &control)
{
    const Points points = run.raw.points();
    const RobustFit *robust = run.robustFit();
    const double judgedNorm = robust ? robust->calibratedNorm : Hm;
    PointsOutline outline = run.outline;
    // Four parts that share no sum, each adding in its own order, taken in
    // turn by as many threads as the budget gives: the coverage, which
    // needs the robust centre, the plane, the norm errors and the unit of
    // Hm, the last two unless the fit found them already. The robust
    // centre's fit takes no thread of its own.
    Coverage coverage;
    PlaneSpread plane;
    const bool checked = run.checks && run.checks->hm == Hm;
    CalibrationChecks checks = checked ? *run.checks : CalibrationChecks();
    const std::function<void()> parts[] = {
        [&] {
            const std::optional<std::array<double, 3>> &sphere =
                outline.sphereCentre(points, Hm, control.withThreads(1));
            const double bias[3] = {run.parameters.Bias[0][0], run.parameters.Bias[1][0],
                                    run.parameters.Bias[2][0]};
            coverage = outline.coverage(points, sphere ? sphere->data() : bias);
        },
        [&] { plane = outline.plane(points); },
        [&] {
            if (!checked)
                checks.errors = CalibratedErrorsOf(points, run.parameters, judgedNorm);
        },
        [&] {
            // A planar fit does not scale by Hm, whose unit then changes nothing.
            if (!checked && run.model != FitModel::Planar)
                checks.hmUnit = CheckHmUnit(points, run.parameters, Hm);
        }};
    std::atomic<int> next{0};
    control.inParallel(2, [&](int, int) {
        for (int part; (part = next++) < 4;)
            parts[part]();
    });
    QualityReport q = JudgeQuality(points.size(), run.fit, judgedNorm, plane, coverage, checks.errors);
    q.hmUnit = checks.hmUnit;
    if (q.findings.folded)
        nameGrossPoints(points, outline.spread(points).gross, q);
    return q;
}

std::optional<FitModel> RecommendedFit(const CalibrationRun &run, const QualityReport &q)
{
    if (run.model != FitModel::Exact)
        return std::nullopt;
    const QualityReport::Findings &f = q.findings;
    if (f.flat)
        return FitModel::Planar;
    if (f.emptyCap || f.fewCells)
        return FitModel::Auto;
    if (f.residual || f.folded || f.farPoints)
        return FitModel::Full;
    return std::nullopt;
}

QString FormatResult(double value)
{
    return QString::number(value, 'f', 4);
}

QStringList ResultTexts(const CalibrationParameters &parameters)
{
    QStringList texts;
    for (const double value : parameters.values())
        texts << FormatResult(value);
    return texts;
}

} // namespace tavrin
