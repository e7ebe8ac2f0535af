// An exported file read back, and what applying it to measurements gives,
// said the same way by every front end.
#ifndef TAVRIN_EXPORTFILE_H
#define TAVRIN_EXPORTFILE_H

#include "expected.h"
#include "exportformat.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrin {

/// The bytes of an exported file ("-" for standard input), or why there are
/// none: it cannot be opened or read, or is longer than any export.
Expected<QByteArray> readExportFile(const QString &path);

/// One line: how the export at exportPath, applied as format applies it to
/// the points of dataPath, matches the norm: RMS, share and worst error, in
/// unit when not empty; and, when they were checked, the RMS and the largest
/// angle in degrees between its corrected field and the calibration's.
QByteArray ExportCheckLine(const QString &exportPath, const ExportFormat &format, int points,
                           const QString &dataPath, const ExportCheck &check, const QString &unit);

} // namespace tavrin

#endif
