// The JSON form of the results, one document for the whole run. The field
// names are documented in the README and stay stable.
#ifndef TAVRIN_CLI_JSONREPORT_H
#define TAVRIN_CLI_JSONREPORT_H

#include "bootstrap.h"
#include "calibration.h"
#include "quality.h"
#include "reporter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace tavrin {

/// A calibrated file: its results at full precision and its quality report.
QJsonObject jsonResult(const QString &path, const CalibrationRun &run, const QualityReport &q, double hm);

/// The bootstrap's spread of b and A.
QJsonObject jsonUncertainty(const Uncertainty &u);

/// A file that was not calibrated, with the message said about it.
QJsonObject jsonFailure(const QString &path, const CalibrationRun &run, const QString &message);

/// Collects every file and prints the document at the end.
class JsonReporter : public Reporter {
public:
    JsonReporter(Stream &out, const CliOptions &options) : out(out), options(options) {}

    std::optional<QString> calibrated(const CalibratedFile &file) override;
    void failed(const QString &path, const CalibrationRun &run) override;
    void finish(int exitStatus) override;

private:
    Stream &out;
    const CliOptions &options;
    QJsonArray files;
};

} // namespace tavrin

#endif
