#include "clirun.h"

#include "atomicfile.h"
#include "bootstrap.h"
#include "calibratedfile.h"
#include "calibration.h"
#include "commandline.h"
#include "figures.h"
#include "firmwareheader.h"
#include "jsonreport.h"
#include "outputpaths.h"
#include "parametersfile.h"
#include "quality.h"
#include "textreport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {

void print(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// A raw line as it can be shown on one terminal line, whatever it holds.
QString shownLine(const QString &line)
{
    QString shown;
    for (const QChar c : line) {
        if (c == '"' || c == '\\')
            shown += '\\' + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else
            shown += c;
    }
    return shown;
}

// The one place where a failed file becomes the message a user reads: the
// file name, the line where it applies, the text the dialog shows.
QString failureMessage(const QString &path, const CalibrationRun &run)
{
    const CalibrationError error = *run.error;
    QString where = path;
    if (error == CalibrationError::BadFormat || error == CalibrationError::TooManyLines)
        where += ':' + QString::number(run.raw.badLineNumber);
    QString message = where + QStringLiteral(": ") + errorMessage(error);
    if (error == CalibrationError::BadFormat)
        message += QStringLiteral(" (line: \"%1\")").arg(shownLine(run.raw.badLine));
    return message;
}

class Batch {
public:
    Batch(const CliOptions &options, const OutputPaths &paths, std::FILE *out, std::FILE *err)
        : o(options), paths(paths), out(out), err(err)
    {
    }

    int run()
    {
        for (int k = 0; k < o.files.size(); k++)
            calibrate(k);
        if (o.json) {
            const QJsonObject document{{"tool", QCoreApplication::applicationName()},
                                       {"version", QCoreApplication::applicationVersion()},
                                       {"hm", o.hm},
                                       {"files", files},
                                       {"exitStatus", status}};
            print(out, QJsonDocument(document).toJson());
        }
        return status;
    }

private:
    void say(const QString &message) { print(err, message.toUtf8() + '\n'); }

    void fail(int exitStatus) { status = std::max(status, exitStatus); }

    void calibrate(int k)
    {
        const QString &path = o.files[k];
        const CalibrationRun run = CalibrateFile(o.hm, path);
        if (run.error) {
            say(failureMessage(path, run));
            fail(run.error == CalibrationError::NumericalFailure ? NumericalFailure : Refused);
            if (o.json)
                files.append(jsonFailure(path, run, errorMessage(*run.error)));
            return;
        }
        if (run.fit.outlierWarning)
            say(path + QStringLiteral(": ") + outlierWarningMessage());
        const QStringList texts = ResultTexts(run.parameters);
        const QualityReport quality =
            AssessQuality(run.raw.Mag, run.raw.numLines, run.fit, run.parameters, o.hm);

        QJsonObject result = o.json ? jsonResult(path, run, quality, o.hm) : QJsonObject();
        QByteArray report = o.json || o.exportC ? QByteArray() : TextReport(path, texts, quality, o.hm);
        if (o.resamples > 0) {
            const Uncertainty u = BootstrapCalibration(run.raw.Mag, run.raw.numLines, o.hm, o.resamples);
            result.insert("uncertainty", jsonUncertainty(u));
            report += UncertaintyReport(u, run.parameters);
        }
        const QJsonArray writeErrors = writeOutputs(k, run, texts, quality);

        if (o.json) {
            if (!writeErrors.isEmpty())
                result.insert("writeErrors", writeErrors);
            files.append(result);
        } else if (o.exportC) {
            print(out, FirmwareHeader(headerName(path), path, o.hm, run.parameters));
        } else {
            print(out, (reported ? QByteArray("\n") : QByteArray()) + report);
            reported = true;
        }
    }

    // Writes the files asked for; says and returns those that failed.
    QJsonArray writeOutputs(int k, const CalibrationRun &run, const QStringList &texts,
                            const QualityReport &quality)
    {
        QJsonArray writeErrors;
        const auto save = [&](const QString &target, bool written, const QString &message) {
            if (written)
                return;
            say(target + QStringLiteral(": ") + message);
            writeErrors.append(QJsonObject{{"path", target}, {"message", message}});
            fail(Refused);
        };
        if (!paths.parameters[k].isEmpty())
            save(paths.parameters[k], WriteParametersFile(paths.parameters[k], texts),
                 errorMessage(CalibrationError::CannotSave));
        if (!paths.calibrated[k].isEmpty())
            save(paths.calibrated[k],
                 WriteFileAtomically(paths.calibrated[k],
                                     CalibratedPointsBytes(run.raw.Mag, run.raw.numLines, run.parameters)),
                 QStringLiteral("The calibrated measurements could not be saved."));
        if (!paths.plots[k].isEmpty()) {
            const FigureData figure{QFileInfo(o.files[k]).fileName(),
                                    o.hm,
                                    &run.raw.Mag,
                                    run.raw.numLines,
                                    run.parameters,
                                    quality};
            save(paths.plots[k], Figures::write(paths.plots[k], figure),
                 QStringLiteral("The figure could not be saved."));
        }
        return writeErrors;
    }

    // Several headers may go into one file, so every name is used once.
    QByteArray headerName(const QString &path)
    {
        const QByteArray base = cIdentifier(path);
        QByteArray name = base;
        for (int n = 2; headerNames.contains(name); n++)
            name = base + '_' + QByteArray::number(n);
        headerNames.insert(name);
        return name;
    }

    const CliOptions &o;
    const OutputPaths &paths;
    std::FILE *out;
    std::FILE *err;
    int status = Calibrated;
    bool reported = false; ///< a text report is out, so the next is set apart by a blank line
    QJsonArray files;
    QSet<QByteArray> headerNames;
};

} // namespace

int runCli(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const QByteArray program = QCoreApplication::applicationName().toUtf8() + ": ";
    const CommandLine command = parseCommandLine(arguments);
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        print(out, command.text.toUtf8());
        return Calibrated;
    case CommandLine::Action::Wrong:
        print(err, program + command.text.toUtf8() + '\n');
        return WrongCommandLine;
    case CommandLine::Action::Run:
        break;
    }
    const CliOptions &options = command.options;
    if (options.hm == 0.0) {
        print(err, program + errorMessage(CalibrationError::HmIsZero).toUtf8() + '\n');
        return Refused;
    }
    const OutputPaths paths = planOutputs(options);
    if (!paths.wrong.isEmpty()) {
        print(err, program + paths.wrong.toUtf8() + '\n');
        return WrongCommandLine;
    }
    return Batch(options, paths, out, err).run();
}
