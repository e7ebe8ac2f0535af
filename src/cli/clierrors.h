// What the command line says of a refused or failed file beyond the core's
// message: its own words for what its options name, and the exit status.
#ifndef TAVRIN_CLI_CLIERRORS_H
#define TAVRIN_CLI_CLIERRORS_H

#include "calibration.h"

#include <QString>

namespace tavrin {

/// errorMessage in the command line's words.
QString cliErrorMessage(CalibrationError error);

/// 2 for a numerical failure, 64 for columns that --columns named wrongly,
/// 1 for every other refusal.
int exitStatusOf(CalibrationError error);

} // namespace tavrin

#endif
