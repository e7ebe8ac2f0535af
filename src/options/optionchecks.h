// The values of the options that tavrin-cli and the workbench both take. Each
// check reads an option's text as given and gives its value, or the words that
// refuse it, the same in both programs and in the workbench's dialogs; the
// ranges are those of the libraries the values belong to.
#ifndef TAVRIN_OPTIONCHECKS_H
#define TAVRIN_OPTIONCHECKS_H

#include "expected.h"
#include "exportformat.h"
#include "fieldmodel.h"
#include "fitmodels.h"

#include <QString>

#include <array>

namespace tavrin {

/// --hm: a number above 0 and up to MaximumHm.
Expected<double> checkHm(const QString &text);

/// LAT,LON[,HEIGHT] of option (such as "--hm-at"), in degrees and metres,
/// the latitude and longitude within their ranges; the height is the
/// model's to judge (checkModelHolds).
Expected<Place> checkPlace(const QString &option, const QString &text);

/// --date: YYYY-MM-DD, or a decimal year such as 2027.5, as the decimal
/// year; the model judges whether it holds then (checkModelHolds).
Expected<double> checkDate(const QString &text);

/// --units: nT, uT, mG or G.
Expected<QString> checkUnits(const QString &text);

/// --fit: one of the fits' names.
Expected<FitModel> checkFit(const QString &text);

/// --columns: three different column selectors, as ColumnNumber reads them;
/// option and form name another option that takes three columns alike
/// (--accel-columns, AX,AY,AZ) in the refusal.
Expected<std::array<QString, 3>> checkColumns(const QString &text,
                                              const QString &option = QStringLiteral("--columns"),
                                              const QString &form = QStringLiteral("X,Y,Z"));

/// --port: a serial port, - or a well-formed tcp://HOST:PORT.
Expected<QString> checkPort(const QString &text);

/// --device-id: a sensor's id, as the vehicle's parameter list shows it: a
/// whole number from 1 to MaximumDeviceId, the firmware's 0 being "none".
Expected<long long> checkDeviceId(const QString &text);

/// --system-id and --component-id (option): a MAVLink id from 1 to
/// MaximumVehicleId; 0 addresses every vehicle or component, and holds no parameter.
Expected<long long> checkVehicleId(const QString &option, const QString &text);

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
