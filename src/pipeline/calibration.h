// One calibration of a raw measurement file, from the field norm and the file
// name to the twelve result texts, with every refusal as a CalibrationError.
#ifndef TAVRIN_CALIBRATION_H
#define TAVRIN_CALIBRATION_H

#include "ellipsoidfit.h"
#include "judgement.h"
#include "quality.h"
#include "rawdata.h"
#include "robustfit.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

enum class CalibrationError {
    HmIsZero,
    CannotOpen,
    ReadError,
    BadFormat,
    TooManyLines,
    TooFewPoints,
    NumericalFailure,
    CannotSave,
    ColumnsNotFound,
    TooManyHeaderLines,
    Cancelled,
};

/// What an error means to a person and to a program reading the JSON: the
/// one table of them. A front end adds its own words (how to name the
/// columns, its exit status) where it says them.
struct ErrorDescription {
    const char *message; ///< untranslated; errorMessage gives it translated
    const char *kind;    ///< stable name, e.g. "bad-format"
};

const ErrorDescription &describe(CalibrationError error);

/// The user's message for an error, the same in every front end.
QString errorMessage(CalibrationError error);

/// The warning shown when the fitted shape fails the ellipsoid test.
QString outlierWarningMessage();

struct CalibrationRun {
    std::optional<CalibrationError> error;
    RawData raw;
    EllipsoidFit fit; ///< for a robust fit, the quadric of its calibration
    CalibrationParameters parameters;
    FitModel requested = FitModel::Exact;         ///< the fit asked for
    FitModel model = FitModel::Exact;             ///< the fit that gave the parameters: Auto's choice
    QString fitReason;                            ///< for Auto: why it chose the model
    std::optional<RobustFit> robust;              ///< every fit but the exact one
    Undetermined undetermined = Undetermined::No; ///< why a fit refused the points, when known
    int outOfRange = -1;                          ///< 0-based index of the reading of Undetermined::Reading
    double outOfRangeScale = 0.0;                 ///< the scale of the readings of Undetermined::Scale

    /// The robust fit, or nullptr for the exact one.
    const RobustFit *robustFit() const { return robust ? &*robust : nullptr; }
};

/// What a failed run's error message cannot say: the reading or the scale
/// that lies outside the range the fits support; empty otherwise.
QString failureDetail(const CalibrationRun &run);

/// The refusals that come before a fit, in their order: Hm = 0, a reading
/// that failed, too few points. A run they leave without an error holds
/// the points, ready for fitMeasurements.
CalibrationRun admitMeasurements(double Hm, RawData raw);

/// Fits the points of an admitted run: the exact fit is the algebraic one;
/// any other is robust, and Auto chooses. outline is the outline of
/// run.raw's points, which keeps what the robust fits and the choice find
/// of them for their judgement. A fit that control cancels ends in the
/// error Cancelled.
void fitMeasurements(CalibrationRun &run, double Hm, FitModel model, PointsOutline &outline,
                     const WorkControl &control = WorkControl());

/// admitMeasurements, then fitMeasurements, for measurements already read.
CalibrationRun CalibrateRawData(double Hm, RawData raw, FitModel model = FitModel::Exact,
                                const WorkControl &control = WorkControl());

/// The test oracle of a whole run with the exact fit, which no program
/// calls: reads the file and calibrates it as CalibrateRawData does.
/// Hm: the norm of the Earth's field in the unit of the measurements, not 0.
CalibrationRun CalibrateFile(double Hm, const QString &filename);

/// The fit of a run as its judgement sees it, a view of the run.
JudgedFit judgedFitOf(const CalibrationRun &run);

/// AssessCalibration of a run's points, outlined afresh.
QualityReport AssessCalibration(const CalibrationRun &run, double Hm,
                                const WorkControl &control = WorkControl());

/// For the exact fit, the fit that would serve the data better by the
/// findings of q: Planar for flat points, Auto for poor coverage, Full for a
/// poor fit, one that folds the sphere, or outliers; empty when there is none, and for any other fit.
std::optional<FitModel> RecommendedFit(const CalibrationRun &run, const QualityReport &q);

/// The twelve values as the result fields show them, in the order Bias_1 to
/// Bias_3, then A_11, A_12, ... A_33.
QStringList ResultTexts(const CalibrationParameters &parameters);

/// The text of one result value as the result fields show it: fixed
/// notation with four decimals.
QString FormatResult(double value);

} // namespace tavrin

#endif
