#include "calibration.h"

#include "fitchoice.h"

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

CalibrationRun fitRobustly(CalibrationRun run, double Hm, FitModel model, const WorkControl &control)
{
    run.requested = model;
    FitChoice choice;
    if (model == FitModel::Auto) {
        choice = ChooseFit(run.raw.points(), Hm, control, &run.outline);
        run.fitReason = choice.reason;
    } else {
        choice.model = model;
    }
    run.model = choice.model;
    if (choice.failed) {
        run.error = CalibrationError::NumericalFailure;
        return run;
    }
    run.robust = choice.fit ? choice.fit
                            : FitRobust(run.raw.points(), Hm, choice.model, nullptr, nullptr,
                                        &run.undetermined, control, &run.outline.spread(run.raw.points()));
    if (!run.robust) {
        run.error = control.cancelled() ? CalibrationError::Cancelled : CalibrationError::NumericalFailure;
        return run;
    }
    run.parameters = run.robust->parameters;
    run.fit = QuadricOf(run.parameters, Hm);
    return run;
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
        return fitRobustly(std::move(run), Hm, model, control);
    const Points points = run.raw.points();
    std::optional<EllipsoidFit> fit;
    const bool outlineBeside = beside == BesideFit::Outline && control.threads() > 1;
    // The outline needs no fit: the robust centre and the coverage about it
    // on one thread, the fit and then the plane on the other, which about
    // evens them out. A coverage about the bias, for points that fit no
    // sphere, is left to the judgement.
    control.inParallel(outlineBeside ? 2 : 1, [&](int worker, int workers) {
        if (worker == 1) {
            const std::optional<std::array<double, 3>> &centre =
                run.outline.sphereCentre(points, Hm, control.quiet().withThreads(1));
            if (centre)
                run.outline.coverage(points, centre->data());
            return;
        }
        fit = FitEllipsoid(points, nullptr, control.withThreads(control.threads() - (workers - 1)));
        if (fit && workers > 1)
            run.outline.plane(points);
    });
    if (!fit) {
        run.error = CalibrationError::NumericalFailure;
        return run;
    }
    run.fit = *fit;
    std::optional<CalibrationParameters> parameters = DeriveCalibration(run.fit, Hm);
    if (!parameters) {
        run.error = CalibrationError::NumericalFailure;
        return run;
    }
    run.parameters = *parameters;
    return run;
}

QualityReport AssessCalibration(const CalibrationRun &run, double Hm, const WorkControl &control)
{
    const Points points = run.raw.points();
    const RobustFit *robust = run.robustFit();
    const double judgedNorm = robust ? robust->calibratedNorm : Hm;
    PointsOutline outline = run.outline;
    // Three parts that share no sum, each adding in its own order, taken in
    // turn by as many threads as the budget gives: the coverage, which
    // needs the robust centre, the norm errors and the plane, and the unit
    // of Hm. The robust centre's fit takes no thread of its own.
    Coverage coverage;
    PlaneSpread plane;
    CalibratedErrors errors;
    HmUnitCheck hmUnit;
    const std::function<void()> parts[] = {
        [&] {
            const std::optional<std::array<double, 3>> &sphere =
                outline.sphereCentre(points, Hm, control.withThreads(1));
            const double bias[3] = {run.parameters.Bias[0][0], run.parameters.Bias[1][0],
                                    run.parameters.Bias[2][0]};
            coverage = outline.coverage(points, sphere ? sphere->data() : bias);
        },
        [&] {
            plane = outline.plane(points);
            errors = CalibratedErrorsOf(points, run.parameters, judgedNorm);
        },
        [&] {
            // A planar fit does not scale by Hm, whose unit then changes nothing.
            if (run.model != FitModel::Planar)
                hmUnit = CheckHmUnit(points, run.parameters, Hm);
        }};
    std::atomic<int> next{0};
    control.inParallel(2, [&](int, int) {
        for (int part; (part = next++) < 3;)
            parts[part]();
    });
    QualityReport q = JudgeQuality(points.size(), run.fit, judgedNorm, plane, coverage, errors);
    q.hmUnit = hmUnit;
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
    if (f.residual || f.farPoints)
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
