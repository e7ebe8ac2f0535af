#include "clifield.h"

#include "clirun.h"
#include "fieldreport.h"
#include "fieldunit.h"
#include "printable.h"
#include "worldmodel.h"

#include <QCoreApplication>

namespace tavrin {

namespace {

// The model loaded, and the place and the date checked against its range;
// without a model, the exit status that refuses them.
struct Loaded {
    std::shared_ptr<const FieldModel> model;
    int status = Calibrated;
};

Loaded loadFor(const Place &place, const CliOptions &o, Stream &err)
{
    const auto refuse = [&err](const QString &why, int status) {
        err.write(QCoreApplication::applicationName().toUtf8() + ": " + why.toUtf8() + '\n');
        return Loaded{nullptr, status};
    };
    const Expected<std::shared_ptr<const FieldModel>> model = loadWorldModel();
    if (!model)
        return refuse(model.error(), Refused);
    const QString when = o.date.isEmpty() ? QStringLiteral("today") : printable(o.date);
    if (const Expected<void> holds = checkModelHolds(**model, place, o.year, when); !holds)
        return refuse(holds.error(), WrongCommandLine);
    return Loaded{*model};
}

} // namespace

int printFieldAt(const CliOptions &o, Stream &out, Stream &err)
{
    const Loaded l = loadFor(*o.fieldAt, o, err);
    if (!l.model)
        return l.status;
    out.write(o.json ? FieldJson(*l.model, *o.fieldAt, o.year) : FieldText(*l.model, *o.fieldAt, o.year));
    return Calibrated;
}

int takeHmFromModel(CliOptions &o, Stream &err)
{
    const Loaded l = loadFor(*o.hmAt, o, err);
    if (!l.model)
        return l.status;
    o.hmSource.model = l.model->name();
    const Field field = l.model->at(*o.hmAt, o.year);
    o.hmSource.fieldNt = field.F;
    o.hmSource.inclinationDegrees = field.I;
    o.hm = o.hmSource.fieldNt / fieldUnitInNt(o.hmSource.units);
    return Calibrated;
}

QByteArray hmSourceLine(const CliOptions &o)
{
    return HmSourceLine(o.hm, o.hmSource, *o.hmAt, o.year);
}

} // namespace tavrin
