// iNav's CLI settings: per axis, out = (raw - magzero) * 1024 / maggain, in
// the raw counts of its sensor. Integers only, and no cross-axis terms: the
// comment says what their loss costs on the data. The gain is the half range
// that iNav's own calibration stores, the measurements' largest count less
// magzero: on generated sensors with cross-axis terms it costs less than
// Hm / A^-1 ii, which is exact only without them.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace tavrin {

using namespace exportsupport;

namespace {

constexpr long long DefaultGain = 1024;
const char *const ZeroNames[] = {"magzero_x", "magzero_y", "magzero_z"};
const char *const GainNames[] = {"maggain_x", "maggain_y", "maggain_z"};

FirmwareCorrection correction(const long long zero[3], const long long gain[3])
{
    FirmwareCorrection c;
    for (int i = 0; i < 3; i++) {
        c.offset[i] = double(zero[i]);
        c.matrix[i][i] = InavNorm / double(gain[i]);
    }
    return c;
}

// computedGain: the gains before one below 1 became 1.
QStringList limitWarnings(const long long zero[3], const long long gain[3], const long long computedGain[3])
{
    QStringList warnings;
    for (int i = 0; i < 3; i++) {
        for (const auto &[name, value] : {std::pair{ZeroNames[i], zero[i]}, std::pair{GainNames[i], gain[i]}})
            if (value < Int16Min || value > Int16Max)
                warnings << ruled(QStringLiteral("%1 = %2 lies outside the 16-bit integers that iNav stores.")
                                      .arg(QLatin1String(name))
                                      .arg(value),
                                  Rule::FirmwareCode, QStringLiteral("iNav"));
        if (computedGain[i] < 1)
            warnings << ruled(
                QStringLiteral("%1 comes to %2, by which iNav cannot scale; 1 is written: the measurements "
                               "reach no further than magzero on that axis.")
                    .arg(QLatin1String(GainNames[i]))
                    .arg(computedGain[i]),
                Rule::FirmwareCode, QStringLiteral("iNav"));
    }
    return warnings;
}

} // namespace

Expected<ExportResult> writeInav(const ExportInput &in)
{
    long long zero[3], gain[3], computedGain[3];
    for (int i = 0; i < 3; i++) {
        zero[i] = roundedCount(in.parameters.Bias[i][0]);
        // Without measurements there is no range: the fitted axis's reach stands in for it.
        double highest = in.points.size() > 0 ? in.points[0][i]
                                              : in.parameters.Bias[i][0] + in.hm / in.parameters.Ainv[i][i];
        for (Int n = 1; n < in.points.size(); n++)
            highest = std::max(highest, in.points[n][i]);
        computedGain[i] = roundedCount(highest - double(zero[i]));
        gain[i] = std::max(computedGain[i], 1LL);
    }
    ExportResult result;
    result.warnings = limitWarnings(zero, gain, computedGain);
    const ExportCheck loss = normErrors(correction(zero, gain), 1.0, in.points, InavNorm);
    result.bytes = commentLines(
        "#",
        QStringList{QStringLiteral("iNav magnetometer calibration, made by Tavrin from %1.")
                        .arg(sourceName(in.sourceFile)),
                    QStringLiteral("iNav applies out = (raw - magzero) * 1024 / maggain per axis, in raw "
                                   "counts:"),
                    QStringLiteral("iNav applies magzero in the driver's raw frame, before align_mag and "
                                   "the board alignment:"),
                    QStringLiteral("the measurements must be iNav's raw counts in that frame."),
                    QStringLiteral("iNav has no cross-axis terms: with these values ") +
                        lossText(in.points, loss.worst, InavNorm, QStringLiteral("1024")) + '.'} +
            warningLines(result.warnings));
    for (int i = 0; i < 3; i++)
        result.bytes += QByteArray("set ") + ZeroNames[i] + " = " + QByteArray::number(zero[i]) + '\n';
    for (int i = 0; i < 3; i++)
        result.bytes += QByteArray("set ") + GainNames[i] + " = " + QByteArray::number(gain[i]) + '\n';
    result.bytes += "save\n";
    return result;
}

Expected<ReadCorrection> readInav(const QByteArray &text, int)
{
    // A diff holds many other settings, mag_hardware and align_mag among
    // them, and leaves out those at their defaults.
    const QRegularExpression setting(QStringLiteral("^\\s*set\\s+(mag(?:zero|gain)_[xyz])\\s*=(.*)$"));
    QHash<QString, long long> values;
    for (const Line &line : splitLines(text)) {
        const QRegularExpressionMatch m = setting.match(QString::fromUtf8(line.text));
        if (!m.hasMatch())
            continue;
        const std::optional<long long> value = integerNumber(m.captured(2).toLatin1());
        if (!value)
            return readFailure(
                lineError(line.number, QStringLiteral("%1 takes an integer.").arg(m.captured(1))));
        values.insert(m.captured(1), *value);
    }
    long long zero[3], gain[3];
    bool any = false;
    for (int i = 0; i < 3; i++) {
        any = any || values.contains(QLatin1String(ZeroNames[i])) ||
              values.contains(QLatin1String(GainNames[i]));
        zero[i] = values.value(QLatin1String(ZeroNames[i]), 0);
        gain[i] = values.value(QLatin1String(GainNames[i]), DefaultGain);
        if (gain[i] == 0)
            return readFailure(
                QStringLiteral("%1 is 0, by which iNav cannot divide.").arg(QLatin1String(GainNames[i])));
    }
    if (!any)
        return readFailure(QStringLiteral("The file sets no magzero or maggain."));
    return ReadCorrection{correction(zero, gain), {}, {}};
}

} // namespace tavrin
