// The JSON that Arduino sensor-calibration libraries keep: the magnetometer's
// m = S (h - mag_hardiron) with S = mag_softiron by rows, in microtesla, and
// mag_field, the norm of the corrected field, beside the accelerometer's and
// the gyroscope's fields. Merged into a board's own file, only the
// magnetometer's values change: the text is edited in place, as QJsonObject
// would sort the fields.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
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

// The library's fields of the other sensors, and their defaults.
const char *const OtherSensorFields[] = {"accel_zerog", "gyro_zerorate"};

// A top-level field of an object's text: its key and where its value lies.
struct Member {
    QString key;
    qsizetype keyBegin, begin, end;
};

// Walks the text of a JSON object that has been parsed already, so that it
// is well formed, and finds its top-level members in order.
class MemberScanner {
public:
    explicit MemberScanner(const QByteArray &text) : text(text) {}

    std::vector<Member> members()
    {
        std::vector<Member> found;
        skipBlanks();
        i++; // '{'
        for (skipBlanks(); text[i] != '}'; skipBlanks()) {
            if (text[i] == ',') {
                i++;
                continue;
            }
            const qsizetype keyBegin = i;
            skipString();
            // The key as JSON reads it, escapes and all.
            const QString key = QJsonDocument::fromJson('[' + text.mid(keyBegin, i - keyBegin) + ']')
                                    .array()
                                    .at(0)
                                    .toString();
            skipBlanks();
            i++; // ':'
            skipBlanks();
            const qsizetype begin = i;
            skipValue();
            found.push_back({key, keyBegin, begin, i});
        }
        return found;
    }

private:
    void skipBlanks()
    {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            i++;
    }

    void skipString()
    {
        for (i++; text[i] != '"'; i++)
            if (text[i] == '\\')
                i++;
        i++;
    }

    void skipValue()
    {
        int depth = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (c == '"') {
                skipString();
                if (depth == 0)
                    return;
                continue;
            }
            if (c == '{' || c == '[') {
                depth++;
            } else if (c == '}' || c == ']') {
                if (depth == 0)
                    return;
                if (--depth == 0) {
                    i++;
                    return;
                }
            } else if (depth == 0 && (c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
                return;
            }
            i++;
        }
    }

    const QByteArray &text;
    qsizetype i = 0;
};

// A value as compact JSON text.
QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The board's file with the magnetometer's fields replaced, or added before
// the end where it has none; nothing else moves.
Expected<ExportResult> merged(const QByteArray &text,
                              const std::vector<std::pair<QString, QJsonValue>> &fields)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        return exportRefusal(error.error != QJsonParseError::NoError
                                 ? QStringLiteral("The file to merge into is not JSON: %1 at byte %2.")
                                       .arg(error.errorString())
                                       .arg(error.offset)
                                 : QStringLiteral("The file to merge into is no JSON object."));
    QStringList known;
    for (const char *field : OtherSensorFields)
        known << QLatin1String(field);
    for (const auto &field : fields)
        known << field.first;
    if (std::none_of(known.begin(), known.end(),
                     [&](const QString &key) { return document.object().contains(key); }))
        return exportRefusal(
            QStringLiteral("The file to merge into is no sensor calibration: it holds none of %1.")
                .arg(known.join(QStringLiteral(", "))));
    MemberScanner scanner(text);
    const std::vector<Member> members = scanner.members();
    QByteArray out = text;
    // From the end, so that the places before stay where they were.
    for (auto m = members.rbegin(); m != members.rend(); ++m)
        for (const auto &[key, value] : fields)
            if (m->key == key)
                out.replace(m->begin, m->end - m->begin, jsonText(value));
    QByteArray added;
    // A new field goes on a line of its own, indented as the last one, where the fields have lines.
    const qsizetype lineStart = members.empty() ? -1 : text.lastIndexOf('\n', members.back().keyBegin);
    const QByteArray indent =
        lineStart < 0 ? QByteArray(" ") : text.mid(lineStart, members.back().keyBegin - lineStart);
    for (const auto &[key, value] : fields)
        if (!document.object().contains(key))
            added += (members.empty() && added.isEmpty() ? QByteArray() : QByteArray(",")) + indent +
                     jsonText(key) + ": " + jsonText(value);
    // The replaced values all lie up to the last member's end.
    const qsizetype at = members.empty() ? text.indexOf('{') + 1 : members.back().end;
    if (!added.isEmpty())
        out.insert(at + (out.size() - text.size()), added);
    return ExportResult{out, {}};
}

} // namespace

Expected<ExportResult> writeSensorJson(const ExportInput &in)
{
    const double k = factorTo(MicroteslaInNt, in.unitInNt);
    if (k == 0.0)
        return exportRefusal(
            QStringLiteral("The sensor JSON holds microtesla: the unit of the measurements is needed."));
    const CalibrationParameters &p = in.parameters;
    QJsonArray hardIron, softIron;
    for (int i = 0; i < 3; i++) {
        hardIron.append(k * p.Bias[i][0]);
        for (int j = 0; j < 3; j++)
            softIron.append(p.Ainv[i][j]);
    }
    const std::vector<std::pair<QString, QJsonValue>> magnetometer = {
        {"mag_hardiron", hardIron}, {"mag_softiron", softIron}, {"mag_field", k * in.hm}};
    if (in.merge)
        return merged(*in.merge, magnetometer);
    QJsonObject object;
    for (const auto &[key, value] : magnetometer)
        object.insert(key, value);
    for (const char *field : OtherSensorFields)
        object.insert(QLatin1String(field), QJsonArray{0.0, 0.0, 0.0});
    return ExportResult{
        QJsonDocument(object).toJson(QJsonDocument::Indented),
        {QStringLiteral("accel_zerog and gyro_zerorate are written as the library's defaults, zeros: "
                        "loading the file resets the board's accelerometer and gyroscope calibration. "
                        "Merged into the board's own file, the calibration keeps them.")}};
}

Expected<ReadCorrection> readSensorJson(const QByteArray &text, int)
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
    return ReadCorrection{c, {}, {}};
}

} // namespace tavrin
