#include "startoptions.h"
#include "printable.h"
#include "sharedoptions.h"
#include "worldmodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StartOptions", text);
}

// The model holds at the place and in the year asked for, as tavrin-cli
// says, when names the year as given ("today" when not).
Expected<void> checkModelHoldsAsAsked(const Place &place, double year, const QString &when)
{
    const Expected<std::shared_ptr<const FieldModel>> model = loadWorldModel();
    if (!model)
        return Expected<void>::failure(model.error());
    return checkModelHolds(**model, place, year, when);
}

// Hm as the options give it, a value or the model's field at a place, in
// their unit; nothing when neither is given.
std::optional<HmSource> hmSource(std::optional<double> hm, const ModelOptions &model)
{
    if (!hm && !model.hmAt)
        return std::nullopt;
    HmSource s;
    s.value = hm.value_or(0.0);
    s.unit = model.units;
    s.place = model.hmAt;
    // A decimal year is taken at the day it falls in, as the date box shows it.
    s.date = model.date.isEmpty() ? QDate() : dayOfDecimalYear(model.year);
    return s;
}

} // namespace

QString startHelp()
{
    return tr("Usage: tavrin-workbench [--hm VALUE [--units U] | --hm-at LAT,LON[,H] [--date D] --units U]\n"
              "                        [--columns X,Y,Z [--decimal-comma] [--skip-bad-lines]] [--fit MODEL]\n"
              "                        [FILE | FILE.tavrin | --port PATH]\n"
              "Calibrates a tri-axis magnetometer in a window: opens FILE, calibrates it and shows the\n"
              "points, the verdict and the results, h_cal = A^-1 (h - b).\n"
              "\n"
              "  --hm VALUE          Hm, the Earth field norm, in the unit of the measurements.\n"
              "  --units U           The unit of the measurements: nT, uT, mG or G.\n"
              "  --hm-at LAT,LON[,H] Hm from the World Magnetic Model at a place (degrees, metres).\n"
              "  --date D            The date for the model, YYYY-MM-DD or a decimal year such as\n"
              "                      2027.5 (the day it falls in); today by default.\n"
              "  --columns X,Y,Z     Read FILE as a log: the x, y and z columns, numbers or names.\n"
              "  --decimal-comma     The log writes 1,5 for 1.5.\n"
              "  --skip-bad-lines    Skip the log's bad lines instead of refusing it.\n"
              "  --fit MODEL         exact, full, diagonal, sphere, planar or auto (the default).\n"
              "  --port PATH         Capture live from a serial port, tcp://host:port or - (standard\n"
              "                      input), shown as it fills in; Stop calibrates the recording.\n"
              "  -h, --help          Show this help.\n"
              "  -v, --version       Show the version.\n");
}

Expected<StartOptions> parseStartOptions(const QStringList &arguments)
{
    using Parsed = Expected<StartOptions>;
    QCommandLineParser parser;
    parser.addOptions({option::hm, option::units, option::hmAt, option::date, option::columns,
                       option::decimalComma, option::skipBadLines, option::fit, option::port});
    const auto refuse = [](const QString &why) { return Parsed::failure(commandLineRefusal(why)); };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return refuse(tr("The workbench opens one file at a time."));
    // In tavrin-cli's order, so that a command line wrong twice is refused for the same fault.
    const Expected<ModelOptions> model = readModelOptions(parser);
    if (!model)
        return refuse(model.error());
    const Expected<std::optional<LogFormat>> log =
        readLogFormat(parser, {&option::decimalComma, &option::skipBadLines});
    if (!log)
        return refuse(log.error());
    const Expected<QString> port = readPort(parser, !files.isEmpty());
    if (!port)
        return refuse(port.error());
    const Expected<std::optional<double>> hm = readHm(parser);
    if (!hm)
        return refuse(hm.error());
    const Expected<std::optional<FitModel>> fit = readFit(parser);
    if (!fit)
        return refuse(fit.error());
    if (model->hmAt || !model->date.isEmpty())
        if (const Expected<void> holds = checkModelHoldsAsAsked(
                model->hmAt.value_or(Place{}), model->year,
                model->date.isEmpty() ? QStringLiteral("today") : printable(model->date));
            !holds)
            return Parsed::failure(holds.error());
    StartOptions o;
    o.file = files.value(0);
    o.port = *port;
    o.log = *log;
    o.fit = *fit;
    o.hm = hmSource(*hm, *model);
    return o;
}

} // namespace tavrin
