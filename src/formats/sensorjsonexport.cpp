// The magnetometer part of the JSON that Arduino sensor-calibration libraries
// keep: m = S (h - mag_hardiron) with S = mag_softiron by rows, in microtesla,
// and mag_field, the norm of the corrected field.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tavrin {

using namespace exportsupport;

namespace {

std::optional<std::vector<double>> numbers(const QJsonValue &value, qsizetype count)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != count)
        return std::nullopt;
    std::vector<double> out;
    for (const QJsonValue &v : array) {
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return std::nullopt;
        out.push_back(v.toDouble());
    }
    return out;
}

} // namespace

ExportResult WriteSensorJson(const ExportInput &in)
{
    const double k = factorTo(MicroteslaInNt, in.unitInNt);
    if (k == 0.0)
        return {{},
                {},
                QStringLiteral("The sensor JSON holds microtesla: the unit of the measurements is needed.")};
    const CalibrationParameters &p = in.parameters;
    QJsonArray hardIron, softIron;
    for (int i = 0; i < 3; i++) {
        hardIron.append(k * p.Bias[i][0]);
        for (int j = 0; j < 3; j++)
            softIron.append(p.Ainv[i][j]);
    }
    const QJsonObject object{
        {"mag_hardiron", hardIron}, {"mag_softiron", softIron}, {"mag_field", k * in.hm}};
    return {QJsonDocument(object).toJson(QJsonDocument::Indented), {}, {}};
}

ReadCorrection ReadSensorJson(const QByteArray &text, int)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        return readFailure(
            error.error != QJsonParseError::NoError
                ? QStringLiteral("not JSON: %1 at byte %2.").arg(error.errorString()).arg(error.offset)
                : QStringLiteral("The JSON is no object."));
    const std::optional<std::vector<double>> hardIron = numbers(document.object().value("mag_hardiron"), 3);
    const std::optional<std::vector<double>> softIron = numbers(document.object().value("mag_softiron"), 9);
    if (!hardIron || !softIron)
        return readFailure(QStringLiteral("The JSON needs mag_hardiron, 3 numbers, and mag_softiron, 9."));
    FirmwareCorrection c;
    for (int i = 0; i < 3; i++) {
        c.offset[i] = (*hardIron)[size_t(i)];
        for (int j = 0; j < 3; j++)
            c.matrix[i][j] = (*softIron)[size_t(3 * i + j)];
    }
    return {c, {}, {}};
}

} // namespace tavrin
