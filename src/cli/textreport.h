// The text report of one calibrated file, for people.
#ifndef TAVRIN_CLI_TEXTREPORT_H
#define TAVRIN_CLI_TEXTREPORT_H

#include "bootstrap.h"
#include "logreader.h"
#include "quality.h"
#include "reporter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tavrin {

/// The file's name as given, b and A laid out as the dialog shows them, with
/// at least six significant digits, then the quality report and the verdict
/// with its reason.
QByteArray TextReport(const QString &name, const CalibrationParameters &p, const QualityReport &q, double hm,
                      const Uncertainty *u = nullptr);

/// The bootstrap's spread of b and A beside their values, with enough
/// decimals to show two digits of each standard deviation.
QByteArray UncertaintyReport(const Uncertainty &u, const CalibrationParameters &p);

/// How a log was read: delimiter, columns, header, comment and skipped lines, rows.
QByteArray InputLine(const LogInput &input);

/// Why the verdict is what it is, e.g. "largest empty cap 88.2 degrees".
QString verdictReason(const QualityReport &q, const Uncertainty *u = nullptr);

/// For a robust fit's uncertainty: which other models' biases joined the intervals of b.
QString alikeText(const Uncertainty &u);

/// For the exact fit, the fit that would serve the data better, e.g.
/// "try --fit planar"; empty when there is none.
QString recommendation(const CalibrationRun &run, const QualityReport &q);

/// What a planar fit leaves as it is, for the report.
QString undeterminedText(const RobustFit &fit);

/// The lines on the fit, for any fit but the exact one: the model, why auto
/// chose it, the points rejected and the robust scale.
QByteArray FitLines(const CalibrationRun &run);

/// The reports of the files one after the other, a blank line between two.
class TextReporter : public Reporter {
public:
    TextReporter(Stream &out, double hm) : out(out), hm(hm) {}

    std::optional<QString> calibrated(const CalibratedFile &file) override;
    void failed(const QString &, const CalibrationRun &) override {}
    void finish(int) override {}

private:
    Stream &out;
    double hm;
    bool reported = false;
};

} // namespace tavrin

#endif
