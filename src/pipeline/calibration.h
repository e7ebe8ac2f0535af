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

#include <functional>
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
};

/// What an error means to a person, to a program reading the JSON, and to a
/// shell reading the exit status: the one table of them.
struct ErrorDescription {
    const char *message; ///< untranslated; errorMessage gives it translated
    const char *kind;    ///< stable name, e.g. "bad-format"
    int exitStatus;      ///< 1 for input refused, 2 for a numerical failure
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
    Undetermined undetermined = Undetermined::No; ///< why a robust fit refused the points

    /// The robust fit, or nullptr for the exact one.
    const RobustFit *robustFit() const { return robust ? &*robust : nullptr; }
};

/// Runs a whole calibration: refuses Hm = 0 before touching the file, reads
/// it, refuses too few points, fits, then calls beforeDerive with the fit
/// (where a front end shows the outlier warning) and derives b and A. The
/// exact fit is the algebraic one; any other is robust, and Auto chooses.
CalibrationRun CalibrateFile(double Hm, const QString &filename,
                             const std::function<void(const EllipsoidFit &)> &beforeDerive = {});

/// The same on measurements already read, by any reader.
CalibrationRun CalibrateRawData(double Hm, RawData raw,
                                const std::function<void(const EllipsoidFit &)> &beforeDerive = {},
                                FitModel model = FitModel::Exact);

/// Judges a calibrated run for the field norm Hm: its coverage counts the
/// directions about CoverageCentre, as auto's choice does, and a planar
/// fit's points are judged against the norm they have. Hm itself is checked
/// against the scale of the points.
QualityReport AssessCalibration(const CalibrationRun &run, double Hm);

/// The twelve values as the result fields show them, in the order Bias_1 to
/// Bias_3, then A_11, A_12, ... A_33.
QStringList ResultTexts(const CalibrationParameters &parameters);

/// The text of one result value as the result fields show it: fixed
/// notation with four decimals.
QString FormatResult(double value);

} // namespace tavrin

#endif
