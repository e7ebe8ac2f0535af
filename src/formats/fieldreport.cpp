#include "fieldreport.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin {

namespace {

QString whereAndWhen(const Place &p, double year)
{
    return QStringLiteral("latitude %1, longitude %2, height %3 m, decimal year %4")
        .arg(p.latitude)
        .arg(p.longitude)
        .arg(p.height)
        .arg(year, 0, 'f', 3);
}

QString component(const char *symbol, const char *name, double value, int decimals, const char *unit)
{
    return QStringLiteral("  %1  %2%3 %4\n")
        .arg(QLatin1String(symbol), QString::fromLatin1(name).leftJustified(17))
        .arg(value, 10, 'f', decimals)
        .arg(QLatin1String(unit));
}

} // namespace

QByteArray FieldText(const FieldModel &model, const Place &p, double year)
{
    const Field f = model.at(p, year);
    return (model.name() + QStringLiteral(" at ") + whereAndWhen(p, year) + '\n' +
            component("F", "total intensity", f.F, 1, "nT") + component("H", "horizontal", f.H, 1, "nT") +
            component("X", "north", f.X, 1, "nT") + component("Y", "east", f.Y, 1, "nT") +
            component("Z", "down", f.Z, 1, "nT") + component("D", "declination", f.D, 2, "degrees") +
            component("I", "inclination", f.I, 2, "degrees"))
        .toUtf8();
}

QByteArray FieldJson(const FieldModel &model, const Place &p, double year)
{
    const Field f = model.at(p, year);
    const QJsonObject document{{"model", model.name()},
                               {"latitude", p.latitude},
                               {"longitude", p.longitude},
                               {"height", p.height},
                               {"decimalYear", year},
                               {"F", f.F},
                               {"H", f.H},
                               {"X", f.X},
                               {"Y", f.Y},
                               {"Z", f.Z},
                               {"D", f.D},
                               {"I", f.I}};
    return QJsonDocument(document).toJson();
}

QByteArray HmSourceLine(double hm, const HmFromModel &source, const Place &place, double year)
{
    return QStringLiteral("Hm %1 %2: the total intensity of %3 at %4 (F = %5 nT)\n\n")
        .arg(hm, 0, 'g', 9)
        .arg(source.units, source.model, whereAndWhen(place, year))
        .arg(source.fieldNt, 0, 'f', 1)
        .toUtf8();
}

} // namespace tavrin
