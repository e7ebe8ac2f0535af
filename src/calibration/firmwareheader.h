// The calibration as a C header for firmware: the bias and A^-1 as float arrays.
#ifndef TAVRIN_FIRMWAREHEADER_H
#define TAVRIN_FIRMWAREHEADER_H

#include "ellipsoidfit.h"

#include <QByteArray>
#include <QString>

/// A C identifier made of a file's base name: other characters become '_',
/// and a leading digit or an empty name gets the prefix "mag".
QByteArray cIdentifier(const QString &fileName);

/// A self-contained header, guarded, with <name>_bias[3], <name>_ainv[3][3]
/// and <name>_hm, and a comment giving the convention, the units and Hm.
QByteArray FirmwareHeader(const QByteArray &name, const QString &sourceFile, Doub Hm,
                          const CalibrationParameters &p);

#endif
