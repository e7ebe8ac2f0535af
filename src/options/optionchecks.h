// The options that tavrin-cli and the workbench both take. Each check reads
// an option's text as given and gives its value, or the words that refuse
// it, the same in both programs; the ranges are those of the libraries the
// values belong to.
#ifndef TAVRIN_OPTIONCHECKS_H
#define TAVRIN_OPTIONCHECKS_H

#include "exportformat.h"
#include "fieldmodel.h"
#include "fitmodels.h"

#include <QString>

#include <array>
#include <optional>

namespace tavrin {

/// Why an option's text is refused; nothing when it is taken.
using OptionProblem = std::optional<QString>;

/// --hm: a number above 0 and up to MaximumHm.
OptionProblem checkHm(const QString &text, double &hm);

/// LAT,LON[,HEIGHT] of option (such as "--hm-at"), in degrees and metres,
/// the latitude and longitude within their ranges; the height is the
/// model's to judge (OutsideModel).
OptionProblem checkPlace(const QString &option, const QString &text, Place &place);

/// --date: YYYY-MM-DD, or a decimal year such as 2027.5; the model judges
/// whether it holds then (OutsideModel).
OptionProblem checkDate(const QString &text, double &year);

/// --units: nT, uT, mG or G.
OptionProblem checkUnits(const QString &text);

/// --fit: one of the fits' names.
OptionProblem checkFit(const QString &text, FitModel &fit);

/// --columns: three different column selectors, as ColumnNumber reads them;
/// option and form name another option that takes three columns alike
/// (--accel-columns, AX,AY,AZ) in the refusal.
OptionProblem checkColumns(const QString &text, std::array<QString, 3> &columns,
                           const QString &option = QStringLiteral("--columns"),
                           const QString &form = QStringLiteral("X,Y,Z"));

/// --port: a serial port, - or a well-formed tcp://HOST:PORT.
OptionProblem checkPort(const QString &text);

/// --device-id: a sensor's id, as the vehicle's parameter list shows it: a
/// whole number from 1 to MaximumDeviceId, the firmware's 0 being "none".
OptionProblem checkDeviceId(const QString &text, long long &id);

/// --system-id and --component-id (option): a MAVLink id from 1 to
/// MaximumVehicleId; 0 addresses every vehicle or component, and holds no parameter.
OptionProblem checkVehicleId(const QString &option, const QString &text, long long &id);

/// The names of the fits joined by ", " and, before the last, by last.
QString fitNames(const QString &last);

/// The words for options that cannot go together.
QString hmTwiceProblem();          ///< --hm with --hm-at
QString hmAtWithoutUnitsProblem(); ///< --hm-at without --units
QString portWithFileProblem();     ///< --port with a FILE
/// An option of a log's (such as "--decimal-comma") without --columns.
QString withoutColumnsProblem(const QString &option);

} // namespace tavrin

#endif
