// The files written from one calibrated result, as every front end writes
// them: the parameters file or an export in its place, the calibrated
// measurements and the figure.
#ifndef TAVRIN_OUTPUTS_H
#define TAVRIN_OUTPUTS_H

#include "exportformat.h"
#include "figuredata.h"
#include "pipeline.h"

#include <QList>
#include <QString>

namespace tavrin {

/// Where the files of one result go; an empty path is not written.
struct OutputTargets {
    QString parameters; ///< the parameters file, or the export when there is one
    QString calibrated; ///< the calibrated measurements
    QString figure;     ///< the figure, .png or .svg
};

/// A file that could not be written, and why: the message, with the
/// system's reason in brackets when there is one.
struct WriteFailure {
    QString path;
    QString message;
};

/// Writes the targets of a calibrated result, each atomically, the export
/// in place of the parameters file when one is given (its refusal fails the
/// parameters target); the figure for the
/// field norm hm (in the unit of the measurements, not 0), by writeFigure,
/// which only a figure target needs. Returns the files that could not be
/// written, in the order above.
QList<WriteFailure> writeOutputs(const CalibrationResult &result, double hm, const OutputTargets &targets,
                                 const Expected<ExportResult> *exported, FigureWriter writeFigure);

/// Some value other than zero shows as zero with the four decimals of the
/// parameters file.
bool ShowsValuesAsZero(const CalibrationParameters &p);

} // namespace tavrin

#endif
