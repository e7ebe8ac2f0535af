// The text report of one calibrated file, for people: the same bytes from
// every front end.
#ifndef TAVRIN_TEXTREPORT_H
#define TAVRIN_TEXTREPORT_H

#include "bootstrap.h"
#include "logreader.h"
#include "pipeline.h"
#include "quality.h"
#include "reportwords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavrin {

/// The whole report of a calibrated result: its name, how a log was read
/// and how it was fitted, b and A, the quality report and the verdict, the
/// advice of another fit in the words given, and the uncertainty when there
/// is one. hm: the field norm judged against, in the unit of the
/// measurements, not 0.
QByteArray CalibrationReport(const CalibrationResult &result, double hm, const ReportWords &words);

/// The file's name as given, b and A laid out as the dialog shows them, with
/// at least six significant digits, then the quality report and the verdict
/// with its reason.
QByteArray TextReport(const QString &name, const CalibrationParameters &p, const QualityReport &q, double hm,
                      const Uncertainty *u = nullptr, const align::AlignmentResult *alignment = nullptr);

/// The magnetometer's axes against the accelerometer's: the mapping, the
/// readings at rest, the accelerometer's own fit, the rotation and its
/// orientation number, the dip and its spread, the assumptions and what the
/// data suggest.
QByteArray AlignmentLines(const align::AlignmentResult &a);

/// The bootstrap's spread of b and A beside their values, with enough
/// decimals to show two digits of each standard deviation.
QByteArray UncertaintyReport(const Uncertainty &u, const CalibrationParameters &p);

/// How a log was read: delimiter, columns, header, comment and skipped lines, rows.
QByteArray InputLine(const LogInput &input);

/// Why the verdict is what it is, e.g. "largest empty cap 88.2 degrees";
/// with an accelerometer, also whether the axes disagree with it and the
/// heading error the angle's spread implies.
QString VerdictReason(const QualityReport &q, const Uncertainty *u = nullptr,
                      const align::AlignmentResult *alignment = nullptr);

/// For a robust fit's uncertainty: which other models' biases joined the intervals of b.
QString AlikeText(const Uncertainty &u);

/// The advice of RecommendedFit in the words given, e.g. "try the planar
/// fit"; empty when there is none.
QString Recommendation(const CalibrationRun &run, const QualityReport &q, const ReportWords &words);

/// What a planar fit leaves as it is, for the report.
QString UndeterminedText(const RobustFit &fit);

/// The lines on the fit, for any fit but the exact one: the model, why auto
/// chose it, the points rejected and the robust scale.
QByteArray FitLines(const CalibrationRun &run);

} // namespace tavrin

#endif
