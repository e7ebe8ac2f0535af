// A whole calibration as the workbench runs it, on a worker thread: the run
// the user asked for, shown as soon as it is done, then every model's fit of
// the same points for the comparison, then the bootstrap's uncertainty.
#ifndef TAVRIN_WORKBENCH_CALIBRATIONTASK_H
#define TAVRIN_WORKBENCH_CALIBRATIONTASK_H

#include "runner.h"

namespace tavrin {

/// The models of the comparison, in the order of its rows.
const std::vector<FitModel> &comparedModels();

/// Runs the calibration of input with options, publishing the run, then the
/// run with the comparison and the input file's fingerprint, then with the
/// uncertainty too. A fingerprint already taken is not taken again.
void calibrateInSteps(const Input &input, const CalibrationOptions &options, const QString &unit,
                      TaskControl &control, const QByteArray &fingerprint = QByteArray());

} // namespace tavrin

#endif
