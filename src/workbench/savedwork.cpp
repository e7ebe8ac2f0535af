#include "savedwork.h"
#include "fieldunit.h"
#include "printable.h"
#include "regularfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr int Version = 1;
const char *const Kind = "tavrin-workbench";
// Saved work holds a few kilobytes; what is far larger is no saved work and
// is not read whole.
constexpr qint64 LargestSavedWork = 64 << 20;
// Rows are counted in JSON's numbers, whole up to this one.
constexpr double LastWholeNumber = 9007199254740992.0;

QString tr(const char *text)
{
    return QCoreApplication::translate("SavedWork", text);
}

// A value of the file as its JSON reads.
QString jsonText(const QJsonValue &value)
{
    if (value.isUndefined())
        return tr("nothing");
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    if (value.isString())
        return QLatin1Char('"') + printable(value.toString()) + QLatin1Char('"');
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items << jsonText(item);
        return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    if (value.isBool())
        return QLatin1String(value.toBool() ? "true" : "false");
    return value.isNull() ? QStringLiteral("null") : tr("an object");
}

// The words for a field of the file whose value lies outside what it takes.
QString outside(const char *field, const QJsonValue &value, const QString &range)
{
    return tr("This file of saved work has %1 %2; it must be %3.")
        .arg(QLatin1String(field), jsonText(value), range);
}

// A number of o at key from least to most, whole when asked, or why not.
Expected<double> numberIn(const QJsonObject &o, const char *key, const char *field, double least, double most,
                          const QString &range, bool whole = false)
{
    const QJsonValue value = o[QLatin1String(key)];
    const double number = value.toDouble(NAN);
    if (value.isDouble() && number >= least && number <= most && (!whole || number == std::floor(number)))
        return number;
    return Expected<double>::failure(outside(field, value, range));
}

// Refused, saying in words what a path that is no regular file is; done
// for a regular file, or one that cannot be looked at.
Expected<void> checkRegular(const QString &path, FileKind kind)
{
    QString what;
    switch (kind) {
    case FileKind::Regular:
    case FileKind::Unknown:
        return {};
    case FileKind::Directory:
        what = tr("a folder");
        break;
    case FileKind::Fifo:
        what = tr("a named pipe (FIFO)");
        break;
    case FileKind::CharacterDevice:
        what = tr("a character device");
        break;
    case FileKind::BlockDevice:
        what = tr("a block device");
        break;
    case FileKind::Socket:
        what = tr("a socket");
        break;
    case FileKind::Other:
        what = tr("a special file");
        break;
    }
    return Expected<void>::failure(
        tr("%1 is %2, not a regular file; the workbench opens files of measurements and saved work only.")
            .arg(printable(path), what));
}

QJsonObject logObject(const LogFormat &f)
{
    return {{"columns", QJsonArray{f.columns[0], f.columns[1], f.columns[2]}},
            {"decimalComma", f.decimalComma},
            {"skipBadLines", f.skipBadLines},
            {"firstRow", double(f.firstRow)},
            {"lastRow", double(f.lastRow)}};
}

Expected<LogFormat> logFormat(const QJsonObject &o)
{
    const QJsonArray columns = o["columns"].toArray();
    LogFormat f;
    for (int i = 0; i < 3 && columns.size() == 3; i++)
        f.columns[size_t(i)] = columns[i].toString();
    if (columns.size() != 3 || std::any_of(f.columns.begin(), f.columns.end(), [](const QString &c) {
            return c.trimmed().isEmpty() || ColumnNumber(c) < 0;
        }))
        return Expected<LogFormat>::failure(
            outside("log.columns", o["columns"],
                    tr("three columns, numbers from 1 to %1 or header names").arg(MostColumns)));
    f.decimalComma = o["decimalComma"].toBool();
    f.skipBadLines = o["skipBadLines"].toBool();
    const QString rows = tr("a whole number from %1 to %2");
    const Expected<double> first = o.contains("firstRow")
                                       ? numberIn(o, "firstRow", "log.firstRow", 1, LastWholeNumber,
                                                  rows.arg(1).arg(LastWholeNumber, 0, 'f', 0), true)
                                       : 1.0;
    if (!first)
        return Expected<LogFormat>::failure(first.error());
    const Expected<double> last = o.contains("lastRow")
                                      ? numberIn(o, "lastRow", "log.lastRow", 0, LastWholeNumber,
                                                 rows.arg(0).arg(LastWholeNumber, 0, 'f', 0), true)
                                      : 0.0;
    if (!last)
        return Expected<LogFormat>::failure(last.error());
    if (*last != 0 && *last < *first)
        return Expected<LogFormat>::failure(
            outside("log.lastRow", o["lastRow"],
                    tr("0 for the last row, or log.firstRow (%1) or more").arg(*first, 0, 'f', 0)));
    f.firstRow = qint64(*first);
    f.lastRow = qint64(*last);
    return f;
}

