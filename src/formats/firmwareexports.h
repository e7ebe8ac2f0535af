// The writer and the reader of each export format, one source file each;
// exportFormats() lists them with their conventions.
#ifndef TAVRIN_FIRMWAREEXPORTS_H
#define TAVRIN_FIRMWAREEXPORTS_H

#include "exportformat.h"

namespace tavrin {

/// ArduPilot: COMPASS_OFS = -b, COMPASS_DIA and COMPASS_ODI from A^-1, in mG.
Expected<ExportResult> writeArduPilot(const ExportInput &input);
Expected<ReadCorrection> readArduPilot(const QByteArray &text, int compass);

/// PX4: CAL_MAGn_XOFF... = b, the scales and off-diagonals from A^-1, in G.
Expected<ExportResult> writePx4(const ExportInput &input);
Expected<ReadCorrection> readPx4(const QByteArray &text, int compass);

/// MATLAB's magcal convention, C = (D - b) A, in the measurements' unit.
Expected<ExportResult> writeMatlab(const ExportInput &input);
Expected<ReadCorrection> readMatlab(const QByteArray &text, int compass);

/// iNav: magzero and maggain per axis, in raw counts.
Expected<ExportResult> writeInav(const ExportInput &input);
Expected<ReadCorrection> readInav(const QByteArray &text, int compass);

/// Betaflight: mag_calibration offsets, in raw counts.
Expected<ExportResult> writeBetaflight(const ExportInput &input);
Expected<ReadCorrection> readBetaflight(const QByteArray &text, int compass);

/// mag_hardiron, mag_softiron and mag_field in uT, as Arduino sensor-calibration libraries store them.
Expected<ExportResult> writeSensorJson(const ExportInput &input);
Expected<ReadCorrection> readSensorJson(const QByteArray &text, int compass);

/// The C header of FirmwareHeader, named after the source file.
Expected<ExportResult> writeCHeader(const ExportInput &input);

} // namespace tavrin

#endif
