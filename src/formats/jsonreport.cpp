#include "jsonreport.h"

#include "rawdata.h"
#include "textreport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tavrin {

namespace {

QJsonArray column(const MatDoub &m)
{
    return {m[0][0], m[1][0], m[2][0]};
}

QJsonArray rows(const MatDoub &m)
{
    QJsonArray out;
    for (int i = 0; i < 3; i++)
        out.append(QJsonArray{m[i][0], m[i][1], m[i][2]});
    return out;
}

QJsonObject normError(const NormError &e, double hm)
{
    return {{"mean", e.mean},
            {"rms", e.rms},
            {"max", e.max},
            {"meanPercent", 100.0 * e.mean / hm},
            {"rmsPercent", 100.0 * e.rms / hm},
            {"maxPercent", 100.0 * e.max / hm}};
}

QJsonObject spread(const Spread &s)
{
    return {{"std", s.std}, {"low", s.low}, {"high", s.high}};
}

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonArray strings(const std::vector<std::string> &texts)
{
    QJsonArray out;
    for (const std::string &text : texts)
        out.append(QString::fromStdString(text));
    return out;
}

QJsonObject JsonAccelerometer(const align::AccelerometerFit &f)
{
    QJsonArray scale;
    for (const align::Vec3 &row : f.scale)
        scale.append(QJsonArray{row[0], row[1], row[2]});
    const auto fitted = [&](const QJsonValue &value) { return f.fitted ? value : QJsonValue(); };
    QJsonObject out{{"fitted", f.fitted},
                    {"model", fitted(QLatin1String(fitModelName(f.model)))},
                    {"attitudes", f.attitudes},
                    {"readings", f.readings},
                    {"offset", fitted(QJsonArray{f.offset[0], f.offset[1], f.offset[2]})},
                    {"scale", fitted(scale)},
                    {"normErrorBefore", fitted(f.normErrorBefore)},
                    {"normErrorAfter", fitted(f.normErrorAfter)}};
    if (!f.fitted)
        out.insert("reason", QString::fromStdString(f.reason));
    return out;
}

} // namespace

QJsonObject JsonAlignment(const align::AlignmentResult &a)
{
    QJsonArray rotation;
    for (const align::Vec3 &row : a.rotation)
        rotation.append(QJsonArray{row[0], row[1], row[2]});
    const QJsonValue orientation = a.orientation ? QJsonValue(*a.orientation) : QJsonValue();
    // What the data did not fix is null, never a default that looks found.
    const auto found = [](bool known, const QJsonValue &value) { return known ? value : QJsonValue(); };
    QJsonObject out{{"mapping", found(a.mappingFound, QString::fromStdString(a.mappingText()))},
                    {"mirror", found(a.mappingFound, a.mirror)},
                    {"determined", a.determined},
                    {"rotation", found(a.determined, rotation)},
                    {"rotationDegrees", found(a.determined, a.rotationDegrees)},
                    {"rotationUncertaintyDegrees", found(a.determined, a.rotationUncertaintyDegrees)},
                    {"dipDegrees", orNull(a.dipDegrees)},
                    {"dipSpreadBeforeDegrees", orNull(a.dipSpreadBeforeDegrees)},
                    {"dipSpreadAfterDegrees", orNull(a.dipSpreadAfterDegrees)},
                    {"headingErrorDegrees", orNull(a.headingErrorDegrees)},
                    {"placeInclinationDegrees", orNull(a.placeInclinationDegrees)},
                    {"readingsAtRest", a.readingsAtRest},
                    {"assumptions", strings(a.assumptions)},
                    {"notes", strings(a.notes)},
                    {"ardupilotOrientation", orientation},
                    {"px4Rotation", orientation},
                    {"accelerometer", JsonAccelerometer(a.accelerometer)}};
    if (!a.determined)
        out.insert("reason", QString::fromStdString(a.reason));
    if (a.determined && !a.mirror && !a.orientation)
        out.insert("rollPitchYawDegrees",
                   QJsonArray{a.rollPitchYawDegrees[0], a.rollPitchYawDegrees[1], a.rollPitchYawDegrees[2]});
    return out;
}

QJsonObject JsonUncertainty(const Uncertainty &u)
{
    QJsonObject out{{"resamples", u.resamples}, {"failed", u.failed}, {"seed", qint64(u.seed)}};
    if (!u.alike.empty()) {
        QJsonArray alike;
        for (const FitModel m : u.alike)
            alike.append(fitModelName(m));
        out.insert("runLength", u.runLength);
        out.insert("alike", alike);
    }
    if (!u.known)
        return out;
    QJsonArray bias, A;
    for (int i = 0; i < 3; i++) {
        bias.append(spread(u.bias[i]));
        A.append(QJsonArray{spread(u.A[i][0]), spread(u.A[i][1]), spread(u.A[i][2])});
    }
    out.insert("bias", bias);
    out.insert("A", A);
    return out;
}

