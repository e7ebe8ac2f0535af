// A .tavrin file: the work of one calibration, to open again later. The input
// and how it was read, Hm and where it came from, the fit, a fingerprint of
// the input, and under "result" the object that tavrin-cli --json prints for
// that input under files[0].
#ifndef TAVRIN_WORKBENCH_SAVEDWORK_H
#define TAVRIN_WORKBENCH_SAVEDWORK_H

#include "hmsource.h"
#include "logreader.h"
#include "robustfit.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tavrin {

struct SavedWork {
    QString input; ///< the measurements' path, absolute
    std::optional<LogFormat> log;
    HmSource hm;
    double hmValue = 0.0; ///< the Hm calibrated with, wherever it came from
    FitModel fit = FitModel::Auto;
    QByteArray fingerprint; ///< SHA-256 of the input's bytes, hexadecimal
    QJsonObject result;
};

/// SHA-256 of a file's bytes in hexadecimal; empty when it cannot be read.
QByteArray fingerprintOf(const QString &path);

QByteArray savedWorkBytes(const SavedWork &work);

/// Reads a .tavrin file's bytes; empty with the problem when they are not one.
std::optional<SavedWork> readSavedWork(const QByteArray &bytes, QString *problem);

} // namespace tavrin

#endif
