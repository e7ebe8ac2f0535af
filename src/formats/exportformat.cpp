#include "exportformat.h"

#include "exportsupport.h"
#include "firmwareexports.h"

#include <cmath>
#include <limits>

namespace tavrin {

using namespace exportsupport;

const std::vector<ExportFormat> &exportFormats()
{
    static const std::vector<ExportFormat> formats = {
        {"c",
         "a C header: b and A^-1 as float arrays and a function h_cal = A^-1 (h - b), in the measurements' "
         "unit",
         ".h", false, 0.0, "", 0.0, 1, NoIds, writeCHeader, nullptr},
        {"ardupilot",
         "ArduPilot parameters, NAME,VALUE: h = M (COMPASS_SCALE (h + COMPASS_OFS)), OFS = -b, M = A^-1 from "
         "DIA and ODI, in mG, in the body frame after COMPASS_ORIENT",
         ".param", true, MilligaussInNt, "mG", 0.0, ArduPilotCompasses, DeviceId, writeArduPilot,
         readArduPilot},
        {"px4",
         "PX4 parameters for a ground station, tab-separated: h = S (h - CAL_MAGn_OFF), OFF = b, S = A^-1 "
         "from SCALE and ODIAG, in G, in the sensor frame before CAL_MAGn_ROT",
         ".params", true, GaussInNt, "G", 0.0, Px4Compasses, DeviceId | VehicleIds, writePx4, readPx4},
        {"matlab",
         "a MATLAB script in magcal's convention: C = (D - b) A, b a row, A = A^-1, expmfs = Hm, in "
         "the measurements' unit",
         ".m", false, 0.0, "", 0.0, 1, NoIds, writeMatlab, readMatlab},
        {"inav",
         "iNav CLI: out = (raw - magzero) 1024 / maggain per axis, in raw counts in the driver's raw frame "
         "before align_mag and the board alignment; the cross-axis terms are lost",
         ".inav.txt", false, 0.0, "counts", InavNorm, 1, NoIds, writeInav, readInav},
        {"betaflight",
         "Betaflight CLI: out = raw - mag_calibration, in raw counts in the board frame after align_mag "
         "and the board alignment; offsets only",
         ".betaflight.txt", false, 0.0, "counts", 0.0, 1, NoIds, writeBetaflight, readBetaflight},
        {"sensor-json",
         "JSON of Arduino sensor-calibration libraries: m = mag_softiron (h - mag_hardiron), hardiron = b, "
         "softiron = A^-1 by rows, mag_field = Hm, in uT",
         ".json", true, MicroteslaInNt, "uT", 0.0, 1, NoIds, writeSensorJson, readSensorJson},
    };
    return formats;
}

const ExportFormat *exportFormatNamed(const QString &name)
{
    for (const ExportFormat &f : exportFormats())
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

double unitFactor(const ExportFormat &format, double unitInNt)
{
    return factorTo(format.unitInNt, unitInNt);
}

namespace {

// A reading h in the measurements' unit as the firmware corrects it, with factor k to its unit.
void applied(const FirmwareCorrection &c, double k, const Doub *h, double out[3])
{
    const double d[3] = {k * h[0] - c.offset[0], k * h[1] - c.offset[1], k * h[2] - c.offset[2]};
    for (int i = 0; i < 3; i++)
        out[i] = c.matrix[i][0] * d[0] + c.matrix[i][1] * d[1] + c.matrix[i][2] * d[2];
}

// Byte-order mark that editors on Windows put before UTF-8 text.
const QByteArray Utf8Bom = "\xEF\xBB\xBF";

// ArduPilot and PX4 store their parameters as 32-bit floats; the other
// formats' firmware and tools hold no more.
std::optional<double> beyondFloat(const FirmwareCorrection &c)
{
    const double *values[] = {c.offset, c.matrix[0], c.matrix[1], c.matrix[2]};
    for (const double *row : values)
        for (int i = 0; i < 3; i++)
            if (std::fabs(row[i]) > double(std::numeric_limits<float>::max()))
                return row[i];
    return std::nullopt;
}

// The angle between what the file makes of each point and A^-1 (h - b), in
// degrees; a corrected reading of zero has no direction and counts as 90.
void measureDirections(ExportCheck &check, const FirmwareCorrection &c, double k, Points points,
                       const CalibrationParameters &reference)
{
    constexpr double Degrees = 180.0 / 3.14159265358979323846;
    const Calibrator calibrated(reference);
    double sum = 0.0;
    for (Int n = 0; n < points.size(); n++) {
        double u[3], v[3];
        applied(c, k, points[n], u);
        calibrated(points[n], v);
        const double cross =
            std::hypot(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]);
        const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
        const double angle = cross == 0.0 && dot == 0.0 ? 90.0 : Degrees * std::atan2(cross, dot);
        sum += angle * angle;
        check.worstAngle = std::max(check.worstAngle, angle);
    }
    check.rmsAngle = std::sqrt(sum / double(points.size()));
    check.directionsChecked = true;
}

// The ids a file holds, when they are those given; or why they are not.
Expected<ExportIds> matchingIds(const ExportIds &held, const ExportIds &given)
{
    const struct {
        const char *what;
        std::optional<long long> held, given;
    } ids[] = {{"device id", held.device, given.device},
               {"system id", held.system, given.system},
               {"component id", held.component, given.component}};
    for (const auto &id : ids) {
        if (!id.given || id.held == id.given)
            continue;
        if (!id.held)
            return Expected<ExportIds>::failure(QStringLiteral("The file holds no %1; %2 was given.")
                                                    .arg(QLatin1String(id.what))
                                                    .arg(*id.given));
        return Expected<ExportIds>::failure(QStringLiteral("The file's %1 is %2, not the %3 given.")
                                                .arg(QLatin1String(id.what))
                                                .arg(*id.held)
                                                .arg(*id.given));
    }
    return held;
}

} // namespace

ExportCheck normErrors(const FirmwareCorrection &c, double k, Points points, double expectedNorm)
{
    ExportCheck check;
    check.expectedNorm = expectedNorm;
    double sum = 0.0;
    for (Int n = 0; n < points.size(); n++) {
        double h[3];
        applied(c, k, points[n], h);
        const double e = std::fabs(std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]) - expectedNorm);
        sum += e * e;
        check.worst = std::max(check.worst, e);
    }
    check.rms = points.size() > 0 ? std::sqrt(sum / double(points.size())) : 0.0;
    return check;
}

