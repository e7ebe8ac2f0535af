// The coverage map's advice in words: which way to turn the sensor to fill
// the largest empty cap.
#ifndef TAVRIN_PLOT_TURNADVICE_H
#define TAVRIN_PLOT_TURNADVICE_H

#include "quality.h"

#include <QString>

namespace tavrin {

/// The sensor's axes that point to the cap's centre, e.g. "+x and -z".
QString capAxes(const Direction &centre);

/// One sentence on the largest empty cap and how to fill it; that the
/// sphere is covered when the cap is no wider than the verdict allows.
QString turnAdvice(const QualityReport &quality);

/// The same where another rule says whether the directions are enough (a
/// live capture's), so that the advice never contradicts it.
QString turnAdvice(const QualityReport &quality, bool enough);

} // namespace tavrin

#endif
