#include "textreport.h"

#include "orientation.h"

#include "calibration.h"
#include "printable.h"
#include "rawdata.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr int labelWidth = 18;
constexpr int fieldWidth = 10;

QString label(const QString &text)
{
    return QStringLiteral("  ") + text.leftJustified(labelWidth - 2);
}

// Right-aligned in its field, and at least one blank from the text before.
QString field(const QString &text)
{
    return text.size() < fieldWidth ? text.rightJustified(fieldWidth) : ' ' + text;
}

QString fields(const QStringList &texts, int first, int count)
{
    QString line;
    for (int k = first; k < first + count; k++)
        line += field(texts[k]);
    return line;
}

// Six significant digits at least, four decimals at least: data in tesla or
// in counts read as well as data in microtesla. Below 1e-4 an exponent
// keeps the digits from drowning in zeros.
QString number(double value)
{
    constexpr int mostDecimals = 9;
    if (value == 0.0 || !std::isfinite(value))
        return QString::number(value, 'f', 4);
    const int decimals = std::max(4, 5 - int(std::floor(std::log10(std::abs(value)))));
    return decimals <= mostDecimals ? QString::number(value, 'f', decimals) : QString::number(value, 'e', 5);
}

QString percent(double value, double hm)
{
    return QString::number(100.0 * value / hm, 'f', 2) + " %";
}

QString normErrorRow(const QString &name, const NormError &e, double hm)
{
    return QStringLiteral("    ") + name.leftJustified(labelWidth - 4) +
           fields({number(e.mean), number(e.rms), number(e.max)}, 0, 3) +
           QStringLiteral("   (%1, %2, %3 of Hm)\n")
               .arg(percent(e.mean, hm), percent(e.rms, hm), percent(e.max, hm));
}

QString capText(const EmptyCap &cap)
{
    return QStringLiteral("largest empty cap %1 degrees around (%2, %3, %4)")
        .arg(cap.radiusDegrees(), 0, 'f', 1)
        .arg(cap.centre[0], 0, 'f', 3)
        .arg(cap.centre[1], 0, 'f', 3)
        .arg(cap.centre[2], 0, 'f', 3);
}

QString spreadRow(const QString &name, double value, const Spread &s)
{
    const int decimals = s.std > 0 ? std::max(4, 1 - int(std::floor(std::log10(s.std)))) : 4;
    const auto shown = [&](double v) { return QString::number(v, 'f', decimals); };
    return QStringLiteral("    ") + name.leftJustified(labelWidth - 4) + field(shown(value)) + ' ' +
           field(shown(s.std)) + QStringLiteral("   [%1, %2]\n").arg(shown(s.low), shown(s.high));
}

// The accelerometer's fit: its model and what it did to the norms at rest,
// then b and S laid out as the magnetometer's b and A; or why it was not fitted.
QString AccelerometerLines(const align::AccelerometerFit &f)
{
    if (!f.fitted)
        return label(QStringLiteral("Accelerometer")) + QStringLiteral("not fitted: ") +
               QString::fromStdString(f.reason) + QStringLiteral("; used as read\n");
    const auto percent = [](double share) { return QStringLiteral("%1 %").arg(100.0 * share, 0, 'f', 2); };
    QStringList texts;
    for (const double value : f.offset)
        texts << number(value);
    for (const align::Vec3 &row : f.scale)
        for (const double value : row)
            texts << number(value);
    return label(QStringLiteral("Accelerometer")) +
           QStringLiteral("fitted, %1, on %2 attitudes at rest; norms at rest spread %3 as read, %4 from 1 g "
                          "after\n")
               .arg(QLatin1String(fitModelName(f.model)))
               .arg(f.attitudes)
               .arg(percent(f.normErrorBefore), percent(f.normErrorAfter)) +
           label(QStringLiteral("Accel offset")) + fields(texts, 0, 3) + '\n' +
           label(QStringLiteral("Accel scale")) + fields(texts, 3, 3) + '\n' + label(QString()) +
           fields(texts, 6, 3) + '\n' + label(QString()) + fields(texts, 9, 3) + '\n';
}

} // namespace

