#include "calibration.h"

#include "fitchoice.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Calibration", text);
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

void fitRobustly(CalibrationRun &run, double Hm, FitModel model, PointsOutline &outline,
                 const WorkControl &control)
{
    const Points points = outline.points();
    FitChoice choice;
    if (model == FitModel::Auto) {
        choice = ChooseFit(outline, Hm, control);
        run.fitReason = choice.reason;
    } else {
        choice.model = model;
    }
    run.model = choice.model;
    if (choice.failed) {
        run.error = CalibrationError::NumericalFailure;
        if (!control.cancelled())
            explainFailure(run, false);
        return;
    }
    run.robust = choice.fit ? choice.fit
                            : FitRobust(points, Hm, choice.model,
                                        RobustFitOptions().controlledBy(control).knowing(&outline.spread()),
                                        &run.undetermined);
    if (!run.robust) {
        run.error = control.cancelled() ? CalibrationError::Cancelled : CalibrationError::NumericalFailure;
        if (!control.cancelled())
            explainFailure(run, false);
        return;
    }
    run.parameters = run.robust->parameters;
    run.fit = QuadricOf(run.parameters, Hm);
}

void fitExactly(CalibrationRun &run, double Hm, const WorkControl &control)
{
    const std::optional<EllipsoidFit> fit = FitEllipsoid(run.raw.points(), nullptr, control);
    const std::optional<CalibrationParameters> parameters = fit ? DeriveCalibration(*fit, Hm) : std::nullopt;
    if (fit)
        run.fit = *fit;
    if (!parameters) {
        run.error = CalibrationError::NumericalFailure;
        explainFailure(run, true);
        return;
    }
    run.parameters = *parameters;
}

} // namespace

const ErrorDescription &describe(CalibrationError error)
{
    // In the order of CalibrationError.
    static const ErrorDescription table[] = {
        {QT_TRANSLATE_NOOP("Calibration", "The value of Hm must be non zero!"), "hm-is-zero"},
        {QT_TRANSLATE_NOOP("Calibration", "The file does not exists!"), "cannot-open"},
        {QT_TRANSLATE_NOOP("Calibration", "The file could not be read to its end."), "read-error"},
        {QT_TRANSLATE_NOOP("Calibration", "Please, check the format of the raw data file."), "bad-format"},
        {QT_TRANSLATE_NOOP("Calibration",
                           "The file holds more than 500000 measurements or 100 million lines."),
         "too-many-lines"},
        {QT_TRANSLATE_NOOP("Calibration", "At least 10 measurements are needed for a calibration."),
         "too-few-points"},
        {QT_TRANSLATE_NOOP("Calibration",
                           "The calibration failed: the measurements do not determine an ellipsoid."),
         "numerical-failure"},
        {QT_TRANSLATE_NOOP("Calibration", "The calibration parameters could not be saved."), "cannot-save"},
        {QT_TRANSLATE_NOOP("Calibration", "The columns named for x, y and z are not in the header."),
         "columns-not-found"},
        {QT_TRANSLATE_NOOP("Calibration", "The log has more than 100 header lines before its data."),
         "too-many-header-lines"},
        {QT_TRANSLATE_NOOP("Calibration", "The calibration was cancelled."), "cancelled"},
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
    return CalibrateRawData(Hm, Hm == 0.0 ? RawData() : ReadRawData(filename));
}

CalibrationRun admitMeasurements(double Hm, RawData raw)
{
    CalibrationRun run;
    run.raw = std::move(raw);
    if (Hm == 0.0)
        run.error = CalibrationError::HmIsZero;
    else if (!(run.error = readError(run.raw.status)) && run.raw.numLines < MinimumPoints)
        run.error = CalibrationError::TooFewPoints;
    return run;
}

void fitMeasurements(CalibrationRun &run, double Hm, FitModel model, PointsOutline &outline,
                     const WorkControl &control)
{
    run.requested = model;
    if (model == FitModel::Exact)
        fitExactly(run, Hm, control);
    else
        fitRobustly(run, Hm, model, outline, control);
}

CalibrationRun CalibrateRawData(double Hm, RawData raw, FitModel model, const WorkControl &control)
{
    CalibrationRun run = admitMeasurements(Hm, std::move(raw));
    if (!run.error) {
        PointsOutline outline(run.raw.points());
        fitMeasurements(run, Hm, model, outline, control);
    }
    return run;
}

JudgedFit judgedFitOf(const CalibrationRun &run)
{
    return {run.fit, run.parameters, run.model, run.robustFit()};
}

QualityReport AssessCalibration(const CalibrationRun &run, double Hm, const WorkControl &control)
{
    PointsOutline outline(run.raw.points());
    return AssessCalibration(outline, judgedFitOf(run), Hm, control);
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
