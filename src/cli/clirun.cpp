#include "clirun.h"

#include "atomicfile.h"
#include "bootstrap.h"
#include "calibratedfile.h"
#include "calibration.h"
#include "checkexport.h"
#include "clierrors.h"
#include "clifield.h"
#include "commandline.h"
#include "exportfile.h"
#include "outputpaths.h"
#include "outputs.h"
#include "parametersfile.h"
#include "pipeline.h"
#include "printable.h"
#include "quality.h"
#include "reporter.h"
#include "stream.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace tavrin {

// The one place where a failed file becomes the message a user reads: the
// file name, the line where it applies, the text the dialog shows, and the
// system's reason where there is one.
QString failureMessage(const QString &path, const CalibrationRun &run)
{
    const CalibrationError error = *run.error;
    QString where = printable(displayName(path));
    if (error == CalibrationError::BadFormat || error == CalibrationError::TooManyLines)
        where += ':' + QString::number(run.raw.badLineNumber);
    QString message = where + QStringLiteral(": ") + cliErrorMessage(error);
    if (!run.raw.reason.isEmpty())
        message += QStringLiteral(" (%1)").arg(run.raw.reason);
    if (error == CalibrationError::BadFormat)
        message += QStringLiteral(" (line: \"%1\")").arg(printable(run.raw.badLine));
    if (run.undetermined == Undetermined::Plane)
        message += QStringLiteral(" The points lie in a plane: try --fit planar.");
    else if (const QString detail = failureDetail(run); !detail.isEmpty())
        message += ' ' + detail;
    else if (!run.fitReason.isEmpty())
        message += QStringLiteral(" (%1)").arg(run.fitReason);
    return message;
}

namespace {

class Batch {
public:
    Batch(const CliOptions &options, const OutputPaths &paths, FigureWriter writeFigure, Stream &out,
          Stream &err)
        : o(options), paths(paths), writeFigure(writeFigure), err(err), reporter(makeReporter(options, out)),
          out(out)
    {
    }

    int run()
    {
        for (int k = 0; k < o.files.size() && out.error == 0; k++)
            calibrate(k);
        reporter->finish(status);
        return status;
    }

private:
    void say(const QString &message) { err.write(message.toUtf8() + '\n'); }

    // The run's status is the worst of its files' and outputs'.
    void raiseStatus(int exitStatus) { status = std::max(status, exitStatus); }

    void calibrate(int k)
    {
        const QString &path = o.files[k];
        const QString name = printable(displayName(path));
        CalibrationOptions options{o.hm, o.fit, o.resamples, BootstrapSeed};
        options.accel = o.accelDown ? align::AccelConvention::Down : align::AccelConvention::Up;
        if (o.hmAt)
            options.placeInclinationDegrees = o.hmSource.inclinationDegrees;
        const CalibrationResult result = runCalibration(Input::file(path, o.log), options);
        const CalibrationRun &run = result.run;
        if (result.log) {
            for (const LogInput::Skipped &s : result.log->firstSkipped)
                say(QStringLiteral("%1:%2: skipped (line: \"%3\")")
                        .arg(name)
                        .arg(s.line)
                        .arg(printable(s.text)));
            if (result.log->skippedLines > result.log->firstSkipped.size())
                say(QStringLiteral("%1: %2 bad lines skipped in all")
                        .arg(name)
                        .arg(result.log->skippedLines));
        }
        if (run.error) {
            say(failureMessage(path, run));
            // A strict refusal of what is plainly a log says how to read it.
            if (run.error == CalibrationError::BadFormat && !o.log && path != QLatin1String("-"))
                if (const QString hint = logHint(path); !hint.isEmpty())
                    say(name + QStringLiteral(": ") + hint);
            if (result.log)
                if (const QString hint = logRemedyHint(result.log->remedy); !hint.isEmpty())
                    say(name + QStringLiteral(": ") + hint);
            raiseStatus(exitStatusOf(*run.error));
            reporter->failed(path, run);
            return;
        }
        for (const QString &warning : result.warnings)
            say(name + QStringLiteral(": ") + warning);
        if (o.align && (!result.alignment || !result.alignment->determined)) {
            say(name + QStringLiteral(": --align: the axes are not determined (%1); nothing was written.")
                           .arg(result.alignment ? QString::fromStdString(result.alignment->reason)
                                                 : QStringLiteral("no accelerometer was read")));
            raiseStatus(Refused);
            if (!o.exportsToStandardOutput())
                print({result, QJsonArray(), nullptr});
            return;
        }
        if (o.align) {
            CalibrationResult aligned = result;
            aligned.run.parameters = rotatedCalibration(run.parameters, result.alignment->rotation);
            report(k, aligned);
        } else {
            report(k, result);
        }
    }

    // The exports, the files and the report of a calibrated file.
    void report(int k, const CalibrationResult &result)
    {
        const QString &path = o.files[k];
        const QString name = printable(displayName(path));
        const CalibrationRun &run = result.run;
        const std::optional<Expected<ExportResult>> exported = exportCalibration(path, run);
        if (exported && *exported)
            for (const QString &warning : (*exported)->warnings)
                say(name + QStringLiteral(": ") + warning);
        const QJsonArray writeErrors = writeFiles(k, result, exported ? &*exported : nullptr);
        print({result, writeErrors, exported ? &*exported : nullptr});
    }

