// The lines boards print, one reading each: what each format looks like and
// how one line of it is read.
#ifndef TAVRIN_CAPTURE_LINEFORMAT_H
#define TAVRIN_CAPTURE_LINEFORMAT_H

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace tavrin {

enum class LineFormat {
    Auto,     ///< found from the first lines
    Raw,      ///< "Raw:" and nine integers, the magnetometer last in counts of 0.1 uT
    Uni,      ///< "Uni:" and nine decimals, the magnetometer last in uT
    Xyz,      ///< three numbers separated by commas, tabs or blanks
    Labelled, ///< "X: 12.5 Y: -3.2 Z: 40.0 uT", "Mag: x= 12.5 | y= -3.2 | z= 40.0"
    Log,      ///< rows of a log with chosen columns
};

/// "auto", "raw", "uni", "xyz", "labelled" or "log".
QString lineFormatName(LineFormat format);

/// The format of a name that lineFormatName gives, but "log", which goes with columns.
std::optional<LineFormat> lineFormatNamed(const QString &name);

/// The formats a user can choose by name, Auto first.
const std::vector<LineFormat> &namedLineFormats();

/// The formats a search for the format tries, in the order a line is tried
/// against them.
const std::vector<LineFormat> &detectedLineFormats();

/// The accelerometer and gyroscope that Raw: and Uni: lines carry beside the
/// magnetometer, in the line's own units: Raw: the sensor's counts, whose
/// size the line does not say; Uni: m/s^2 and rad/s.
struct Inertial {
    std::array<double, 3> accel;
    std::array<double, 3> gyro;
};

/// One magnetometer reading as a line gives it.
struct LineReading {
    std::array<double, 3> field;
    double unitInNt = 0.0;            ///< the size of its unit in nT; 0 for plain numbers, which have none
    std::optional<Inertial> inertial; ///< for the formats that carry them
};

/// Reads a line of one of the formats but Auto and Log; empty when it is no
/// line of that format.
std::optional<LineReading> readLine(LineFormat format, const QByteArray &line);

/// The size in nT of a unit word: uT, µT, uTesla, mG, G or nT; 0 for another word.
double unitWordInNt(const QByteArray &word);

} // namespace tavrin

#endif
