// One calibration of a raw measurement file, from the field norm and the file
// name to the twelve result texts, with every refusal as a CalibrationError.
#ifndef TAVRIN_CALIBRATION_H
#define TAVRIN_CALIBRATION_H

#include "ellipsoidfit.h"
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

/// The checks of a calibration that its judgement makes, for one Hm.
struct CalibrationChecks {
    double hm = 0.0;
    CalibratedErrors errors;
    HmUnitCheck hmUnit;
};

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
    PointsOutline outline; ///< what the robust fit and Auto's choice found of the points, for their judgement
    std::optional<CalibrationChecks> checks; ///< found beside the exact fit, when asked, for its judgement

    /// The robust fit, or nullptr for the exact one.
    const RobustFit *robustFit() const { return robust ? &*robust : nullptr; }
};

/// What a failed run's error message cannot say: the reading or the scale
/// that lies outside the range the fits support; empty otherwise.
QString failureDetail(const CalibrationRun &run);

/// Runs a whole calibration with the exact fit: refuses Hm = 0 before
/// touching the file, reads it, refuses too few points, fits and derives b
/// and A. The fit's outlierWarning says whether the shape failed the
/// ellipsoid test; run.fit holds it even when the derivation then fails.
/// Hm: the norm of the Earth's field in the unit of the measurements, not 0.
CalibrationRun CalibrateFile(double Hm, const QString &filename);

/// What CalibrateRawData does beside the fit.
enum class BesideFit {
    Nothing,
    /// Finds, on a second thread when the budget has one, what
    /// AssessCalibration for the same Hm needs. Beside the exact fit: the
    /// outline of the points (the robust centre, the coverage about it, the
    /// plane) and, once the calibration stands, its checks, so that the
    /// judgement only puts them together. Before a robust fit, which starts
    /// from the plane: the outline, the plane on one thread while the
    /// other finds the centre and the coverage; then, on the first, the
    /// fit's starts converged on a sample of the points (ConvergeOnSample).
    Judgement,
};

/// The same on measurements already read, by any reader, with any fit: the
/// exact fit is the algebraic one; any other is robust, and Auto chooses.
/// A fit that control cancels ends in the error Cancelled.
CalibrationRun CalibrateRawData(double Hm, RawData raw, FitModel model = FitModel::Exact,
                                const WorkControl &control = WorkControl(),
                                BesideFit beside = BesideFit::Nothing);

/// Judges a calibrated run for the field norm Hm: its coverage counts the
/// directions about CoverageCentre, as auto's choice does, and a planar
/// fit's points are judged against the norm they have. Hm itself is checked
/// against the scale of the points. What the fit found of the points is not
/// found again; the coverage is measured on a second thread when control's
/// budget has one.
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
