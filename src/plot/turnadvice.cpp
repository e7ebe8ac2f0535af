#include "turnadvice.h"

#include <QStringList>

#include <cmath>

namespace tavrin {

QString capAxes(const Direction &centre)
{
    // An axis counts when the centre leans toward it by more than about 67
    // degrees' worth: a cap halfway between two axes names both.
    constexpr double Leaning = 0.38;
    const char *names[3] = {"x", "y", "z"};
    double largest = 0.0;
    for (const double c : centre)
        largest = std::max(largest, std::abs(c));
    QStringList axes;
    for (int i = 0; i < 3; i++)
        if (std::abs(centre[size_t(i)]) >= Leaning || std::abs(centre[size_t(i)]) == largest)
            axes << QStringLiteral("%1%2").arg(centre[size_t(i)] < 0 ? QStringLiteral("\u2212")
                                                                     : QStringLiteral("+"),
                                               QLatin1String(names[i]));
    return axes.join(QStringLiteral(" and "));
}

QString turnAdvice(const QualityReport &q)
{
    return turnAdvice(q, q.largestEmptyCap.radiusDegrees() <= QualityLimits::MaxEmptyCapDegrees);
}

QString turnAdvice(const QualityReport &q, bool enough)
{
    const EmptyCap &cap = q.largestEmptyCap;
    const QString where = QStringLiteral("The largest empty cap is %1 degrees wide around %2.")
                              .arg(cap.radiusDegrees(), 0, 'f', 0)
                              .arg(capAxes(cap.centre));
    if (enough)
        return where + QStringLiteral(" The directions cover the sphere well enough.");
    return where + QStringLiteral(" Turn the sensor until its %1 side points along the Earth's field "
                                  "(north and down in the northern hemisphere), and record there.")
                       .arg(capAxes(cap.centre));
}

} // namespace tavrin