QJsonObject JsonResult(const CalibrationResult &calibrated, double hm, const ReportWords &words)
{
    const CalibrationRun &run = calibrated.run;
    const QualityReport &q = calibrated.quality;
    const EmptyCap &cap = q.largestEmptyCap;
    const QJsonObject coverage{
        {"cells", int(q.cellHit.size())},
        {"cellsHit", q.cellsHit},
        {"largestEmptyCap",
         QJsonObject{{"radiusDegrees", cap.radiusDegrees()},
                     {"centre", QJsonArray{cap.centre[0], cap.centre[1], cap.centre[2]}}}}};
    const QJsonObject plane{{"normal", QJsonArray{q.plane.normal[0], q.plane.normal[1], q.plane.normal[2]}},
                            {"across", q.plane.across},
                            {"radius", q.plane.radius},
                            {"flatness", q.plane.flatness()}};
    const QJsonObject quality{{"normErrorBefore", normError(q.before, hm)},
                              {"plane", plane},
                              {"normErrorAfter", normError(q.after, hm)},
                              {"coverage", coverage},
                              {"farLimit", q.farLimit},
                              {"farPoints", q.farPoints},
                              {"worstPoint", q.worstPoint + 1}};
    QJsonObject result{
        {"path", displayName(calibrated.path)},
        {"points", run.raw.numLines},
        {"fit", fitModelName(run.requested)},
        {"fitChosen", fitModelName(run.model)},
        {"bias", column(run.parameters.Bias)},
        {"A", rows(run.parameters.A)},
        {"Ainv", rows(run.parameters.Ainv)},
        {"testValue", run.fit.TestEllip},
        {"outlierWarning", run.fit.outlierWarning},
        {"quality", quality},
        {"verdict", verdictName(q.verdict)},
        {"verdictReason", VerdictReason(q, calibrated.uncertainty ? &*calibrated.uncertainty : nullptr,
                                        calibrated.alignment ? &*calibrated.alignment : nullptr)},
        {"warnings", QJsonArray::fromStringList(calibrated.warnings)}};
    if (run.requested == FitModel::Auto)
        result.insert("fitReason", run.fitReason);
    if (run.robust) {
        QJsonArray rejected;
        for (const int k : run.robust->rejected)
            rejected.append(k + 1);
        result.insert("rejected", rejected);
        result.insert("rejectedCount", rejected.size());
        result.insert("robustScale", run.robust->scale);
        if (run.model == FitModel::Planar) {
            const double *n = run.robust->normal;
            result.insert("planeNormal", QJsonArray{n[0], n[1], n[2]});
            result.insert("undetermined", UndeterminedText(*run.robust));
        }
    }
    if (const QString advice = Recommendation(run, q, words); !advice.isEmpty())
        result.insert("recommendation", advice);
    if (calibrated.log) {
        const LogInput &in = *calibrated.log;
        QJsonArray columns;
        for (size_t c = 0; c < 3; c++)
            columns.append(QJsonObject{{"number", in.columns[c]}, {"name", in.names[c]}});
        QJsonObject input{{"delimiter", delimiterName(in.delimiter)},
                          {"columns", columns},
                          {"headerLines", in.headerLines},
                          {"commentLines", in.commentLines},
                          {"skippedLines", in.skippedLines},
                          {"rows", in.rows}};
        if (in.columns[3] > 0) {
            QJsonArray accel;
            for (size_t c = 3; c < 6; c++)
                accel.append(QJsonObject{{"number", in.columns[c]}, {"name", in.names[c]}});
            input.insert("accelColumns", accel);
        }
        result.insert("input", input);
    }
    if (calibrated.uncertainty)
        result.insert("uncertainty", JsonUncertainty(*calibrated.uncertainty));
    if (calibrated.alignment)
        result.insert("alignment", JsonAlignment(*calibrated.alignment));
    return result;
}

QJsonObject JsonFailure(const QString &path, const CalibrationRun &run, const QString &message)
{
    QJsonObject error{{"kind", describe(*run.error).kind}, {"message", message}};
    if (!run.raw.reason.isEmpty())
        error.insert("reason", run.raw.reason);
    if (run.error == CalibrationError::BadFormat || run.error == CalibrationError::TooManyLines)
        error.insert("line", run.raw.badLineNumber);
    if (run.error == CalibrationError::BadFormat)
        error.insert("text", run.raw.badLine);
    if (run.undetermined != Undetermined::No)
        error.insert("undetermined", undeterminedName(run.undetermined));
    if (const QString detail = failureDetail(run); !detail.isEmpty())
        error.insert("detail", detail);
    if (!run.fitReason.isEmpty())
        error.insert("fitReason", run.fitReason);
    return {{"path", path}, {"error", error}};
}

QJsonObject JsonHmSource(const HmFromModel &source, const Place &place, double year)
{
    return {{"model", source.model},  {"latitude", place.latitude}, {"longitude", place.longitude},
            {"height", place.height}, {"decimalYear", year},        {"F", source.fieldNt},
            {"units", source.units}};
}

QByteArray JsonDocument(const QString &tool, const QString &version, double hm, const QJsonArray &files,
                        int exitStatus, const QJsonObject &hmSource)
{
    QJsonObject document{
        {"tool", tool}, {"version", version}, {"hm", hm}, {"files", files}, {"exitStatus", exitStatus}};
    if (!hmSource.isEmpty())
        document.insert("hmSource", hmSource);
    return QJsonDocument(document).toJson();
}

} // namespace tavrin
