// Exports of a calibration that firmware loads as they are, each in that
// firmware's own units, signs and layout, and the reading back of such a file
// to check it on measurements.
#ifndef TAVRIN_EXPORTFORMAT_H
#define TAVRIN_EXPORTFORMAT_H

#include "ellipsoidfit.h"
#include "expected.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tavrin {

/// The highest device id: ArduPilot and PX4 keep it in a 32-bit signed parameter.
constexpr long long MaximumDeviceId = 2147483647;
/// MAVLink's system and component ids.
constexpr int MaximumVehicleId = 255;

/// The ids by which a firmware or its ground station places a calibration
/// on a vehicle and a sensor; each is left out when not known.
struct ExportIds {
    std::optional<long long> device;    ///< the sensor's id, as the vehicle's parameter list shows it
    std::optional<long long> system;    ///< the vehicle's MAVLink system id
    std::optional<long long> component; ///< the autopilot's MAVLink component id
};

/// What an exporter is given. Hm and b are in the unit of the measurements.
struct ExportInput {
    const CalibrationParameters &parameters;
    double hm;
    double unitInNt;    ///< nT in one unit of the measurements; 0 when not known
    int compass;        ///< 1-based, for firmware that numbers its compasses
    Points points;      ///< the raw measurements, for the norm error a format's losses cost
    QString sourceFile; ///< the measurements' file, named in the export
    ExportIds ids = {}; ///< for the formats that use them (ExportFormat::ids)
    /// sensor-json: a file of the library whose magnetometer fields are
    /// replaced, every other field kept as it is; none for a new file.
    std::optional<QByteArray> merge = std::nullopt;
};

struct ExportResult {
    QByteArray bytes;     ///< the whole file; empty when refused
    QStringList warnings; ///< values the firmware would reject or take for uncalibrated; in the file too
};

/// A firmware's correction as it applies it: h_fw = matrix (k h - offset),
/// k taking the measurements to the firmware's unit.
struct FirmwareCorrection {
    double offset[3] = {0.0, 0.0, 0.0};
    double matrix[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
};

/// A correction read back from an exported file.
struct ReadCorrection {
    FirmwareCorrection correction;
    QStringList notes;  ///< values the firmware takes otherwise than the file writes them
    ExportIds ids = {}; ///< the ids the file holds
};

/// The ids a format uses, as flags.
enum ExportIdUse : int { NoIds = 0, DeviceId = 1, VehicleIds = 2 };

struct ExportFormat {
    const char *name;        ///< e.g. "ardupilot"
    const char *description; ///< one line: the convention and its units
    const char *suffix;      ///< of each input's file in a folder of exports, e.g. ".param"
    bool needsUnits;         ///< the firmware's unit is physical, so the measurements' must be known
    double unitInNt;         ///< the firmware's unit in nT; 0 for the measurements' own
    const char *unitName;    ///< "mG", "G", "uT"; "" for the measurements' own
    double calibratedNorm;   ///< the norm the corrected field is given; 0 for Hm in the firmware's unit
    int compasses;           ///< the compasses the firmware numbers, 1 to compasses
    int ids;                 ///< the ExportIdUse flags of the ids its files hold
    /// The file, or why the format refuses the calibration.
    Expected<ExportResult> (*write)(const ExportInput &input);
    /// Reads a file of this format for one compass; nullptr when the format cannot be read back.
    Expected<ReadCorrection> (*read)(const QByteArray &text, int compass);
};

/// Every export format, in the order they are offered.
const std::vector<ExportFormat> &exportFormats();

/// The format of that name, or nullptr.
const ExportFormat *exportFormatNamed(const QString &name);

/// The factor k from the measurements' unit to the format's: 1 when the format
/// keeps the measurements' unit, 0 when it needs a unit that is not known.
double unitFactor(const ExportFormat &format, double unitInNt);

/// The largest angle, in degrees, by which a file's corrected field may
/// point away from the calibration's own A^-1 (h - b).
constexpr double DirectionTolerance = 5.0;

/// How well an exported file calibrates measurements.
struct ExportCheck {
    QStringList notes;  ///< values the firmware takes otherwise than the file writes them
    double rms = 0.0;   ///< RMS of |h_fw| - expectedNorm, in the firmware's unit
    double worst = 0.0; ///< the largest | |h_fw| - expectedNorm |
    double expectedNorm = 0.0;
    bool directionsChecked = false; ///< whether a calibration was given to compare directions with
    double rmsAngle = 0.0;          ///< RMS of the angle between h_fw and A^-1 (h - b), in degrees
    double worstAngle = 0.0;        ///< the largest such angle

    /// Whether the directions were compared and stay within DirectionTolerance.
    bool directionsAgree() const { return directionsChecked && worstAngle <= DirectionTolerance; }
};

/// Reads text as the format's file for one compass and applies it to the raw
/// points as the firmware does. Hm is in the measurements' unit, unitInNt as in
/// ExportInput. With a reference, the calibration made from the same points,
/// the direction of every corrected reading is compared with A^-1 (h - b).
/// Each id given must be the one the file holds.
/// A file may begin with a UTF-8 byte-order mark. Values beyond a 32-bit
/// float, which the firmware cannot store, and corrections that give values
/// beyond a double are refused, as is a file that cannot be applied.
Expected<ExportCheck> checkExport(const ExportFormat &format, const QByteArray &text, Points points,
                                  double hm, double unitInNt, int compass,
                                  const CalibrationParameters *reference = nullptr,
                                  const ExportIds &ids = {});

/// | |h_fw| - expectedNorm | over the points, for a correction applied with factor k.
ExportCheck normErrors(const FirmwareCorrection &correction, double k, Points points, double expectedNorm);

} // namespace tavrin

#endif
