// ArduPilot's compass parameters: it adds COMPASS_OFS to the field, scales
// by COMPASS_SCALE and multiplies by the symmetric matrix of COMPASS_DIA and
// COMPASS_ODI, in milligauss. The second and third compasses number the
// group (COMPASS_OFS2_X), not the prefix.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QHash>

#include <cmath>

namespace tavrin {

using namespace exportsupport;

namespace {

// ArduPilot's arming checks: COMPASS_OFFS_MAX by default, and the field it accepts.
constexpr double MaxOffsetLength = 1800.0;
constexpr double MinField = 185.0;
constexpr double MaxField = 875.0;
// The COMPASS_SCALE that ArduPilot applies; it takes any other for 1.
constexpr double MaxScale = 1.5;
constexpr double MinScale = 1.0 / MaxScale;
const char Axes[] = "XYZ";

QByteArray parameter(const char *group, int compass, int axis)
{
    return QByteArray("COMPASS_") + group + (compass > 1 ? QByteArray::number(compass) : QByteArray()) + '_' +
           Axes[axis];
}

// A parameter that the second and third compasses number at its end.
QByteArray numbered(const char *name, int compass)
{
    return name + (compass > 1 ? QByteArray::number(compass) : QByteArray());
}

QByteArray scaleParameter(int compass)
{
    return numbered("COMPASS_SCALE", compass);
}

QByteArray deviceParameter(int compass)
{
    return numbered("COMPASS_DEV_ID", compass);
}

QStringList limitWarnings(const QByteArray offsetTexts[3], const double offsets[3], double field)
{
    // Each limit is one of ArduPilot's arming checks, in its code.
    QStringList warnings;
    const double length =
        std::sqrt(offsets[0] * offsets[0] + offsets[1] * offsets[1] + offsets[2] * offsets[2]);
    if (length > MaxOffsetLength)
        warnings << QStringLiteral(
                        "The offsets are %1 mG long, beyond the %2 mG that ArduPilot's arming check "
                        "accepts by default (COMPASS_OFFS_MAX).")
                        .arg(length, 0, 'f', 1)
                        .arg(MaxOffsetLength);
    if (offsetTexts[0] == "0.0" && offsetTexts[1] == "0.0" && offsetTexts[2] == "0.0")
        warnings << QStringLiteral(
            "The offsets are all zero, which ArduPilot takes for an uncalibrated compass.");
    if (field < MinField || field > MaxField)
        warnings << QStringLiteral(
                        "The corrected field, %1 mG, lies outside the %2 to %3 mG that ArduPilot's "
                        "arming check accepts: are the measurements in the unit given?")
                        .arg(field, 0, 'f', 1)
                        .arg(MinField)
                        .arg(MaxField);
    for (QString &w : warnings)
        w = ruled(w, Rule::FirmwareCode, QStringLiteral("ArduPilot"));
    return warnings;
}

QString compassRange()
{
    return QStringLiteral("ArduPilot numbers its compasses 1 to %1.").arg(ArduPilotCompasses);
}

} // namespace

Expected<ExportResult> writeArduPilot(const ExportInput &in)
{
    const double k = factorTo(MilligaussInNt, in.unitInNt);
    if (k == 0.0)
        return exportRefusal(
            QStringLiteral("ArduPilot stores milligauss: the unit of the measurements is needed."));
    if (in.compass < 1 || in.compass > ArduPilotCompasses)
        return exportRefusal(compassRange());
    const FirmwareValues v = firmwareValues(in, k);
    double offsets[3], diagonal[3], off[3];
    for (int i = 0; i < 3; i++) {
        offsets[i] = -v.bias[i];
        diagonal[i] = v.ainv[i][i];
    }
    offDiagonals(v.ainv, off);
    const double offsetScale = std::max(largest(offsets, 3), v.hm);
    const double matrixScale = std::max(largest(diagonal, 3), largest(off, 3));
    QByteArray offsetTexts[3];
    for (int i = 0; i < 3; i++)
        offsetTexts[i] = decimalText(offsets[i], offsetScale);
    ExportResult result;
    result.warnings = limitWarnings(offsetTexts, offsets, v.hm);
    const QString device = QString::fromLatin1(deviceParameter(in.compass));
    if (!in.ids.device)
        result.warnings << ruled(
            QStringLiteral("No device id was given, so %1 is not written: ArduPilot counts a compass as "
                           "calibrated only when %1 matches it, and may keep one never calibrated on "
                           "board \"not calibrated\". The id is %1 in the vehicle's parameter list.")
                .arg(device),
            Rule::FirmwareCode, QStringLiteral("ArduPilot"));
    QStringList comments = {
        QStringLiteral("ArduPilot compass %1 calibration, made by Tavrin from %2.")
            .arg(in.compass)
            .arg(sourceName(in.sourceFile)),
        QStringLiteral("ArduPilot applies h = M (COMPASS_SCALE (h_raw + COMPASS_OFS)) in milligauss, with"),
        QStringLiteral("M = [[DIA_X, ODI_X, ODI_Y], [ODI_X, DIA_Y, ODI_Z], [ODI_Y, ODI_Z, DIA_Z]]."),
        QStringLiteral(
            "ArduPilot corrects the field in the body frame, after COMPASS_ORIENT: the measurements "
            "must be in that frame."),
        QStringLiteral("The corrected field's norm is Hm = %1 mG.")
            .arg(QString::fromLatin1(decimalText(v.hm, v.hm)))};
    result.bytes = commentLines("#", comments + warningLines(result.warnings));
    for (int i = 0; i < 3; i++)
        result.bytes += parameter("OFS", in.compass, i) + ',' + offsetTexts[i] + '\n';
    for (int i = 0; i < 3; i++)
        result.bytes += parameter("DIA", in.compass, i) + ',' + decimalText(diagonal[i], matrixScale) + '\n';
    for (int i = 0; i < 3; i++)
        result.bytes += parameter("ODI", in.compass, i) + ',' + decimalText(off[i], matrixScale) + '\n';
    result.bytes += scaleParameter(in.compass) + ",1.0\n";
    if (in.ids.device)
        result.bytes += deviceParameter(in.compass) + ',' + QByteArray::number(*in.ids.device) + '\n';
    return result;
}

namespace {

// The parameters a file sets, by name: Mission Planner writes NAME,VALUE;
// ArduPilot's own files also NAME VALUE, and QGroundControl its five
// tab-separated fields, led by the vehicle's id.
Expected<QHash<QByteArray, double>> parameterValues(const QByteArray &text)
{
    using Values = QHash<QByteArray, double>;
    Values values;
    std::optional<long long> vehicle;
    for (const Line &line : splitLines(text)) {
        const QByteArray trimmed = line.text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        QList<QByteArray> fields =
            trimmed.contains(',') ? trimmed.split(',') : trimmed.simplified().split(' ');
        std::optional<long long> id;
        if (fields.size() == 5) {
            id = integerNumber(fields[0]);
            fields = id ? fields.mid(2, 2) : QList<QByteArray>();
        }
        const std::optional<double> value = fields.size() == 2 ? finiteNumber(fields[1]) : std::nullopt;
        if (!value)
            return Expected<Values>::failure(
                lineError(line.number, QStringLiteral("a parameter line is NAME,VALUE.")));
        if (id) {
            const Expected<long long> same = fileVehicle(line.number, *id, vehicle);
            if (!same)
                return Expected<Values>::failure(same.error());
            vehicle = *same;
        }
        values.insert(fields[0].trimmed(), *value);
    }
    return values;
}

// The scale ArduPilot applies: a value outside its range, zero its "not set"
// among them, is taken as 1, with a note unless it is zero.
double appliedScale(const QHash<QByteArray, double> &values, int compass, QStringList &notes)
{
    const double scale = values.value(scaleParameter(compass), 1.0);
    if (scale >= MinScale && scale <= MaxScale)
        return scale;
    if (scale != 0.0)
        notes << QStringLiteral("%1 is %2, outside the %3 to %4 that ArduPilot applies: the firmware "
                                "ignores it and scales by 1.")
                     .arg(QLatin1String(scaleParameter(compass)))
                     .arg(scale, 0, 'g', 6)
                     .arg(MinScale, 0, 'g', 6)
                     .arg(MaxScale);
    return 1.0;
}

} // namespace

Expected<ReadCorrection> readArduPilot(const QByteArray &text, int compass)
{
    if (compass < 1 || compass > ArduPilotCompasses)
        return readFailure(compassRange());
    const Expected<QHash<QByteArray, double>> read = parameterValues(text);
    if (!read)
        return readFailure(read.error());
    const QHash<QByteArray, double> &values = *read;
    double offsets[3], diagonal[3], off[3];
    const struct {
        const char *group;
        double *into;
    } groups[] = {{"OFS", offsets}, {"DIA", diagonal}, {"ODI", off}};
    for (const auto &g : groups)
        for (int i = 0; i < 3; i++) {
            const QByteArray name = parameter(g.group, compass, i);
            if (!values.contains(name))
                return readFailure(QStringLiteral("The file does not set %1.").arg(QLatin1String(name)));
            g.into[i] = values.value(name);
        }
    // Diagonals of zero are ArduPilot's "not set": no matrix.
    if (diagonal[0] == 0.0 && diagonal[1] == 0.0 && diagonal[2] == 0.0)
        diagonal[0] = diagonal[1] = diagonal[2] = 1.0;
    QStringList notes;
    const double scale = appliedScale(values, compass, notes);
    FirmwareCorrection c;
    symmetricMatrix(diagonal, off, c.matrix);
    for (int i = 0; i < 3; i++) {
        c.offset[i] = -offsets[i];
        for (int j = 0; j < 3; j++)
            c.matrix[i][j] *= scale;
    }
    const Expected<std::optional<long long>> device = readDeviceId(values, deviceParameter(compass));
    if (!device)
        return readFailure(device.error());
    ReadCorrection correction{c, notes};
    correction.ids.device = *device;
    return correction;
}

} // namespace tavrin