// Hm and where it came from, each number within its range. The model's
// own range of heights and years is the model's to judge when it is asked.
Expected<void> readHm(const QJsonObject &hm, SavedWork &w)
{
    const auto refuse = [](const QString &why) { return Expected<void>::failure(why); };
    const QString hmRange = tr("above 0 and up to %1").arg(MaximumHm, 0, 'f', 3);
    const Expected<double> value = numberIn(hm, "value", "hm.value", 0, MaximumHm, hmRange);
    if (!value)
        return refuse(value.error());
    if (*value <= 0)
        return refuse(outside("hm.value", hm["value"], hmRange));
    w.hmValue = *value;
    w.hm.value = w.hmValue;
    w.hm.unit = hm["unit"].toString();
    if (!fieldUnits().contains(w.hm.unit))
        return refuse(outside("hm.unit", hm["unit"], tr("nT, uT, mG, G or empty")));
    const QString source = hm["source"].toString();
    if (source == QLatin1String("value"))
        return {};
    if (source != QLatin1String("model"))
        return refuse(outside("hm.source", hm["source"], tr("\"value\" or \"model\"")));
    const QString degrees = tr("from %1 to %2 degrees");
    const Expected<double> numbers[] = {
        numberIn(hm, "latitude", "hm.latitude", LowestLatitude, HighestLatitude,
                 degrees.arg(LowestLatitude).arg(HighestLatitude)),
        numberIn(hm, "longitude", "hm.longitude", LowestLongitude, HighestLongitude,
                 degrees.arg(LowestLongitude).arg(HighestLongitude)),
        numberIn(hm, "height", "hm.height", -HUGE_VAL, HUGE_VAL, tr("a number of metres"))};
    for (const Expected<double> &number : numbers)
        if (!number)
            return refuse(number.error());
    w.hm.place = Place{*numbers[0], *numbers[1], *numbers[2]};
    w.hm.date = QDate::fromString(hm["date"].toString(), Qt::ISODate);
    if (!w.hm.date.isValid())
        return refuse(outside("hm.date", hm["date"], tr("a date as YYYY-MM-DD")));
    return {};
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

Expected<void> checkRegularFile(const QString &path)
{
    return checkRegular(path, fileKindOf(path));
}

QByteArray fingerprintOf(const QString &path, const RunControl &control)
{
    QFile file;
    if (!openRegularFile(file, path).opened)
        return QByteArray();
    constexpr qint64 Block = 1 << 20;
    const double size = double(std::max<qint64>(1, file.size()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(Block, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        if (control.cancel && control.cancel->load())
            return QByteArray();
        const qint64 got = file.read(block.data(), Block);
        if (got < 0)
            return QByteArray();
        if (got == 0)
            break;
        hash.addData(QByteArrayView(block.constData(), got));
        done += got;
        if (control.progress)
            control.progress(std::min(1.0, double(done) / size), RunPhase::Reading);
    }
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

Expected<SavedWork> readSavedWork(const QByteArray &bytes)
{
    const auto fail = [](const QString &why) { return Expected<SavedWork>::failure(why); };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonObject o = document.object();
    if (error.error != QJsonParseError::NoError || o["kind"].toString() != QLatin1String(Kind))
        return fail(tr("This is not a file of saved work from Tavrin Workbench."));
    if (o["version"].toInt() != Version)
        return fail(tr("This file of saved work is of a version this workbench does not read."));
    SavedWork w;
    w.input = o["input"].toString();
    if (w.input.isEmpty())
        return fail(tr("This file of saved work names no input."));
    if (o.contains("log")) {
        const Expected<LogFormat> log = logFormat(o["log"].toObject());
        if (!log)
            return fail(log.error());
        w.log = *log;
    }
    if (const Expected<void> hm = readHm(o["hm"].toObject(), w); !hm)
        return fail(hm.error());
    const std::optional<FitModel> fit = fitModelNamed(o["fit"].toString().toLatin1().constData());
    if (!fit)
        return fail(tr("This file of saved work names a fit this workbench does not know."));
    w.fit = *fit;
    w.fingerprint = o["inputSha256"].toString().toLatin1();
    w.result = o["result"].toObject();
    return w;
}

Expected<SavedWork> readSavedWorkFile(const QString &path)
{
    const auto fail = [&](const QString &why) {
        return Expected<SavedWork>::failure(printable(path) + QStringLiteral(": ") + why);
    };
    QFile file;
    if (const FileOpening opening = openRegularFile(file, path); !opening.opened) {
        if (const Expected<void> regular = checkRegular(path, opening.kind); !regular)
            return Expected<SavedWork>::failure(regular.error());
        return fail(tr("It cannot be read (%1).").arg(opening.reason));
    }
    if (file.size() > LargestSavedWork)
        return fail(tr("It holds %1 bytes, more than saved work ever does (%2 at most).")
                        .arg(file.size())
                        .arg(LargestSavedWork));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(tr("It cannot be read (%1).").arg(file.errorString()));
    const Expected<SavedWork> saved = readSavedWork(bytes);
    if (!saved)
        return fail(saved.error());
    return saved;
}

} // namespace tavrin
