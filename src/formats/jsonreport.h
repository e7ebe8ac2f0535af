// The JSON form of the results, one document for the whole run. The field
// names are documented in the README and stay stable.
#ifndef TAVRIN_JSONREPORT_H
#define TAVRIN_JSONREPORT_H

#include "bootstrap.h"
#include "fieldmodel.h"
#include "pipeline.h"
#include "quality.h"
#include "reportwords.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace tavrin {

/// A calibrated result: its results at full precision, its quality report,
/// its warnings, how a log was read and the uncertainty when there are. hm: the field norm
/// judged against, in the unit of the measurements, not 0.
QJsonObject JsonResult(const CalibrationResult &result, double hm, const ReportWords &words);

/// The magnetometer's axes against the accelerometer's, as the README lists its fields.
QJsonObject JsonAlignment(const align::AlignmentResult &a);

/// The bootstrap's spread of b and A.
QJsonObject JsonUncertainty(const Uncertainty &u);

/// A file that was not calibrated, with the message said about it.
QJsonObject JsonFailure(const QString &path, const CalibrationRun &run, const QString &message);

/// Where a field model's Hm came from: the model, the place, the decimal
/// year, the total intensity F in nT and the unit of the measurements.
QJsonObject JsonHmSource(const HmFromModel &source, const Place &place, double year);

/// The document of a whole run: the program and its version, Hm, every
/// file, the run's exit status and, when not empty, where Hm came from.
QByteArray JsonDocument(const QString &tool, const QString &version, double hm, const QJsonArray &files,
                        int exitStatus, const QJsonObject &hmSource);

} // namespace tavrin

#endif
