// PX4's magnetometer calibration as a ground station's parameter file: PX4
// subtracts CAL_MAGn_XOFF... from the field and multiplies by the symmetric
// matrix of the scales and off-diagonals, in gauss, in the sensor's frame
// before it rotates the field into the board's.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QHash>

namespace tavrin {

using namespace exportsupport;

namespace {

// The scales Tavrin takes for a plausible calibration; PX4 itself takes any positive one.
constexpr double MinScale = 0.1;
constexpr double MaxScale = 3.0;
// A ground station's vehicle and component when none is given: a vehicle's
// first autopilot.
constexpr int DefaultVehicleId = 1;
// The MAVLink types of a 32-bit float and a 32-bit integer, ending a line.
const QByteArray FloatType = "\t9\n";
const QByteArray IntegerType = "\t6\n";
const char *const OffsetNames[] = {"XOFF", "YOFF", "ZOFF"};
const char *const ScaleNames[] = {"XSCALE", "YSCALE", "ZSCALE"};
const char *const OffDiagonalNames[] = {"XODIAG", "YODIAG", "ZODIAG"};

QByteArray parameter(int compass, const char *name)
{
    return "CAL_MAG" + QByteArray::number(compass - 1) + '_' + name;
}

QString compassRange()
{
    return QStringLiteral("PX4 numbers its magnetometers 1 to %1.").arg(Px4Compasses);
}

} // namespace

Expected<ExportResult> writePx4(const ExportInput &in)
{
    const double k = factorTo(GaussInNt, in.unitInNt);
    if (k == 0.0)
        return exportRefusal(QStringLiteral("PX4 stores gauss: the unit of the measurements is needed."));
    if (in.compass < 1 || in.compass > Px4Compasses)
        return exportRefusal(compassRange());
    const FirmwareValues v = firmwareValues(in, k);
    double scales[3], off[3];
    for (int i = 0; i < 3; i++)
        scales[i] = v.ainv[i][i];
    offDiagonals(v.ainv, off);
    ExportResult result;
    for (int i = 0; i < 3; i++)
        if (scales[i] < MinScale || scales[i] > MaxScale)
            result.warnings << ruled(QStringLiteral("%1 is %2, outside the %3 to %4 of a plausible sensor: "
                                                    "PX4 accepts any positive scale, but so large a "
                                                    "correction suggests wrong measurements.")
                                         .arg(QLatin1String(parameter(in.compass, ScaleNames[i])))
                                         .arg(scales[i], 0, 'g', 6)
                                         .arg(MinScale)
                                         .arg(MaxScale),
                                     Rule::TavrinJudgement, QStringLiteral("PX4"));
    const QString prefix = QString::fromLatin1(parameter(in.compass, ""));
    const int system = in.ids.system.value_or(DefaultVehicleId);
    const int component = in.ids.component.value_or(DefaultVehicleId);
    const QStringList comments = {
        QStringLiteral("PX4 magnetometer %1 calibration, made by Tavrin from %2.")
            .arg(prefix.chopped(1), sourceName(in.sourceFile)),
        QStringLiteral("PX4 applies h = S (h_raw - OFF) in gauss, with"),
        QStringLiteral("S = [[XSCALE, XODIAG, YODIAG], [XODIAG, YSCALE, ZODIAG], [YODIAG, ZODIAG, ZSCALE]]."),
        QStringLiteral("PX4 corrects in the sensor frame, before %1ROT rotates the field: the measurements "
                       "must be in that frame.")
            .arg(prefix),
        in.ids.device
            ? QStringLiteral("%1PRIO and %1ROT are not written: the board keeps its own.").arg(prefix)
            : QStringLiteral("%1ID, %1PRIO and %1ROT are not written: the board keeps its own.").arg(prefix),
        QStringLiteral("PX4 gives %1 to the sensor whose device id is %2ID: it must be the slot whose "
                       "%2ID, in the vehicle's parameter list, matches the sensor.")
            .arg(prefix.chopped(1), prefix),
        QStringLiteral("The lines are for system id %1%2 and component id %3%4: QGroundControl refuses a "
                       "file of another vehicle's.")
            .arg(system)
            .arg(in.ids.system ? QString() : QStringLiteral(" (the default)"))
            .arg(component)
            .arg(in.ids.component ? QString() : QStringLiteral(" (the default)")),
        QStringLiteral("The corrected field's norm is Hm = %1 G.")
            .arg(QString::fromLatin1(decimalText(v.hm, v.hm)))};
    result.bytes =
        commentLines("#", comments + warningLines(result.warnings) +
                              QStringList{QStringLiteral("Vehicle-Id\tComponent-Id\tName\tValue\tType")});
    const QByteArray linePrefix = QByteArray::number(system) + '\t' + QByteArray::number(component) + '\t';
    const double offsetScale = std::max(largest(v.bias, 3), v.hm);
    const double matrixScale = std::max(largest(scales, 3), largest(off, 3));
    for (int i = 0; i < 3; i++)
        result.bytes += linePrefix + parameter(in.compass, OffsetNames[i]) + '\t' +
                        decimalText(v.bias[i], offsetScale) + FloatType;
    for (int i = 0; i < 3; i++)
        result.bytes += linePrefix + parameter(in.compass, ScaleNames[i]) + '\t' +
                        decimalText(scales[i], matrixScale) + FloatType;
    for (int i = 0; i < 3; i++)
        result.bytes += linePrefix + parameter(in.compass, OffDiagonalNames[i]) + '\t' +
                        decimalText(off[i], matrixScale) + FloatType;
    if (in.ids.device)
        result.bytes += linePrefix + parameter(in.compass, "ID") + '\t' + QByteArray::number(*in.ids.device) +
                        IntegerType;
    return result;
}

Expected<ReadCorrection> readPx4(const QByteArray &text, int compass)
{
    if (compass < 1 || compass > Px4Compasses)
        return readFailure(compassRange());
    QHash<QByteArray, double> values;
    std::optional<long long> vehicle, component;
    for (const Line &line : splitLines(text)) {
        if (line.text.trimmed().isEmpty() || line.text.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.text.split('\t');
        const std::optional<long long> id = fields.size() == 5 ? integerNumber(fields[0]) : std::nullopt;
        const std::optional<double> value = id ? finiteNumber(fields[3]) : std::nullopt;
        if (!value)
            return readFailure(
                lineError(line.number,
                          QStringLiteral("a parameter line is five tab-separated fields: vehicle, component, "
                                         "name, value, type.")));
        const Expected<long long> same = fileVehicle(line.number, *id, vehicle);
        if (!same)
            return readFailure(same.error());
        vehicle = *same;
        if (!component)
            component = integerNumber(fields[1]);
        values.insert(fields[2].trimmed(), *value);
    }
    double offsets[3], scales[3], off[3];
    const struct {
        const char *const *names;
        double *into;
    } groups[] = {{OffsetNames, offsets}, {ScaleNames, scales}, {OffDiagonalNames, off}};
    for (const auto &g : groups)
        for (int i = 0; i < 3; i++) {
            const QByteArray name = parameter(compass, g.names[i]);
            if (!values.contains(name))
                return readFailure(QStringLiteral("The file does not set %1.").arg(QLatin1String(name)));
            g.into[i] = values.value(name);
        }
    FirmwareCorrection c;
    symmetricMatrix(scales, off, c.matrix);
    for (int i = 0; i < 3; i++)
        c.offset[i] = offsets[i];
    const Expected<std::optional<long long>> device = readDeviceId(values, parameter(compass, "ID"));
    if (!device)
        return readFailure(device.error());
    ReadCorrection read{c, {}};
    read.ids.device = *device;
    // The first line's vehicle and component are the file's.
    read.ids.system = vehicle;
    read.ids.component = component;
    return read;
}

} // namespace tavrin
