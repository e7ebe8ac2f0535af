#include "clifield.h"

#include "clirun.h"
#include "fieldreport.h"
#include "fieldunit.h"
#include "printable.h"
#include "worldmodel.h"

#include <QCoreApplication>

namespace tavrin {

namespace {

// The model loaded, and the place and the date checked against its range.
struct Loaded {
    std::unique_ptr<FieldModel> model;
    std::optional<ModelProblem> problem;
};

Loaded loadFor(const Place &place, const CliOptions &o)
{
    Loaded l;
    QString why;
    l.model = LoadWorldModel(&why);
    if (!l.model) {
        l.problem = ModelProblem{why, Refused};
        return l;
    }
    const QString when = o.date.isEmpty() ? QStringLiteral("today") : printable(o.date);
    if (const std::optional<QString> outside = OutsideModel(*l.model, place, o.year, when))
        l.problem = ModelProblem{*outside, WrongCommandLine};
    return l;
}

} // namespace

int printFieldAt(const CliOptions &o, Stream &out, Stream &err)
{
    const Loaded l = loadFor(*o.fieldAt, o);
    if (l.problem) {
        err.write(QCoreApplication::applicationName().toUtf8() + ": " + l.problem->message.toUtf8() + '\n');
        return l.problem->exitStatus;
    }
    out.write(o.json ? FieldJson(*l.model, *o.fieldAt, o.year) : FieldText(*l.model, *o.fieldAt, o.year));
    return Calibrated;
}

std::optional<ModelProblem> takeHmFromModel(CliOptions &o)
{
    const Loaded l = loadFor(*o.hmAt, o);
    if (l.problem)
        return l.problem;
    o.hmSource.model = l.model->name();
    const Field field = l.model->at(*o.hmAt, o.year);
    o.hmSource.fieldNt = field.F;
    o.hmSource.inclinationDegrees = field.I;
    o.hm = o.hmSource.fieldNt / fieldUnitInNt(o.hmSource.units);
    return std::nullopt;
}

QByteArray hmSourceLine(const CliOptions &o)
{
    return HmSourceLine(o.hm, o.hmSource, *o.hmAt, o.year);
}

} // namespace tavrin
