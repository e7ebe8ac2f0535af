// What the exporters share: the calibration in a firmware's unit, numbers
// written so that they read back to the same calibration, comments, and the
// reading of a file's numbers.
#ifndef TAVRIN_EXPORTSUPPORT_H
#define TAVRIN_EXPORTSUPPORT_H

#include "expected.h"
#include "exportformat.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin::exportsupport {

/// The firmware units in nT.
constexpr double MilligaussInNt = 100.0;
constexpr double GaussInNt = 100000.0;
constexpr double MicroteslaInNt = 1000.0;

/// iNav scales each axis so that its gain in counts becomes this.
constexpr double InavNorm = 1024.0;

/// The compasses that ArduPilot and PX4 number.
constexpr int ArduPilotCompasses = 3;
constexpr int Px4Compasses = 4;

/// What iNav and Betaflight store their counts in.
constexpr long long Int16Min = -32768;
constexpr long long Int16Max = 32767;

/// The factor from the measurements' unit to a firmware's unit (both in nT);
/// 1 for a firmware that keeps the measurements' unit (0), 0 when the
/// measurements' unit is not known.
double factorTo(double firmwareUnitInNt, double unitInNt);

/// The calibration in a firmware's unit: b and Hm times k, and A^-1 made
/// symmetric, as the firmware layouts hold one triangle of it.
struct FirmwareValues {
    double bias[3];
    double ainv[3][3];
    double hm;
};
FirmwareValues firmwareValues(const ExportInput &input, double k);

/// The off-diagonal terms of a symmetric matrix in the order (1,2), (1,3), (2,3).
void offDiagonals(const double m[3][3], double out[3]);

/// The symmetric matrix of a diagonal and off-diagonal terms in that order.
void symmetricMatrix(const double diagonal[3], const double off[3], double m[3][3]);

/// A value in fixed notation with nine significant digits of scale, the
/// largest value of its group, so that small terms keep what they weigh
/// beside it; no exponent, which some loaders refuse; '.' as the point.
QByteArray decimalText(double value, double scale);

/// The largest magnitude of n values.
double largest(const double *values, int n);

/// Comment lines, each the prefix, a blank and the line.
QByteArray commentLines(const QByteArray &prefix, const QStringList &lines);

/// The comment lines of warnings, each beginning with "Warning: ".
QStringList warningLines(const QStringList &warnings);

/// The source file as named in a comment, with nothing that could end the line.
QString sourceName(const QString &sourceFile);

/// A count rounded to the nearest integer, kept far inside what a long long
/// holds, so that a value beyond the firmware's range is written as it is and warned of.
long long roundedCount(double value);

/// What a format's losses cost on the data, for its comment: "the worst norm
/// error on the N points is X % of NAME", from the worst error and the norm.
QString lossText(Points points, double worst, double norm, const QString &normName);

/// A line of text split off a file, numbered from 1.
struct Line {
    int number;
    QByteArray text; ///< without its line end
};

/// The file's lines, "\n" or "\r\n" ended.
std::vector<Line> splitLines(const QByteArray &text);

/// A finite number written in the C locale, blanks around it allowed.
std::optional<double> finiteNumber(const QByteArray &text);

/// An integer written in decimal, blanks around it allowed.
std::optional<long long> integerNumber(const QByteArray &text);

/// A ground station's parameter line names its vehicle in its first field,
/// and a file is read for the vehicle of its first such line: the file's
/// vehicle, vehicle once a line gave it and id on the first, or the error of
/// a line of another vehicle, whose values must not pass for that one's.
Expected<long long> fileVehicle(int line, long long id, std::optional<long long> vehicle);

/// The device id that parameter name sets, nothing when the file does not
/// set it, or the error when it is no whole number from 1 to MaximumDeviceId.
Expected<std::optional<long long>> readDeviceId(const QHash<QByteArray, double> &values,
                                                const QByteArray &name);

/// Whose rule a warning on a limit follows.
enum class Rule { FirmwareCode, TavrinJudgement };

/// The warning with whose rule it is, for firmware: "what. Rule: ArduPilot's code."
QString ruled(const QString &warning, Rule rule, const QString &firmware);

/// "line N: what".
QString lineError(int line, const QString &what);

/// A read that failed, with its reason.
Expected<ReadCorrection> readFailure(const QString &why);

/// An export refused, with its reason.
Expected<ExportResult> exportRefusal(const QString &why);

} // namespace tavrin::exportsupport

#endif
