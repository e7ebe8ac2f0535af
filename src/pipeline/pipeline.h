// One calibration as every front end runs it: read the measurements, fit,
// judge the fit and, when asked, bootstrap its uncertainty. A run reports its
// progress, can be cancelled from another thread, and returns a value that
// owns everything a front end shows or writes. It opens no box and prints
// nothing: what a person should know comes back as warnings.
#ifndef TAVRIN_PIPELINE_H
#define TAVRIN_PIPELINE_H

#include "alignment.h"
#include "bootstrap.h"
#include "calibration.h"
#include "logreader.h"
#include "quality.h"
#include "rawdata.h"
#include "robustfit.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace tavrin {

/// The measurements to calibrate: a file in the strict raw format, a log
/// read with the given columns, standard input ("-"), or points already in
/// memory (a capture, a test), which are read from nowhere.
struct Input {
    QString path;                 ///< the file, "-" for standard input; a name alone for points in memory
    std::optional<LogFormat> log; ///< read as a log; the strict raw format when empty
    std::optional<RawData> measurements; ///< points in memory: no file is read

    static Input file(const QString &path, std::optional<LogFormat> log = std::nullopt);
    static Input points(RawData measurements, const QString &name);
};

struct CalibrationOptions {
    double hm = 0.0; ///< Hm, the norm of the Earth's field in the unit of the measurements, > 0
    FitModel fit = FitModel::Exact; ///< the fit asked for; Auto lets the data choose
    int resamples = 0;              ///< bootstrap resamples for the uncertainty; 0 for none
    std::uint64_t seed = BootstrapSeed;
    bool assess = true; ///< judge the fit; a front end that shows b and A alone need not
    /// For a log read with the accelerometer's columns: what it reads at rest,
    /// and the inclination at the place in degrees when the place is known.
    align::AccelConvention accel = align::AccelConvention::Up;
    std::optional<double> placeInclinationDegrees = std::nullopt;
};

/// The steps of a run, in their order.
enum class RunPhase { Reading, Fitting, Assessing, Uncertainty };

/// "reading", "fitting", "assessing" or "uncertainty".
const char *runPhaseName(RunPhase phase);

struct RunControl {
    /// Called on the running thread with the fraction of the whole run done
    /// (0 to 1, never decreasing, 1 at the end of a run that was not
    /// cancelled) and the step under way.
    std::function<void(double fraction, RunPhase phase)> progress;
    /// Set from any thread to end the run early; nothing is returned but
    /// a cancelled status.
    const std::atomic<bool> *cancel = nullptr;
    /// At most this many threads work for the run, the calling one
    /// included; 0 for the machine's hardware threads.
    int threads = 0;
};

enum class RunStatus { Calibrated, Failed, Cancelled };

/// All that is known of one calibration: a value that owns its points.
struct CalibrationResult {
    RunStatus status = RunStatus::Failed;
    QString path;                           ///< the input as given: a path, "-", or a name
    CalibrationRun run;                     ///< the measurements, the fit and its parameters, or the error
    std::optional<LogInput> log;            ///< how a log was read; empty for the strict format
    QualityReport quality;                  ///< when calibrated
    std::optional<Uncertainty> uncertainty; ///< when calibrated and resamples were asked for
    QStringList warnings;                   ///< what a person should know of a result that stands
    /// The magnetometer's axes against the accelerometer's, when one was read beside it.
    std::optional<align::AlignmentResult> alignment;
    int threadsUsed = 1; ///< the most threads that worked at once, the calling one included: 1 to the budget

    bool calibrated() const { return status == RunStatus::Calibrated; }
};

/// The calibration followed by the rotation r: A^-1 becomes r A^-1 and A
/// becomes A r^T, the bias stays.
CalibrationParameters rotatedCalibration(const CalibrationParameters &p, const align::Mat3 &r);

/// Reads the measurements of input, as runCalibration does: log tells how
/// a log was read.
RawData readMeasurements(const Input &input, std::optional<LogInput> &log,
                         const WorkControl &control = WorkControl());

/// Runs one calibration. A failure keeps what was read, with the error in
/// run.error; a cancelled run keeps nothing but its path, and returns soon
/// after the cancel is set: every step checks it between chunks of its work.
/// The warnings hold the outlier warning when the shape failed the ellipsoid
/// test, even when the calibration then failed: a front end that shows boxes
/// shows it first.
CalibrationResult runCalibration(const Input &input, const CalibrationOptions &options,
                                 const RunControl &control = {});

} // namespace tavrin

#endif