QString AlikeText(const Uncertainty &u)
{
    QStringList others;
    for (size_t k = 1; k < u.alike.size(); k++)
        others << QLatin1String(fitModelName(u.alike[k]));
    return others.isEmpty()
               ? QString()
               : QStringLiteral("; the intervals of b take in the bias of %1, which the data cannot "
                                "tell apart")
                     .arg(others.join(QStringLiteral(", ")));
}

QByteArray UncertaintyReport(const Uncertainty &u, const CalibrationParameters &p)
{
    QString out =
        label(QStringLiteral("Uncertainty")) +
        QStringLiteral("%1 resamples, %2 failed, seed %3").arg(u.resamples).arg(u.failed).arg(u.seed);
    if (!u.alike.empty())
        out += QStringLiteral(", runs of %1 reading%2").arg(u.runLength).arg(u.runLength == 1 ? "" : "s") +
               AlikeText(u);
    if (!u.known)
        return (out + QStringLiteral(": too few resamples succeeded to tell\n")).toUtf8();
    out += '\n' + label(QString()) + fields({"value", "std"}, 0, 2) + QStringLiteral("    95 % interval\n");
    for (int i = 0; i < 3; i++)
        out += spreadRow(QStringLiteral("Bias_%1").arg(i + 1), p.Bias[i][0], u.bias[i]);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out += spreadRow(QStringLiteral("A_%1%2").arg(i + 1).arg(j + 1), p.A[i][j], u.A[i][j]);
    return out.toUtf8();
}

QByteArray InputLine(const LogInput &in)
{
    QStringList columns;
    for (size_t c = 0; c < 3; c++)
        columns << (in.names[c].isEmpty()
                        ? QString::number(in.columns[c])
                        : QStringLiteral("%1 (%2)").arg(in.columns[c]).arg(printable(in.names[c])));
    const auto count = [](qint64 n, const char *what) {
        return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(what)).arg(n == 1 ? "" : "s");
    };
    return (label(QStringLiteral("Input")) +
            QStringLiteral("log, %1-delimited, columns %2; %3, %4, %5, %6\n")
                .arg(delimiterName(in.delimiter), columns.join(QStringLiteral(", ")),
                     count(in.headerLines, "header line"), count(in.commentLines, "comment line"),
                     count(in.skippedLines, "skipped line"), count(in.rows, "row")))
        .toUtf8();
}

QString VerdictReason(const QualityReport &q, const Uncertainty *u, const align::AlignmentResult *alignment)
{
    QStringList reasons;
    if (u && BiasUndetermined(*u, q.hm))
        reasons << QStringLiteral(
                       "the data do not determine the bias: a 95 % interval of b is wider than %1 % "
                       "of Hm")
                       .arg(100 * BootstrapLimits::MostDeterminedWidth, 0, 'f', 0);
    if (q.findings.flat)
        reasons << QStringLiteral("spread across the plane %1 % of the radius in it")
                       .arg(100.0 * q.plane.flatness(), 0, 'f', 1);
    if (q.findings.shape && q.verdict != Verdict::Good)
        reasons << QStringLiteral("ellipsoid test %1").arg(number(q.testValue));
    if (q.findings.farPoints)
        reasons << QStringLiteral("%1 far points").arg(q.farPoints);
    if (q.findings.residual)
        reasons << QStringLiteral("RMS norm error %1 % of Hm")
                       .arg(100.0 * q.after.rms / std::abs(q.hm), 0, 'f', 1);
    if (q.findings.folded) {
        reasons << QStringLiteral("calibrated directions hit %1 of %2 cells")
                       .arg(q.calibratedCellsHit)
                       .arg(q.cellHit.size());
        if (q.farthestGross >= 0)
            reasons << QStringLiteral("%1 gross point%2, the farthest point %3 (%4, %5, %6)")
                           .arg(q.grossPoints)
                           .arg(q.grossPoints == 1 ? "" : "s")
                           .arg(q.farthestGross + 1)
                           .arg(number(q.farthestValue[0]), number(q.farthestValue[1]),
                                number(q.farthestValue[2]));
    }
    if (q.findings.emptyCap)
        reasons << QStringLiteral("largest empty cap %1 degrees")
                       .arg(q.largestEmptyCap.radiusDegrees(), 0, 'f', 1);
    if (q.findings.fewCells)
        reasons << QStringLiteral("%1 of %2 cells hit").arg(q.cellsHit).arg(q.cellHit.size());
    if (q.hmUnit.warns())
        reasons << QStringLiteral("median |h - b| %1 against Hm %2: Hm in another unit")
                       .arg(number(q.hmUnit.medianDistance), number(q.hmUnit.hm));
    else if (q.hmUnit.fitFails)
        reasons << QStringLiteral("median |h - b| %1 against Hm %2, the calibrated norms a median %3 % of Hm "
                                  "from it: the fit failed")
                       .arg(number(q.hmUnit.medianDistance), number(q.hmUnit.hm))
                       .arg(100.0 * q.hmUnit.medianNormError, 0, 'f', 1);
    if (alignment && alignment->determined) {
        if (alignment->needed())
            reasons << QStringLiteral("the axes disagree with the accelerometer");
        reasons << QStringLiteral("heading error about %1 degrees from the angle to the accelerometer")
                       .arg(*alignment->headingErrorDegrees, 0, 'f', 1);
    }
    return reasons.join(QStringLiteral(", "));
}

