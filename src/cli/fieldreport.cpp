#include "fieldreport.h"

#include "clirun.h"
#include "printable.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrin {

namespace {

const QString modelName = QStringLiteral("wmm2025");

// Next to the program (the build), then the installed data folder.
QStringList modelFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {QDir(program).filePath(QStringLiteral("magnetic")),
            QDir::cleanPath(program + QStringLiteral("/../share/tavrin/magnetic"))};
}

QString whereAndWhen(const Place &p, double year)
{
    return QStringLiteral("latitude %1, longitude %2, height %3 m, decimal year %4")
        .arg(p.latitude)
        .arg(p.longitude)
        .arg(p.height)
        .arg(year, 0, 'f', 3);
}

// The model loaded, and the place and the date checked against its range.
struct Loaded {
    std::unique_ptr<FieldModel> model;
    std::optional<ModelProblem> problem;
};

Loaded loadFor(const Place &place, const CliOptions &o)
{
    Loaded l;
    QString why;
    l.model = FieldModel::load(modelName, modelFolders(), &why);
    if (!l.model) {
        l.problem = ModelProblem{why, Refused};
        return l;
    }
    const FieldModel &m = *l.model;
    const QString when = o.date.isEmpty() ? QStringLiteral("today") : printable(o.date);
    if (o.year < m.firstYear() || o.year >= m.endYear())
        l.problem = ModelProblem{QStringLiteral("%1 is valid from %2-01-01 to %3-12-31, and %4 is not in it.")
                                     .arg(m.name())
                                     .arg(int(m.firstYear()))
                                     .arg(int(m.endYear()) - 1)
                                     .arg(when),
                                 WrongCommandLine};
    else if (place.height < m.lowestHeight() || place.height > m.highestHeight())
        l.problem =
            ModelProblem{QStringLiteral("%1 holds from %2 to %3 m above the WGS84 ellipsoid, not at %4 m.")
                             .arg(m.name())
                             .arg(m.lowestHeight())
                             .arg(m.highestHeight())
                             .arg(place.height),
                         WrongCommandLine};
    return l;
}

QString component(const char *symbol, const char *name, double value, int decimals, const char *unit)
{
    return QStringLiteral("  %1  %2%3 %4\n")
        .arg(QLatin1String(symbol), QString::fromLatin1(name).leftJustified(17))
        .arg(value, 10, 'f', decimals)
        .arg(QLatin1String(unit));
}

} // namespace

int printFieldAt(const CliOptions &o, Stream &out, Stream &err)
{
    const Loaded l = loadFor(*o.fieldAt, o);
    if (l.problem) {
        err.write(QCoreApplication::applicationName().toUtf8() + ": " + l.problem->message.toUtf8() + '\n');
        return l.problem->exitStatus;
    }
    const Place &p = *o.fieldAt;
    const Field f = l.model->at(p, o.year);
    if (o.json) {
        const QJsonObject document{{"model", l.model->name()},
                                   {"latitude", p.latitude},
                                   {"longitude", p.longitude},
                                   {"height", p.height},
                                   {"decimalYear", o.year},
                                   {"F", f.F},
                                   {"H", f.H},
                                   {"X", f.X},
                                   {"Y", f.Y},
                                   {"Z", f.Z},
                                   {"D", f.D},
                                   {"I", f.I}};
        out.write(QJsonDocument(document).toJson());
        return Calibrated;
    }
    out.write((l.model->name() + QStringLiteral(" at ") + whereAndWhen(p, o.year) + '\n' +
               component("F", "total intensity", f.F, 1, "nT") + component("H", "horizontal", f.H, 1, "nT") +
               component("X", "north", f.X, 1, "nT") + component("Y", "east", f.Y, 1, "nT") +
               component("Z", "down", f.Z, 1, "nT") + component("D", "declination", f.D, 2, "degrees") +
               component("I", "inclination", f.I, 2, "degrees"))
                  .toUtf8());
    return Calibrated;
}

std::optional<ModelProblem> takeHmFromModel(CliOptions &o)
{
    const Loaded l = loadFor(*o.hmAt, o);
    if (l.problem)
        return l.problem;
    o.hmSource.model = l.model->name();
    o.hmSource.fieldNt = l.model->at(*o.hmAt, o.year).F;
    o.hm = o.hmSource.fieldNt / fieldUnitInNt(o.hmSource.units);
    return std::nullopt;
}

QByteArray hmSourceLine(const CliOptions &o)
{
    return QStringLiteral("Hm %1 %2: the total intensity of %3 at %4 (F = %5 nT)\n\n")
        .arg(o.hm, 0, 'g', 9)
        .arg(o.hmSource.units, o.hmSource.model, whereAndWhen(*o.hmAt, o.year))
        .arg(o.hmSource.fieldNt, 0, 'f', 1)
        .toUtf8();
}

} // namespace tavrin