Expected<ExportCheck> checkExport(const ExportFormat &format, const QByteArray &text, Points points,
                                  double hm, double unitInNt, int compass,
                                  const CalibrationParameters *reference, const ExportIds &ids)
{
    using Refused = Expected<ExportCheck>;
    const double k = unitFactor(format, unitInNt);
    if (!format.read)
        return Refused::failure(
            QStringLiteral("A %1 file cannot be read back.").arg(QLatin1String(format.name)));
    if (k == 0.0)
        return Refused::failure(QStringLiteral("The unit of the measurements is needed to apply a %1 file.")
                                    .arg(QLatin1String(format.name)));
    if (points.size() == 0)
        return Refused::failure(QStringLiteral("The measurements hold no point."));
    const Expected<ReadCorrection> read =
        format.read(text.startsWith(Utf8Bom) ? text.mid(Utf8Bom.size()) : text, compass);
    if (!read)
        return Refused::failure(read.error());
    if (const Expected<ExportIds> held = matchingIds(read->ids, ids); !held)
        return Refused::failure(held.error());
    if (const std::optional<double> value = beyondFloat(read->correction))
        return Refused::failure(
            QStringLiteral("The file holds %1, beyond what the 32-bit floats of a firmware hold.")
                .arg(*value, 0, 'g', 6));
    ExportCheck check =
        normErrors(read->correction, k, points, format.calibratedNorm > 0.0 ? format.calibratedNorm : k * hm);
    check.notes = read->notes;
    if (reference)
        measureDirections(check, read->correction, k, points, *reference);
    if (!std::isfinite(check.rms) || !std::isfinite(check.rmsAngle))
        return Refused::failure(
            QStringLiteral("Applied to the measurements, the file gives values beyond what a double holds."));
    return check;
}

} // namespace tavrin