QByteArray TextReport(const QString &name, const CalibrationParameters &p, const QualityReport &q, double hm,
                      const Uncertainty *u, const align::AlignmentResult *alignment)
{
    QStringList texts;
    for (const double value : p.values())
        texts << number(value);
    QString out = name + '\n';
    out += label(QStringLiteral("Bias b")) + fields(texts, 0, 3) + '\n';
    out += label(QStringLiteral("Matrix A")) + fields(texts, 3, 3) + '\n';
    out += label(QString()) + fields(texts, 6, 3) + '\n';
    out += label(QString()) + fields(texts, 9, 3) + '\n';
    out += label(QStringLiteral("Ellipsoid test")) + field(number(q.testValue)) + '\n';
    out += label(QStringLiteral("Points")) + QString::number(q.points).rightJustified(fieldWidth) + '\n';
    out += label(QStringLiteral("Norm error |e|")) + fields({"mean", "RMS", "max"}, 0, 3) + '\n';
    out += normErrorRow(QStringLiteral("before"), q.before, hm);
    out += normErrorRow(QStringLiteral("after"), q.after, hm);
    out += label(QStringLiteral("Coverage")) +
           QStringLiteral("%1 of %2 cells hit, ").arg(q.cellsHit).arg(q.cellHit.size()) +
           capText(q.largestEmptyCap) + '\n';
    out += label(QStringLiteral("Far points")) +
           QStringLiteral("%1 beyond |e| = %2; the largest |e| is at point %3\n")
               .arg(q.farPoints)
               .arg(number(q.farLimit))
               .arg(q.worstPoint + 1);
    const QString reason = VerdictReason(q, u, alignment);
    out += label(QStringLiteral("Verdict")) + verdictName(q.verdict) +
           (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)) + '\n';
    return out.toUtf8();
}

