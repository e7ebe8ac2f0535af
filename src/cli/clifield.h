// What tavrin-cli takes from the World Magnetic Model: the field at a place
// and a date (--field-at), and Hm for a calibration (--hm-at).
#ifndef TAVRIN_CLI_CLIFIELD_H
#define TAVRIN_CLI_CLIFIELD_H

#include "commandline.h"
#include "fieldunit.h"
#include "stream.h"

#include <QString>

#include <optional>

namespace tavrin {

/// Prints the model's field at options.fieldAt, as text or JSON; returns the
/// exit status.
int printFieldAt(const CliOptions &options, Stream &out, Stream &err);

/// Why the model gave no Hm, and the exit status that says so.
struct ModelProblem {
    QString message;
    int exitStatus;
};

/// Sets options.hm and options.hmSource from the model's total intensity at
/// options.hmAt, in options.hmSource.units.
std::optional<ModelProblem> takeHmFromModel(CliOptions &options);

/// The line of the text report that says where Hm came from.
QByteArray hmSourceLine(const CliOptions &options);

} // namespace tavrin

#endif
