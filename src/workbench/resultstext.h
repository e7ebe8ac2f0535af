// The results as the window shows and copies them: b, A and A^-1 at full
// precision, each with its uncertainty once the bootstrap has run, then the
// norm error before and after, the coverage and the rejected points.
#ifndef TAVRIN_WORKBENCH_RESULTSTEXT_H
#define TAVRIN_WORKBENCH_RESULTSTEXT_H

#include "runner.h"

#include <QColor>
#include <QString>

namespace tavrin {

/// The shortest text that reads back as the same double.
QString fullPrecision(double value);

QString resultsText(const Calibration &calibration);

/// The verdict's line, e.g. "Verdict: flat rotation", and its colour.
QString verdictLine(const QualityReport &quality);
QColor verdictColour(const QualityReport &quality);

} // namespace tavrin

#endif
