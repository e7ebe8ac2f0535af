// The command line of tavrin-cli: its options, help and validation.
#ifndef TAVRIN_CLI_COMMANDLINE_H
#define TAVRIN_CLI_COMMANDLINE_H

#include "expected.h"
#include "exportformat.h"
#include "fieldmodel.h"
#include "lineformat.h"
#include "logreader.h"
#include "robustfit.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

/// --port: the measurements are read live, recorded, then calibrated.
struct CaptureRequest {
    QString source; ///< a serial port's device, "-" or "tcp://host:port"
    int baud = 0;
    LineFormat format = LineFormat::Auto;
    std::optional<LogFormat> log; ///< --columns: rows of a log
    double unitInNt = 1000.0;     ///< --units: the unit readings that carry one are recorded in
    int points = 0;               ///< --points; 0 without
    double seconds = 0.0;         ///< --seconds; 0 without
    bool untilCovered = false;
    QString record;      ///< the recording, also the file calibrated
    QString recordLines; ///< --record-lines; empty for none
};

struct CliOptions {
    double hm = 0.0;              ///< given with --hm, or from the model with --hm-at
    std::optional<Place> fieldAt; ///< --field-at: print the model's field there
    std::optional<Place> hmAt;    ///< --hm-at: Hm from the model's field there
    double year = 0.0;            ///< the decimal year for the model
    QString date;                 ///< --date as given; empty for today
    HmFromModel hmSource;         ///< with --hm-at
    std::optional<LogFormat> log; ///< --columns: the files are logs; --accel-columns: with an accelerometer
    bool accelDown = false;       ///< --accel-down: the accelerometer reads -1 g on the axis pointing up
    bool align = false; ///< --align: every output of the calibration turned into the accelerometer's axes
    QStringList files;
    QString output; ///< parameters file, or folder with several files; empty for none
    QString apply;  ///< calibrated measurements file, or folder; empty for none
    bool json = false;
    const ExportFormat *exportFormat = nullptr; ///< --export or --check-export; nullptr for none
    int compass = 1;                            ///< --compass: the firmware's compass, from 1
    ExportIds ids;                              ///< --device-id, --system-id, --component-id: those given
    QString merge;                              ///< --merge: the board's sensor-json file; empty for none
    QString units;     ///< --units: the unit of the measurements; empty when not given
    int resamples = 0; ///< bootstrap resamples for --uncertainty; 0 for none
    FitModel fit = FitModel::Exact;
    QString plot;                          ///< figure to draw, .png or .svg; empty for none
    std::optional<CaptureRequest> capture; ///< --port: files holds the recording

    /// --export c: the C header, printed whatever -o says, as it always was.
    bool exportC() const { return exportFormat && qstrcmp(exportFormat->name, "c") == 0; }
    /// Whether standard output carries the export instead of a report.
    bool exportsToStandardOutput() const { return exportFormat && (exportC() || output.isEmpty()); }
};

struct CommandLine {
    enum class Action { Run, Help, Version, FieldAt, CheckExport };
    Action action = Action::Run;
    CliOptions options;
};

/// Parses the arguments, program name first. Checks the form of every option
/// but touches no file; the failure says what is wrong and how to get help.
Expected<CommandLine> parseCommandLine(const QStringList &arguments);

/// The text of --help; it names the program, so it wants the application object.
QString helpText();

/// How to read a file that the strict reader refused and that looks like a
/// log: its fields and an example --columns; empty for any other file.
QString logHint(const QString &path);

/// What to add to the command line to read a refused log; empty when nothing would.
QString logRemedyHint(LogInput::Remedy remedy);

} // namespace tavrin

#endif
