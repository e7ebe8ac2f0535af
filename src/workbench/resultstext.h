// The results as the window shows and copies them. The window shows each
// number rounded to what it is worth: to two significant digits of its
// uncertainty once the bootstrap has run, to six significant digits before;
// Copy keeps every value at full precision. The banner grades the verdict.
#ifndef TAVRIN_WORKBENCH_RESULTSTEXT_H
#define TAVRIN_WORKBENCH_RESULTSTEXT_H

#include "runner.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <vector>

namespace tavrin {

/// The shortest text that reads back as the same double.
QString fullPrecision(double value);

/// A value as the window shows it where nothing says its uncertainty: six
/// significant digits.
QString shownNumber(double value);

/// value to the decimals of two significant digits of spread, e.g.
/// "12.497" for a spread of 0.0104.
QString roundedTo(double value, double spread);

/// What Copy puts on the clipboard: every value at full precision.
QString resultsText(const Calibration &calibration);

/// One row of the results table.
struct ResultRow {
    QString name;
    QString value;    ///< rounded to its uncertainty
    QString spread;   ///< "± s" once the bootstrap has run
    QString interval; ///< the 95 % interval, to the value's decimals
    QString unit;     ///< of the value, and its share of Hm for a norm error
    QString full;     ///< the value at full precision, for its tool tip
};

std::vector<ResultRow> resultRows(const Calibration &calibration);

/// The unit of the measurements and Hm, as the window names it.
QString unitName(const Calibration &calibration);

/// The verdict's line, e.g. "Verdict: flat rotation".
QString verdictLine(const QualityReport &quality);

/// The limits of the verdict that a result passes by less than a tenth of
/// the limit: "marginal", so that the banner is amber rather than green.
QStringList marginalNotes(const QualityReport &quality);

/// The warnings of a result, beside the verdict's reasons that the banner
/// gives: the run's, and the reading along the normal that a planar fit
/// leaves as measured.
QStringList resultWarnings(const Calibration &calibration);

/// The banner: red for a verdict other than good, amber for a good verdict
/// that a warning, a recommendation or a marginal limit qualifies, green
/// otherwise; its words say which and why.
struct Banner {
    enum Grade { Good, Qualified, Failed } grade = Good;
    QString words;
    QColor colour;
};

Banner bannerOf(const Calibration &calibration);

} // namespace tavrin

#endif