    // The report of a calibrated file, or why it cannot be reported.
    void print(const CalibratedFile &file)
    {
        const Expected<QByteArray> report = reporter->calibrated(file);
        if (report) {
            out.write(*report);
            return;
        }
        say(report.error());
        raiseStatus(Refused);
    }

    // The export asked for, but for c, which its reporter writes.
    std::optional<Expected<ExportResult>> exportCalibration(const QString &path,
                                                            const CalibrationRun &run) const
    {
        if (!o.exportFormat || o.exportC())
            return std::nullopt;
        std::optional<QByteArray> merge;
        if (!o.merge.isEmpty()) {
            const Expected<QByteArray> board = readExportFile(o.merge);
            if (!board)
                return Expected<ExportResult>::failure(
                    QStringLiteral("The file to merge into, %1: %2")
                        .arg(printable(displayName(o.merge)), board.error()));
            merge = *board;
        }
        return o.exportFormat->write({run.parameters, o.hm, fieldUnitInNt(o.units), o.compass,
                                      run.raw.points(), displayName(path), o.ids, merge});
    }

    // Writes the files asked for; says and returns those that failed.
    QJsonArray writeFiles(int k, const CalibrationResult &result, const Expected<ExportResult> *exported)
    {
        const QList<WriteFailure> failures = writeOutputs(
            result, o.hm, {paths.parameters[k], paths.calibrated[k], paths.plots[k]}, exported, writeFigure);
        QJsonArray writeErrors;
        const auto sayFailure = [&](const WriteFailure &f) {
            say(printable(f.path) + QStringLiteral(": ") + f.message);
            writeErrors.append(QJsonObject{{"path", f.path}, {"message", f.message}});
            raiseStatus(Refused);
        };
        for (const WriteFailure &f : failures)
            if (f.path == paths.parameters[k])
                sayFailure(f);
        if (!paths.parameters[k].isEmpty() && !exported && ShowsValuesAsZero(result.run.parameters))
            say(printable(paths.parameters[k]) +
                QStringLiteral(": Some values show as zero with the four decimals of this file, which "
                               "cannot hold them; --json or --export c give them in full."));
        for (const WriteFailure &f : failures)
            if (f.path != paths.parameters[k])
                sayFailure(f);
        return writeErrors;
    }

    const CliOptions &o;
    const OutputPaths &paths;
    const FigureWriter writeFigure; ///< nullptr when nothing is drawn
    Stream &err;
    const std::unique_ptr<Reporter> reporter;
    Stream &out;
    int status = Calibrated;
};

// Hm from the model when asked, the outputs planned, then every file.
int calibrateAll(CliOptions options, const Parts &parts, Stream &out, Stream &err)
{
    const QByteArray program = QCoreApplication::applicationName().toUtf8() + ": ";
    if (options.hmAt) {
        if (const int status = takeHmFromModel(options, err); status != Calibrated)
            return status;
        if (!options.json && !options.exportsToStandardOutput())
            out.write(hmSourceLine(options));
    }
    const Expected<OutputPaths> paths = planOutputs(options);
    if (!paths) {
        err.write(program + paths.error().toUtf8() + '\n');
        return WrongCommandLine;
    }
    if (const Expected<QStringList> folders = makeOutputFolders(options); !folders) {
        err.write(program + folders.error().toUtf8() + '\n');
        return Refused;
    }
    // A recording with the accelerometer and gyroscope is a log, read by its columns.
    if (options.capture)
        if (const int status =
                parts.capture->captureToRecording(*options.capture, options.hm, err, options.log);
            status != Calibrated)
            return status;
    return Batch(options, *paths, parts.drawing ? parts.drawing->writeFigure : nullptr, out, err).run();
}

} // namespace

int runCli(const Expected<CommandLine> &command, const Parts &parts, std::FILE *outFile, std::FILE *errFile)
{
    Stream out(outFile), err(errFile);
    const QByteArray program = QCoreApplication::applicationName().toUtf8() + ": ";
    int status = Calibrated;
    if (!command) {
        err.write(program + command.error().toUtf8() + '\n');
        status = WrongCommandLine;
    } else if (command->action == CommandLine::Action::Help) {
        out.write(helpText().toUtf8());
    } else if (command->action == CommandLine::Action::Version) {
        out.write(program.chopped(2) + ' ' + QCoreApplication::applicationVersion().toUtf8() + '\n');
    } else if (command->action == CommandLine::Action::FieldAt) {
        status = printFieldAt(command->options, out, err);
    } else if (command->action == CommandLine::Action::CheckExport) {
        status = checkExportFile(command->options, out, err);
    } else {
        status = calibrateAll(command->options, parts, out, err);
    }
    // A reader that went away (a closed pipe) wants no more; any other
    // failure of standard output is said where it can still be read.
    if (out.error != 0) {
        if (out.error != EPIPE)
            err.write(program + "standard output: " + QByteArray(std::strerror(out.error)) + '\n');
        status = std::max<int>(status, Refused);
    }
    if (err.error != 0)
        status = std::max<int>(status, Refused);
    return status;
}

} // namespace tavrin
