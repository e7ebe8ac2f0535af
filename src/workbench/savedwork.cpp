#include "savedwork.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace tavrin {

namespace {

constexpr int Version = 1;
const char *const Kind = "tavrin-workbench";

QJsonObject logObject(const LogFormat &f)
{
    return {{"columns", QJsonArray{f.columns[0], f.columns[1], f.columns[2]}},
            {"decimalComma", f.decimalComma},
            {"skipBadLines", f.skipBadLines},
            {"firstRow", double(f.firstRow)},
            {"lastRow", double(f.lastRow)}};
}

std::optional<LogFormat> logFormat(const QJsonObject &o)
{
    const QJsonArray columns = o["columns"].toArray();
    if (columns.size() != 3)
        return std::nullopt;
    LogFormat f;
    for (int i = 0; i < 3; i++)
        f.columns[size_t(i)] = columns[i].toString();
    f.decimalComma = o["decimalComma"].toBool();
    f.skipBadLines = o["skipBadLines"].toBool();
    f.firstRow = qint64(o["firstRow"].toDouble(1));
    f.lastRow = qint64(o["lastRow"].toDouble(0));
    if (f.firstRow < 1 || f.lastRow < 0)
        return std::nullopt;
    return f;
}

QJsonObject hmObject(const SavedWork &w)
{
    QJsonObject hm{{"value", w.hmValue}, {"unit", w.hm.unit}};
    if (w.hm.place) {
        hm["source"] = QStringLiteral("model");
        hm["latitude"] = w.hm.place->latitude;
        hm["longitude"] = w.hm.place->longitude;
        hm["height"] = w.hm.place->height;
        hm["date"] = w.hm.date.toString(Qt::ISODate);
    } else {
        hm["source"] = QStringLiteral("value");
    }
    return hm;
}

} // namespace

QByteArray fingerprintOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

QByteArray savedWorkBytes(const SavedWork &w)
{
    QJsonObject o{{"kind", QLatin1String(Kind)},
                  {"version", Version},
                  {"input", w.input},
                  {"inputSha256", QString::fromLatin1(w.fingerprint)},
                  {"hm", hmObject(w)},
                  {"fit", QLatin1String(fitModelName(w.fit))},
                  {"result", w.result}};
    if (w.log)
        o["log"] = logObject(*w.log);
    return QJsonDocument(o).toJson();
}

std::optional<SavedWork> readSavedWork(const QByteArray &bytes, QString *problem)
{
    const auto fail = [problem](const char *why) {
        *problem = QCoreApplication::translate("SavedWork", why);
        return std::nullopt;
    };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject o = document.object();
    if (error.error != QJsonParseError::NoError || o["kind"].toString() != QLatin1String(Kind))
        return fail("This is not a file of saved work from Tavrin Workbench.");
    if (o["version"].toInt() != Version)
        return fail("This file of saved work is of a version this workbench does not read.");
    SavedWork w;
    w.input = o["input"].toString();
    if (w.input.isEmpty())
        return fail("This file of saved work names no input.");
    if (o.contains("log")) {
        w.log = logFormat(o["log"].toObject());
        if (!w.log)
            return fail("This file of saved work has a log format that cannot be read.");
    }
    const QJsonObject hm = o["hm"].toObject();
    w.hmValue = hm["value"].toDouble();
    w.hm.value = w.hmValue;
    w.hm.unit = hm["unit"].toString();
    if (!fieldUnits().contains(w.hm.unit) || !(w.hmValue > 0))
        return fail("This file of saved work has an Hm that cannot be used.");
    if (hm["source"].toString() == QLatin1String("model")) {
        w.hm.place = Place{hm["latitude"].toDouble(), hm["longitude"].toDouble(), hm["height"].toDouble()};
        w.hm.date = QDate::fromString(hm["date"].toString(), Qt::ISODate);
    }
    const std::optional<FitModel> fit = fitModelNamed(o["fit"].toString().toLatin1().constData());
    if (!fit)
        return fail("This file of saved work names a fit this workbench does not know.");
    w.fit = *fit;
    w.fingerprint = o["inputSha256"].toString().toLatin1();
    w.result = o["result"].toObject();
    return w;
}

} // namespace tavrin
