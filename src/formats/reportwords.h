// The words of a front end that a report adds to what the data say: the
// core names the fit that would serve better, each front end says how to
// ask for it.
#ifndef TAVRIN_REPORTWORDS_H
#define TAVRIN_REPORTWORDS_H

#include <QString>

namespace tavrin {

struct ReportWords {
    /// The advice to take another fit, %1 its name ("full", "planar", ...).
    QString tryFit = QStringLiteral("try the %1 fit");
};

} // namespace tavrin

#endif
