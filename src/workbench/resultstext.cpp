#include "resultstext.h"
#include "exports.h"
#include "textreport.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Results", text);
}

// A result passes a limit by a margin when it stays a tenth of the limit
// away from it.
constexpr double Margin = 0.1;

// The RMS after a calibration barely improves on the RMS before when it
// keeps this share of it, once the RMS before is worth improving: above
// this share of Hm.
constexpr double BarelyBetter = 0.9;
constexpr double ImprovableShareOfHm = 0.01;

int decimalsOf(double spread)
{
    return spread > 0 && std::isfinite(spread) ? std::clamp(1 - int(std::floor(std::log10(spread))), 0, 15)
                                               : 6;
}

QString percentOfHm(double e, double hm)
{
    return QString::number(100.0 * e / std::abs(hm), 'f', 2);
}

// The spread with two significant digits of its standard deviation, and
// the interval to the same decimals: more would be noise.
QString valueWithSpread(double value, const std::optional<Uncertainty> &u, const Spread *spread)
{
    QString text = fullPrecision(value);
    if (u && u->known && spread) {
        const int decimals = decimalsOf(spread->std);
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

QString errorLine(const char *when, const NormError &e, double hm, const QString &unit)
{
    return QStringLiteral("Norm error %1: mean %2, RMS %3, max %4 %5 (%6 %, %7 %, %8 % of Hm)\n")
        .arg(QLatin1String(when), fullPrecision(e.mean), fullPrecision(e.rms), fullPrecision(e.max), unit,
             percentOfHm(e.mean, hm), percentOfHm(e.rms, hm), percentOfHm(e.max, hm));
}

ResultRow valueRow(const QString &name, double value, const Spread *spread, const QString &unit)
{
    ResultRow row{name, shownNumber(value), QString(), QString(), unit, fullPrecision(value)};
    if (spread) {
        const int decimals = decimalsOf(spread->std);
        row.value = roundedTo(value, spread->std);
        row.spread = QStringLiteral("\u00b1 %1").arg(spread->std, 0, 'f', decimals);
        row.interval =
            QStringLiteral("[%1, %2]").arg(spread->low, 0, 'f', decimals).arg(spread->high, 0, 'f', decimals);
    }
    return row;
}

ResultRow errorRow(const QString &name, double e, double hm, const QString &unit)
{
    const QString share = tr("%1 % of Hm").arg(percentOfHm(e, hm));
    return {name,
            shownNumber(e),
            QString(),
            QString(),
            unit.isEmpty() ? share : tr("%1, %2").arg(unit, share),
            fullPrecision(e)};
}

} // namespace

QString fullPrecision(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString shownNumber(double value)
{
    return QString::number(value, 'g', 6);
}

QString roundedTo(double value, double spread)
{
    return QString::number(value, 'f', decimalsOf(spread));
}

QString unitName(const Calibration &c)
{
    return c.unit.isEmpty() ? tr("units of the data") : c.unit;
}

QString resultsText(const Calibration &c)
{
    const CalibrationResult &r = *c.result;
    const CalibrationParameters &p = r.run.parameters;
    const std::optional<Uncertainty> &u = c.uncertainty;
    const QString unit = unitName(c);
    QString text = QStringLiteral("b (%1):\n").arg(unit);
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
    text += QStringLiteral("\nHm %1 %2 (%3 points)\n").arg(fullPrecision(c.options.hm), unit).arg(q.points);
    text +=
        errorLine("before", q.before, c.options.hm, unit) + errorLine("after", q.after, c.options.hm, unit);
    text += QStringLiteral("Coverage: %1 of %2 cells hit, largest empty cap %3 degrees\n")
                .arg(q.cellsHit)
                .arg(q.cellHit.size())
                .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1);
    if (const RobustFit *fit = r.run.robustFit())
        text += QStringLiteral("Rejected points: %1\n").arg(fit->rejected.size());
    text += QStringLiteral("Far points: %1\n").arg(q.farPoints);
    return text;
}

std::vector<ResultRow> resultRows(const Calibration &c)
{
    const CalibrationResult &r = *c.result;
    const CalibrationParameters &p = r.run.parameters;
    const Uncertainty *u = c.uncertainty && c.uncertainty->known ? &*c.uncertainty : nullptr;
    // Data of no named unit leave the column blank rather than repeat "units
    // of the data" on every row; the column's tool tip says so.
    const QString unit = c.unit;
    std::vector<ResultRow> rows;
    for (int i = 0; i < 3; i++)
        rows.push_back(
            valueRow(QStringLiteral("b%1").arg(i + 1), p.Bias[i][0], u ? &u->bias[i] : nullptr, unit));
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            rows.push_back(valueRow(QStringLiteral("A%1%2").arg(i + 1).arg(j + 1), p.A[i][j],
                                    u ? &u->A[i][j] : nullptr, QString()));
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            rows.push_back(valueRow(QStringLiteral("A\u207b\u00b9%1%2").arg(i + 1).arg(j + 1), p.Ainv[i][j],
                                    nullptr, QString()));
    const QualityReport &q = r.quality;
    const double hm = c.options.hm;
    rows.push_back({tr("Hm"), shownNumber(hm), QString(), QString(), unit, fullPrecision(hm)});
    rows.push_back({tr("Points"), QString::number(q.points), QString(), QString(), QString(), QString()});
    const struct {
        const char *name;
        const NormError &e;
    } errors[] = {{"before", q.before}, {"after", q.after}};
    for (const auto &e : errors) {
        rows.push_back(errorRow(tr("|e| %1, mean").arg(QLatin1String(e.name)), e.e.mean, hm, unit));
        rows.push_back(errorRow(tr("|e| %1, RMS").arg(QLatin1String(e.name)), e.e.rms, hm, unit));
        rows.push_back(errorRow(tr("|e| %1, max").arg(QLatin1String(e.name)), e.e.max, hm, unit));
    }
    rows.push_back({tr("Cells hit"), QStringLiteral("%1 of %2").arg(q.cellsHit).arg(q.cellHit.size()),
                    QString(), QString(), QString(), QString()});
    rows.push_back({tr("Largest empty cap"), QString::number(q.largestEmptyCap.radiusDegrees(), 'f', 1),
                    QString(), QString(), tr("degrees"), QString()});
    if (const RobustFit *fit = r.run.robustFit())
        rows.push_back({tr("Rejected points"), QString::number(fit->rejected.size()), QString(), QString(),
                        QString(), QString()});
    rows.push_back(
        {tr("Far points"), QString::number(q.farPoints), QString(), QString(), QString(), QString()});
    return rows;
}

QString verdictLine(const QualityReport &q)
{
    return QStringLiteral("Verdict: %1").arg(QLatin1String(verdictName(q.verdict)));
}

QStringList marginalNotes(const QualityReport &q)
{
    using namespace QualityLimits;
    QStringList notes;
    const double cellsNeeded = MinCellShare * std::min(Cells, q.points);
    if (!q.findings.fewCells && q.cellsHit < (1 + Margin) * cellsNeeded)
        notes << tr("%1 of %2 cells hit, near the %3 needed")
                     .arg(q.cellsHit)
                     .arg(q.cellHit.size())
                     .arg(std::ceil(cellsNeeded));
    const double cap = q.largestEmptyCap.radiusDegrees();
    if (!q.findings.emptyCap && cap > (1 - Margin) * MaxEmptyCapDegrees)
        notes << tr("largest empty cap %1 degrees, near the %2 allowed")
                     .arg(cap, 0, 'f', 1)
                     .arg(MaxEmptyCapDegrees);
    const double hm = std::abs(q.hm);
    if (!q.findings.residual && hm > 0 && q.coreRms > (1 - Margin) * MaxRmsShareOfHm * hm)
        notes << tr("RMS norm error %1 % of Hm, near the %2 % allowed")
                     .arg(100.0 * q.coreRms / hm, 0, 'f', 1)
                     .arg(100.0 * MaxRmsShareOfHm);
    const double farAllowed = MaxFarShare * q.points;
    if (!q.findings.farPoints && q.farPoints > 0 && q.farPoints > (1 - Margin) * farAllowed)
        notes << tr("%1 far points, near the %2 allowed").arg(q.farPoints).arg(farAllowed, 0, 'g', 3);
    if (!q.findings.flat && q.plane.flatness() < (1 + Margin) * MaxFlatness)
        notes << tr("spread across the plane %1 % of the radius in it, near the %2 % of a flat turn")
                     .arg(100.0 * q.plane.flatness(), 0, 'f', 1)
                     .arg(100.0 * MaxFlatness);
    if (hm > 0 && q.before.rms > ImprovableShareOfHm * hm && q.after.rms >= BarelyBetter * q.before.rms)
        notes << tr("RMS after %1 barely below %2 before")
                     .arg(shownNumber(q.after.rms), shownNumber(q.before.rms));
    return notes;
}

QStringList resultWarnings(const Calibration &c)
{
    const CalibrationResult &r = *c.result;
    QStringList warnings = r.warnings;
    if (const RobustFit *fit = r.run.robustFit(); fit && fit->model == FitModel::Planar)
        warnings << tr("Undetermined: %1.").arg(UndeterminedText(*fit));
    return warnings;
}

Banner bannerOf(const Calibration &c)
{
    const CalibrationResult &r = *c.result;
    const QualityReport &q = r.quality;
    QStringList why;
    if (const QString reason = VerdictReason(q, c.uncertainty ? &*c.uncertainty : nullptr,
                                             r.alignment ? &*r.alignment : nullptr);
        !reason.isEmpty())
        why << reason;
    const RobustFit *fit = r.run.robustFit();
    if (fit && fit->model == FitModel::Planar)
        why << tr("the reading along the plane's normal is left as measured");
    if (!r.warnings.isEmpty())
        why << (r.warnings.size() == 1 ? tr("1 warning below")
                                       : tr("%1 warnings below").arg(r.warnings.size()));
    if (q.verdict == Verdict::Good)
        why << marginalNotes(q);
    const QString advice = Recommendation(r.run, q, workbenchWords());
    Banner banner;
    banner.grade = q.verdict != Verdict::Good          ? Banner::Failed
                   : why.isEmpty() && advice.isEmpty() ? Banner::Good
                                                       : Banner::Qualified;
    banner.words = banner.grade == Banner::Failed ? verdictLine(q)
                   : banner.grade == Banner::Qualified
                       ? tr("Verdict: good, with reservations")
                       : tr("Verdict: good, every limit passed with a margin");
    if (!why.isEmpty())
        banner.words += QStringLiteral(": ") + why.join(QStringLiteral("; "));
    if (!advice.isEmpty())
        banner.words += QStringLiteral("; ") + advice;
    banner.colour = banner.grade == Banner::Failed      ? QColor(0xC0, 0x1F, 0x1F)
                    : banner.grade == Banner::Qualified ? QColor(0xB3, 0x6B, 0x00)
                                                        : QColor(0x00, 0x7A, 0x5A);
    return banner;
}

} // namespace tavrin
