// The options that tavrin-cli and tavrin-workbench share, declared once: their
// names and words, and how a parsed command line gives their values or the
// words that refuse them, so that both programs read and refuse them alike.
#ifndef TAVRIN_SHAREDOPTIONS_H
#define TAVRIN_SHAREDOPTIONS_H

#include "expected.h"
#include "fieldmodel.h"
#include "fitmodels.h"
#include "logreader.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <initializer_list>
#include <optional>

namespace tavrin {

/// The exit status of a refused command line, in both programs.
constexpr int WrongCommandLineStatus = 64;

namespace option {
extern const QCommandLineOption help, version, hm, hmAt, units, date, columns, decimalComma, skipBadLines,
    fit, port;
} // namespace option

/// A refused command line as a program words it after its name: the
/// problem, then where its help is.
QString commandLineRefusal(const QString &problem);

/// What the World Magnetic Model is asked for: the place of --hm-at, the
/// unit of --units and the date of --date.
struct ModelOptions {
    std::optional<Place> hmAt;
    QString units;     ///< as given; empty when not
    QString date;      ///< as given; empty for today
    double year = 0.0; ///< the decimal year of the date, or of today (UTC)
};

/// --hm-at, --units and --date, each checked; then --hm-at is refused beside
/// --hm and without --units.
Expected<ModelOptions> readModelOptions(const QCommandLineParser &parser);

/// --hm's value; nothing when it is not given.
Expected<std::optional<double>> readHm(const QCommandLineParser &parser);

/// --columns with --decimal-comma and --skip-bad-lines, as a log's format;
/// nothing without --columns. logOnly are the options that shape how a log
/// is read, refused in their order when given without --columns.
Expected<std::optional<LogFormat>> readLogFormat(const QCommandLineParser &parser,
                                                 std::initializer_list<const QCommandLineOption *> logOnly);

/// --fit's model; nothing when it is not given.
Expected<std::optional<FitModel>> readFit(const QCommandLineParser &parser);

/// --port's source, refused beside a file to read; empty when not given.
Expected<QString> readPort(const QCommandLineParser &parser, bool withFile);

} // namespace tavrin

#endif
