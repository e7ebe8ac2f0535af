#include "exportformat.h"

#include "exportsupport.h"
#include "firmwareexports.h"

#include <cmath>

namespace tavrin {

using namespace exportsupport;

const std::vector<ExportFormat> &exportFormats()
{
    static const std::vector<ExportFormat> formats = {
        {"c",
         "a C header: b and A^-1 as float arrays and a function h_cal = A^-1 (h - b), in the measurements' "
         "unit",
         ".h", false, 0.0, "", 0.0, 1, WriteCHeader, nullptr},
        {"ardupilot",
         "ArduPilot parameters, NAME,VALUE: h = M (COMPASS_SCALE (h + COMPASS_OFS)), OFS = -b, M = A^-1 from "
         "DIA and ODI, in mG",
         ".param", true, MilligaussInNt, "mG", 0.0, ArduPilotCompasses, WriteArduPilot, ReadArduPilot},
        {"px4",
         "PX4 parameters for a ground station, tab-separated: h = S (h - CAL_MAGn_OFF), OFF = b, S = A^-1 "
         "from "
         "SCALE and ODIAG, in G",
         ".params", true, GaussInNt, "G", 0.0, Px4Compasses, WritePx4, ReadPx4},
        {"matlab",
         "a MATLAB script in magcal's convention: C = (D - b) A, b a row, A = A^-1, expmfs = Hm, in "
         "the measurements' unit",
         ".m", false, 0.0, "", 0.0, 1, WriteMatlab, ReadMatlab},
        {"inav",
         "iNav CLI: out = (raw - magzero) 1024 / maggain per axis, in raw counts; the cross-axis terms are "
         "lost",
         ".inav.txt", false, 0.0, "counts", InavNorm, 1, WriteInav, ReadInav},
        {"betaflight", "Betaflight CLI: out = raw - mag_calibration, in raw counts; offsets only",
         ".betaflight.txt", false, 0.0, "counts", 0.0, 1, WriteBetaflight, ReadBetaflight},
        {"sensor-json",
         "JSON of Arduino sensor-calibration libraries: m = mag_softiron (h - mag_hardiron), hardiron = b, "
         "softiron = A^-1 by rows, mag_field = Hm, in uT",
         ".json", true, MicroteslaInNt, "uT", 0.0, 1, WriteSensorJson, ReadSensorJson},
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

ExportCheck NormErrors(const FirmwareCorrection &c, double k, Points points, double expectedNorm)
{
    ExportCheck check;
    check.expectedNorm = expectedNorm;
    double sum = 0.0;
    for (Int n = 0; n < points.size(); n++) {
        double d[3], squared = 0.0;
        for (int i = 0; i < 3; i++)
            d[i] = k * points[n][i] - c.offset[i];
        for (int i = 0; i < 3; i++) {
            const double h = c.matrix[i][0] * d[0] + c.matrix[i][1] * d[1] + c.matrix[i][2] * d[2];
            squared += h * h;
        }
        const double e = std::fabs(std::sqrt(squared) - expectedNorm);
        sum += e * e;
        check.worst = std::max(check.worst, e);
    }
    check.rms = points.size() > 0 ? std::sqrt(sum / double(points.size())) : 0.0;
    return check;
}

ExportCheck CheckExport(const ExportFormat &format, const QByteArray &text, Points points, double hm,
                        double unitInNt, int compass)
{
    ExportCheck check;
    const double k = unitFactor(format, unitInNt);
    if (!format.read)
        check.error = QStringLiteral("A %1 file cannot be read back.").arg(QLatin1String(format.name));
    else if (k == 0.0)
        check.error = QStringLiteral("The unit of the measurements is needed to apply a %1 file.")
                          .arg(QLatin1String(format.name));
    else if (points.size() == 0)
        check.error = QStringLiteral("The measurements hold no point.");
    if (!check.error.isEmpty())
        return check;
    const ReadCorrection read = format.read(text, compass);
    if (!read.correction) {
        check.error = read.error;
        return check;
    }
    return NormErrors(*read.correction, k, points,
                      format.calibratedNorm > 0.0 ? format.calibratedNorm : k * hm);
}

} // namespace tavrin
