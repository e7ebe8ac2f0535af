#include "exportsupport.h"

#include "printable.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tavrin::exportsupport {

double factorTo(double firmwareUnitInNt, double unitInNt)
{
    if (firmwareUnitInNt == 0.0)
        return 1.0;
    return unitInNt > 0.0 ? unitInNt / firmwareUnitInNt : 0.0;
}

FirmwareValues firmwareValues(const ExportInput &input, double k)
{
    FirmwareValues v;
    const CalibrationParameters &p = input.parameters;
    for (int i = 0; i < 3; i++) {
        v.bias[i] = k * p.Bias[i][0];
        for (int j = 0; j < 3; j++)
            v.ainv[i][j] = 0.5 * (p.Ainv[i][j] + p.Ainv[j][i]);
    }
    v.hm = k * input.hm;
    return v;
}

void offDiagonals(const double m[3][3], double out[3])
{
    out[0] = m[0][1];
    out[1] = m[0][2];
    out[2] = m[1][2];
}

void symmetricMatrix(const double diagonal[3], const double off[3], double m[3][3])
{
    for (int i = 0; i < 3; i++)
        m[i][i] = diagonal[i];
    m[0][1] = m[1][0] = off[0];
    m[0][2] = m[2][0] = off[1];
    m[1][2] = m[2][1] = off[2];
}

QByteArray decimalText(double value, double scale)
{
    const int magnitude = scale > 0.0 ? int(std::floor(std::log10(scale))) : 0;
    const int decimals = std::clamp(8 - magnitude, 1, 17);
    // A finite double in fixed notation: at most 309 digits before the point.
    char text[340];
    const char *end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    QByteArray out(text, end - text);
    while (out.endsWith('0') && !out.endsWith(".0"))
        out.chop(1);
    // A term too small to show is a zero, not a negative zero.
    if (out == "-0.0")
        return "0.0";
    return out;
}

double largest(const double *values, int n)
{
    double m = 0.0;
    for (int i = 0; i < n; i++)
        m = std::max(m, std::fabs(values[i]));
    return m;
}

QByteArray commentLines(const QByteArray &prefix, const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines)
        out += prefix + ' ' + line.toUtf8() + '\n';
    return out;
}

QStringList warningLines(const QStringList &warnings)
{
    QStringList lines;
    for (const QString &w : warnings)
        lines << QStringLiteral("Warning: ") + w;
    return lines;
}

QString sourceName(const QString &sourceFile)
{
    return sourceFile.isEmpty() ? QStringLiteral("measurements") : printable(sourceFile);
}

long long roundedCount(double value)
{
    constexpr double far = 1e15;
    return std::llround(std::clamp(value, -far, far));
}

QString lossText(Points points, double worst, double norm, const QString &normName)
{
    if (points.size() == 0)
        return QStringLiteral("no measurements were given to measure what this costs");
    return QStringLiteral("the worst norm error on the %1 points is %2 % of %3")
        .arg(points.size())
        .arg(100.0 * worst / norm, 0, 'f', 2)
        .arg(normName);
}

std::vector<Line> splitLines(const QByteArray &text)
{
    std::vector<Line> lines;
    const QList<QByteArray> parts = text.split('\n');
    for (int k = 0; k < parts.size(); k++) {
        QByteArray line = parts[k];
        if (line.endsWith('\r'))
            line.chop(1);
        if (k + 1 < parts.size() || !line.isEmpty())
            lines.push_back({k + 1, line});
    }
    return lines;
}

std::optional<double> finiteNumber(const QByteArray &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> integerNumber(const QByteArray &text)
{
    bool ok = false;
    const long long value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

Expected<long long> fileVehicle(int line, long long id, std::optional<long long> vehicle)
{
    if (!vehicle || id == *vehicle)
        return id;
    return Expected<long long>::failure(
        lineError(line, QStringLiteral("a parameter of vehicle %1 in a file of vehicle %2's: the file "
                                       "must hold the parameters of one vehicle.")
                            .arg(id)
                            .arg(*vehicle)));
}

Expected<std::optional<long long>> readDeviceId(const QHash<QByteArray, double> &values,
                                                const QByteArray &name)
{
    using Device = std::optional<long long>;
    if (!values.contains(name))
        return Device();
    const double value = values.value(name);
    if (value < 1.0 || value > double(MaximumDeviceId) || value != std::floor(value))
        return Expected<Device>::failure(
            QStringLiteral("%1 is %2, not a device id: a whole number from 1 to %3.")
                .arg(QLatin1String(name))
                .arg(value, 0, 'g', 17)
                .arg(MaximumDeviceId));
    return Device(static_cast<long long>(value));
}

QString ruled(const QString &warning, Rule rule, const QString &firmware)
{
    switch (rule) {
    case Rule::FirmwareCode:
        return warning + QStringLiteral(" Rule: %1's code.").arg(firmware);
    case Rule::TavrinJudgement:
        break;
    }
    return warning + QStringLiteral(" Rule: Tavrin's own judgement.");
}

QString lineError(int line, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

Expected<ReadCorrection> readFailure(const QString &why)
{
    return Expected<ReadCorrection>::failure(why);
}

Expected<ExportResult> exportRefusal(const QString &why)
{
    return Expected<ExportResult>::failure(why);
}

} // namespace tavrin::exportsupport