QByteArray AlignmentLines(const align::AlignmentResult &a)
{
    const auto degrees = [](double value, int decimals = 2) {
        return QStringLiteral("%1 degrees").arg(value, 0, 'f', decimals);
    };
    QString out = label(QStringLiteral("At rest")) + QString::number(a.readingsAtRest) + '\n';
    out += AccelerometerLines(a.accelerometer);
    if (a.dipSpreadBeforeDegrees)
        out += label(QStringLiteral("Angle spread")) + degrees(*a.dipSpreadBeforeDegrees) +
               QStringLiteral(" as logged") +
               (a.dipSpreadAfterDegrees ? QStringLiteral(", ") + degrees(*a.dipSpreadAfterDegrees) +
                                              QStringLiteral(" after the rotation")
                                        : QString()) +
               '\n';
    if (!a.determined) {
        out += label(QStringLiteral("Axes")) + QStringLiteral("not determined: ") +
               QString::fromStdString(a.reason) + '\n';
    } else {
        out += label(QStringLiteral("Axes")) + QString::fromStdString(a.mappingText()) +
               (a.mirror     ? QStringLiteral(", a mirror")
                : a.needed() ? QString()
                             : QStringLiteral(", as logged")) +
               '\n';
        out += label(QStringLiteral("Rotation")) + degrees(a.rotationDegrees) +
               QStringLiteral(" beyond the mapping, uncertain by %1\n")
                   .arg(degrees(a.rotationUncertaintyDegrees));
        if (a.orientation)
            out += label(QStringLiteral("Orientation")) +
                   QStringLiteral("%1 (%2): ArduPilot's COMPASS_ORIENT, PX4's CAL_MAGn_ROT\n")
                       .arg(*a.orientation)
                       .arg(QLatin1String(align::orientations()[*a.orientation].name));
        else if (!a.mirror)
            out += label(QStringLiteral("Orientation")) +
                   QStringLiteral("none listed: a custom rotation of roll %1, pitch %2, yaw %3\n")
                       .arg(degrees(a.rollPitchYawDegrees[0], 1), degrees(a.rollPitchYawDegrees[1], 1),
                            degrees(a.rollPitchYawDegrees[2], 1));
        else
            out += label(QStringLiteral("Orientation")) +
                   QStringLiteral("none: no orientation undoes a mirror\n");
        out += label(QStringLiteral("Dip")) + degrees(*a.dipDegrees) +
               (a.placeInclinationDegrees ? QStringLiteral(", the World Magnetic Model's %1 at the place")
                                                .arg(degrees(*a.placeInclinationDegrees))
                                          : QString()) +
               QStringLiteral("; heading error about %1\n").arg(degrees(*a.headingErrorDegrees, 1));
    }
    for (const std::string &assumption : a.assumptions)
        out += label(QStringLiteral("Assumed")) + QString::fromStdString(assumption) + '\n';
    for (const std::string &note : a.notes)
        out += label(QStringLiteral("Note")) + QString::fromStdString(note) + '\n';
    return out.toUtf8();
}

QString Recommendation(const CalibrationRun &run, const QualityReport &q, const ReportWords &words)
{
    const std::optional<FitModel> better = RecommendedFit(run, q);
    return better ? words.tryFit.arg(QLatin1String(fitModelName(*better))) : QString();
}

QString UndeterminedText(const RobustFit &fit)
{
    return QStringLiteral("the component along the normal (%1, %2, %3) of the plane of the turn: "
                          "the data do not determine it, the calibration leaves it as measured")
        .arg(fit.normal[0], 0, 'f', 4)
        .arg(fit.normal[1], 0, 'f', 4)
        .arg(fit.normal[2], 0, 'f', 4);
}

QByteArray FitLines(const CalibrationRun &run)
{
    if (!run.robust)
        return QByteArray();
    const RobustFit &fit = *run.robust;
    QString out = label(QStringLiteral("Fit")) + QString::fromLatin1(fitModelName(run.model));
    if (run.requested == FitModel::Auto)
        out += QStringLiteral(", chosen by auto: ") + run.fitReason.section(QLatin1Char(':'), 1).trimmed();
    out += '\n' + label(QStringLiteral("Rejected")) +
           QStringLiteral("%1 of %2 points beyond %3 robust sigmas; robust sigma %4\n")
               .arg(fit.rejected.size())
               .arg(run.raw.numLines)
               .arg(RobustLimits::TukeyC)
               .arg(number(fit.scale));
    if (fit.model == FitModel::Planar)
        out += label(QStringLiteral("Undetermined")) + UndeterminedText(fit) + '\n';
    return out.toUtf8();
}

QByteArray CalibrationReport(const CalibrationResult &result, double hm, const ReportWords &words)
{
    const CalibrationRun &run = result.run;
    const align::AlignmentResult *alignment = result.alignment ? &*result.alignment : nullptr;
    QByteArray report = TextReport(printable(displayName(result.path)), run.parameters, result.quality, hm,
                                   result.uncertainty ? &*result.uncertainty : nullptr, alignment);
    if (alignment)
        report += AlignmentLines(*alignment);
    // The lines after the name say how a log was read and how it was fitted.
    const int nameEnd = report.indexOf('\n') + 1;
    report.insert(nameEnd, (result.log ? InputLine(*result.log) : QByteArray()) + FitLines(run));
    if (const QString advice = Recommendation(run, result.quality, words); !advice.isEmpty())
        report += (label(QStringLiteral("Recommendation")) + advice + '\n').toUtf8();
    if (result.uncertainty)
        report += UncertaintyReport(*result.uncertainty, run.parameters);
    return report;
}

} // namespace tavrin
