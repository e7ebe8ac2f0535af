// The JSON form of the results, one document for the whole run. The field
// names are documented in the README and stay stable.
#ifndef TAVRIN_CLI_JSONREPORT_H
#define TAVRIN_CLI_JSONREPORT_H

#include "bootstrap.h"
#include "calibration.h"
#include "quality.h"

#include <QJsonObject>
#include <QString>

namespace tavrin {

/// A calibrated file: its results at full precision and its quality report.
QJsonObject jsonResult(const QString &path, const CalibrationRun &run, const QualityReport &q, double hm);

/// The bootstrap's spread of b and A.
QJsonObject jsonUncertainty(const Uncertainty &u);

/// A file that was not calibrated, with the message said about it.
QJsonObject jsonFailure(const QString &path, const CalibrationRun &run, const QString &message);

} // namespace tavrin

#endif
