// The World Magnetic Model that Tavrin carries: where its files are, in the
// build tree and once installed, and whether a place and a date lie within it.
#ifndef TAVRIN_WORLDMODEL_H
#define TAVRIN_WORLDMODEL_H

#include "fieldmodel.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tavrin {

/// The folders searched for the model's files, in order: the data folder
/// installed beside the program (<prefix>/share/tavrin/magnetic for
/// <prefix>/bin), then the build tree's, which every binary of the build finds.
QStringList ModelFolders();

/// The model loaded from the first of ModelFolders that holds it; empty,
/// with why in *why, when none does.
std::unique_ptr<FieldModel> LoadWorldModel(QString *why);

/// Why the model does not hold at place on the decimal year, which the
/// message names as when ("today", "2031-01-01"); empty when it holds.
std::optional<QString> OutsideModel(const FieldModel &model, const Place &place, double year,
                                    const QString &when);

} // namespace tavrin

#endif
