#include "resultstext.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// The spread with two significant digits of its standard deviation, and
// the interval to the same decimals: more would be noise.
QString valueWithSpread(double value, const std::optional<Uncertainty> &u, const Spread *spread)
{
    QString text = fullPrecision(value);
    if (u && u->known && spread) {
        const int decimals =
            spread->std > 0 ? std::clamp(1 - int(std::floor(std::log10(spread->std))), 0, 15) : 6;
        text += QStringLiteral("  \u00b1 %1  [%2, %3]")
                    .arg(spread->std, 0, 'f', decimals)
                    .arg(spread->low, 0, 'f', decimals)
                    .arg(spread->high, 0, 'f', decimals);
    }
    return text;
}

QString matrixLines(const char *name, const double (&m)[3][3], const std::optional<Uncertainty> &u,
                    const Spread (*spreads)[3])
{
    QString text = QLatin1String(name) + QStringLiteral(":\n");
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            text += QStringLiteral("  %1%2%3 = %4\n")
                        .arg(QLatin1String(name))
                        .arg(i + 1)
                        .arg(j + 1)
                        .arg(valueWithSpread(m[i][j], u, spreads ? &spreads[i][j] : nullptr));
    return text;
}

QString errorLine(const char *when, const NormError &e)
{
    return QStringLiteral("Norm error %1: mean %2, RMS %3, max %4\n")
        .arg(QLatin1String(when))
        .arg(e.mean, 0, 'g', 6)
        .arg(e.rms, 0, 'g', 6)
        .arg(e.max, 0, 'g', 6);
}

} // namespace

QString fullPrecision(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString resultsText(const Calibration &c)
{
    const CalibrationResult &r = *c.result;
    const CalibrationParameters &p = r.run.parameters;
    const std::optional<Uncertainty> &u = c.uncertainty;
    QString text = QStringLiteral("b:\n");
    for (int i = 0; i < 3; i++)
        text += QStringLiteral("  b%1 = %2\n")
                    .arg(i + 1)
                    .arg(valueWithSpread(p.Bias[i][0], u, u ? &u->bias[i] : nullptr));
    double a[3][3], ainv[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            a[i][j] = p.A[i][j];
            ainv[i][j] = p.Ainv[i][j];
        }
    text += matrixLines("A", a, u, u ? u->A : nullptr);
    text += matrixLines("Ainv", ainv, std::nullopt, nullptr);
    if (u && u->known)
        text += QStringLiteral(
                    "\u00b1 is one standard deviation, [ ] the 95 % interval, over %1 bootstrap resamples.\n")
                    .arg(u->resamples);
    else
        text += QStringLiteral("The uncertainty follows when the bootstrap has run.\n");
    const QualityReport &q = r.quality;
    text += QStringLiteral("\nHm %1 (%2 points)\n").arg(fullPrecision(c.options.hm)).arg(q.points);
    text += errorLine("before", q.before) + errorLine("after", q.after);
    text += QStringLiteral("Coverage: %1 of %2 cells hit, largest empty cap %3 degrees\n")
                .arg(q.cellsHit)
                .arg(q.cellHit.size())
                .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1);
    if (const RobustFit *fit = r.run.robustFit())
        text += QStringLiteral("Rejected points: %1\n").arg(fit->rejected.size());
    text += QStringLiteral("Far points: %1\n").arg(q.farPoints);
    return text;
}

QString verdictLine(const QualityReport &q)
{
    return QStringLiteral("Verdict: %1").arg(QLatin1String(verdictName(q.verdict)));
}

QColor verdictColour(const QualityReport &q)
{
    return q.verdict == Verdict::Good ? QColor(0x00, 0x9E, 0x73) : QColor(0xD5, 0x5E, 0x00);
}

} // namespace tavrin
