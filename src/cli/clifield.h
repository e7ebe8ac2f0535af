// What tavrin-cli takes from the World Magnetic Model: the field at a place
// and a date (--field-at), and Hm for a calibration (--hm-at).
#ifndef TAVRIN_CLI_CLIFIELD_H
#define TAVRIN_CLI_CLIFIELD_H

#include "commandline.h"
#include "fieldunit.h"
#include "stream.h"

#include <QString>

namespace tavrin {

/// Prints the model's field at options.fieldAt, as text or JSON; returns the
/// exit status.
int printFieldAt(const CliOptions &options, Stream &out, Stream &err);

/// Sets options.hm and options.hmSource from the model's total intensity at
/// options.hmAt, in options.hmSource.units; returns the exit status, having
/// said on err why the model gives none when it does not.
int takeHmFromModel(CliOptions &options, Stream &err);

/// The line of the text report that says where Hm came from.
QByteArray hmSourceLine(const CliOptions &options);

} // namespace tavrin

#endif
