// The World Magnetic Model that Tavrin carries: where its files are, in the
// build tree and once installed, and whether a place and a date lie within it.
#ifndef TAVRIN_WORLDMODEL_H
#define TAVRIN_WORLDMODEL_H

#include "fieldmodel.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace tavrin {

/// The folders searched for the model's files, in order: the data folder
/// installed beside the program (<prefix>/share/tavrin/magnetic for
/// <prefix>/bin), then the build tree's, which every binary of the build finds.
QStringList ModelFolders();

/// The model loaded from the first of ModelFolders that holds it, or why
/// none does.
Expected<std::shared_ptr<const FieldModel>> loadWorldModel();

/// Whether the model holds at place on the decimal year; when it does not,
/// why, naming the year as when ("today", "2031-01-01").
Expected<void> checkModelHolds(const FieldModel &model, const Place &place, double year, const QString &when);

} // namespace tavrin

#endif
