// The calibration parameters file: a credit header, the bias line and the
// three rows of A, each value right-aligned in a field of ten characters.
#ifndef TAVRIN_PARAMETERSFILE_H
#define TAVRIN_PARAMETERSFILE_H

#include "robustfit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavrin {

/// The file's bytes for the twelve result texts (Bias_1 to Bias_3, then A
/// by rows), with "\n" line ends. The two lines on the method name the
/// algebraic fit, or the robust fit when one is given.
QByteArray ParametersFileBytes(const QStringList &texts, const RobustFit *fit = nullptr);

/// Writes the file as WriteFileAtomically does. False when it cannot be
/// written, with the system's reason in *reason when given.
bool WriteParametersFile(const QString &path, const QStringList &texts, QString *reason = nullptr,
                         const RobustFit *fit = nullptr);

} // namespace tavrin

#endif
