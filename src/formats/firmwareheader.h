// The calibration as a C header for firmware: the bias and A^-1 as float arrays.
#ifndef TAVRIN_FIRMWAREHEADER_H
#define TAVRIN_FIRMWAREHEADER_H

#include "ellipsoidfit.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrin {

/// A C identifier made of a file's base name, the name itself when it is
/// one. Otherwise other characters become '_', a name that does not start
/// with a letter gets the prefix "mag_", and a hash of the base name follows,
/// so that different files get different identifiers.
QByteArray cIdentifier(const QString &fileName);

/// A self-contained header, guarded, with <name>_bias[3], <name>_ainv[3][3]
/// and <name>_hm, and a comment giving the convention, the units and Hm.
/// Empty when a value is beyond what a float holds (infinite, or flushed to zero).
std::optional<QByteArray> FirmwareHeader(const QByteArray &name, const QString &sourceFile, double Hm,
                                         const CalibrationParameters &p);

/// Why FirmwareHeader gives nothing, for the user.
QString floatOverflowMessage();

} // namespace tavrin

#endif
