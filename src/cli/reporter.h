// How the results of a run reach standard output: as a text report, one
// JSON document, C headers or another export, each one reporter behind this
// interface.
#ifndef TAVRIN_CLI_REPORTER_H
#define TAVRIN_CLI_REPORTER_H

#include "bootstrap.h"
#include "calibration.h"
#include "commandline.h"
#include "exportformat.h"
#include "logreader.h"
#include "pipeline.h"
#include "quality.h"
#include "reportwords.h"
#include "stream.h"

#include <QJsonArray>
#include <QString>

#include <memory>
#include <optional>

namespace tavrin {

/// All that is known of one calibrated file.
struct CalibratedFile {
    const CalibrationResult &result;        ///< its warnings as said on standard error
    const QJsonArray &writeErrors;          ///< outputs that could not be written: path, message
    const Expected<ExportResult> *exported; ///< the --export asked for; nullptr for none, and for c
};

class Reporter {
public:
    virtual ~Reporter() = default;

    /// The report of a calibrated file, the bytes to print at once (none
    /// for a report printed at the end); or, when it cannot be reported, the
    /// message to say, and the run then ends with status 1.
    virtual Expected<QByteArray> calibrated(const CalibratedFile &file) = 0;

    /// A file that was refused or failed, after its message was said.
    virtual void failed(const QString &path, const CalibrationRun &run) = 0;

    /// After the last file, with the run's exit status.
    virtual void finish(int exitStatus) = 0;
};

/// The text reports of the files one after the other, a blank line between two.
class TextReporter : public Reporter {
public:
    explicit TextReporter(double hm) : hm(hm) {}

    Expected<QByteArray> calibrated(const CalibratedFile &file) override;
    void failed(const QString &, const CalibrationRun &) override {}
    void finish(int) override {}

private:
    double hm;
    bool reported = false;
};

/// Collects every file and prints the JSON document at the end.
class JsonReporter : public Reporter {
public:
    JsonReporter(Stream &out, const CliOptions &options) : out(out), options(options) {}

    Expected<QByteArray> calibrated(const CalibratedFile &file) override;
    void failed(const QString &path, const CalibrationRun &run) override;
    void finish(int exitStatus) override;

private:
    Stream &out;
    const CliOptions &options;
    QJsonArray files;
};

/// The command line's words for the advice of another fit.
ReportWords cliWords();

/// The reporter that the options ask for, writing to out.
std::unique_ptr<Reporter> makeReporter(const CliOptions &options, Stream &out);

} // namespace tavrin

#endif
