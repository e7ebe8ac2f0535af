// A .tavrin file: the work of one calibration, to open again later. The input
// and how it was read, Hm and where it came from, the fit, a fingerprint of
// the input, and under "result" the object that tavrin-cli --json prints for
// that input under files[0].
#ifndef TAVRIN_WORKBENCH_SAVEDWORK_H
#define TAVRIN_WORKBENCH_SAVEDWORK_H

#include "hmsource.h"
#include "logreader.h"
#include "pipeline.h"
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

/// Whether the workbench may open path: refused, with a message naming what
/// it is, when it is no regular file (a named pipe, a folder, a device);
/// done when it is one, or cannot be looked at (opening it then says why).
/// Only looks: never opens.
Expected<void> checkRegularFile(const QString &path);

/// SHA-256 of a regular file's bytes in hexadecimal, read in blocks with
/// control's progress told and its cancel heeded; empty when it cannot be
/// read or the reading was cancelled.
QByteArray fingerprintOf(const QString &path, const RunControl &control = {});

QByteArray savedWorkBytes(const SavedWork &work);

/// Reads a .tavrin file's bytes; or why they are not one, or hold a value
/// out of its range.
Expected<SavedWork> readSavedWork(const QByteArray &bytes);

/// Reads the .tavrin file at path; or the message, which names the file,
/// when it is no regular file, cannot be read or is refused.
Expected<SavedWork> readSavedWorkFile(const QString &path);

} // namespace tavrin

#endif
