// Betaflight's CLI setting mag_calibration: offsets in raw counts,
// subtracted from the field, with no scale and no matrix; the comment says
// what that costs on the data.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QRegularExpression>

namespace tavrin {

using namespace exportsupport;

namespace {

FirmwareCorrection correction(const long long offsets[3])
{
    FirmwareCorrection c;
    for (int i = 0; i < 3; i++)
        c.offset[i] = double(offsets[i]);
    return c;
}

} // namespace

Expected<ExportResult> writeBetaflight(const ExportInput &in)
{
    long long offsets[3];
    ExportResult result;
    for (int i = 0; i < 3; i++) {
        offsets[i] = roundedCount(in.parameters.Bias[i][0]);
        if (offsets[i] < Int16Min || offsets[i] > Int16Max)
            result.warnings << ruled(
                QStringLiteral("The offset %1 lies outside the 16-bit integers that Betaflight stores.")
                    .arg(offsets[i]),
                Rule::FirmwareCode, QStringLiteral("Betaflight"));
    }
    if (offsets[0] == 0 && offsets[1] == 0 && offsets[2] == 0)
        result.warnings << ruled(
            QStringLiteral("The offsets round to 0,0,0 in the whole counts that Betaflight stores: the file "
                           "corrects nothing, and Betaflight takes it for an uncalibrated compass."),
            Rule::FirmwareCode, QStringLiteral("Betaflight"));
    const ExportCheck loss = normErrors(correction(offsets), 1.0, in.points, in.hm);
    result.bytes = commentLines(
        "#",
        QStringList{QStringLiteral("Betaflight magnetometer calibration, made by Tavrin from %1.")
                        .arg(sourceName(in.sourceFile)),
                    QStringLiteral("Betaflight applies out = raw - mag_calibration, in raw counts, after "
                                   "align_mag and the board alignment:"),
                    QStringLiteral("the measurements must be Betaflight's raw counts in the board frame."),
                    QStringLiteral("Betaflight has no scale or cross-axis terms: with offsets only ") +
                        lossText(in.points, loss.worst, in.hm, QStringLiteral("Hm")) + '.'} +
            warningLines(result.warnings));
    result.bytes += "set mag_calibration = " + QByteArray::number(offsets[0]) + ',' +
                    QByteArray::number(offsets[1]) + ',' + QByteArray::number(offsets[2]) + "\nsave\n";
    return result;
}

Expected<ReadCorrection> readBetaflight(const QByteArray &text, int)
{
    const QRegularExpression setting(QStringLiteral("^\\s*set\\s+mag_calibration\\s*=(.*)$"));
    std::optional<FirmwareCorrection> found;
    for (const Line &line : splitLines(text)) {
        const QRegularExpressionMatch m = setting.match(QString::fromUtf8(line.text));
        if (!m.hasMatch())
            continue;
        const QStringList items = m.captured(1).split(',');
        long long offsets[3];
        for (int i = 0; i < 3; i++) {
            const std::optional<long long> value =
                items.size() == 3 ? integerNumber(items[i].toLatin1()) : std::nullopt;
            if (!value)
                return readFailure(
                    lineError(line.number, QStringLiteral("mag_calibration takes three integers X,Y,Z.")));
            offsets[i] = *value;
        }
        found = correction(offsets);
    }
    if (!found)
        return readFailure(QStringLiteral("The file does not set mag_calibration."));
    return ReadCorrection{*found, {}, {}};
}

} // namespace tavrin
