// What File > Export writes, each by the formats library or the plot
// library, so that a file equals what tavrin-cli writes for the same input.
#ifndef TAVRIN_WORKBENCH_EXPORTS_H
#define TAVRIN_WORKBENCH_EXPORTS_H

#include "exportformat.h"
#include "reportwords.h"
#include "runner.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tavrin {

struct WorkbenchExport {
    QString name;   ///< "parameters", "calibrated", "png", "svg" or a firmware format's name
    QString title;  ///< the menu's text, with its mnemonic
    QString filter; ///< the file dialog's, e.g. "C header (*.h)"
    QString suffix; ///< the default suffix, without its dot
    QString note;   ///< what the file is for
    /// The text of the file, for the formats that are text, or why the
    /// format refuses the calibration. Not set for the figures.
    std::function<Expected<QByteArray>(const Calibration &calibration)> text;
    /// Writes the file atomically; false with the reason when it cannot.
    std::function<bool(const QString &path, const Calibration &calibration, QString *reason)> write;
    /// What the file warns of, in its own "Warning:" lines; not set for the
    /// formats that never warn.
    std::function<QStringList(const Calibration &calibration)> warnings = nullptr;
    /// For the firmware that takes the compass's orientation as a number:
    /// the number the axes check found, or why there is none; empty without
    /// an accelerometer. Not set for the other formats.
    std::function<QString(const Calibration &calibration)> orientation = nullptr;
};

/// How the workbench's reports ask for another fit: by the Fit list.
ReportWords workbenchWords();

/// Every format, the parameters file first, then the calibrated data, JSON, the
/// figure and the firmware formats of the formats library.
const std::vector<WorkbenchExport> &workbenchExports();

/// The format of that name; nullptr for none.
const WorkbenchExport *workbenchExportNamed(const QString &name);

/// The ids last given in the export dialog for a firmware format, which
/// its text and file carry; kept between runs in the settings.
ExportIds rememberedIds(const QString &format);
void rememberIds(const QString &format, const ExportIds &ids);

/// The compass, 1 to the format's compasses, that a firmware format's text
/// and file are for: the one last chosen in the export dialog, or the first.
int rememberedCompass(const QString &format);
void rememberCompass(const QString &format, int compass);

/// A menu's title as a name: without its access key and its "…".
QString plainTitle(QString title);

/// Why a calibration must not be written to path: it would overwrite its
/// input. Empty when it may.
QString overwriteProblem(const QString &path, const Calibration &calibration);

} // namespace tavrin

#endif
