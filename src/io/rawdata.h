// Reading the raw measurement file: one point per line, x, y and z
// separated by single tabs or spaces.
#ifndef TAVRIN_RAWDATA_H
#define TAVRIN_RAWDATA_H

#include "points.h"
#include "workcontrol.h"

#include <QByteArray>
#include <QString>

namespace tavrin {

enum class RawDataStatus {
    Loaded,
    CannotOpen,
    ReadError,
    BadFormat,
    TooManyLines,
    ColumnsNotFound,    ///< logs: a column name selects no header field, or several
    TooManyHeaderLines, ///< logs: no data within the first lines
    Cancelled,          ///< reading was cancelled: what was read is not the whole input
};

struct RawData {
    static constexpr int Capacity = 500000;
    /// Blank lines hold no points but cost time: a file is refused beyond
    /// this many lines or bytes, so that an endless stream of them ends.
    static constexpr qint64 MaxLines = 100000000;
    static constexpr qint64 MaxBytes = qint64(2) << 30;
    /// Characters of an offending line kept for messages; a longer one ends in "…".
    static constexpr int ShownLineLength = 80;

    RawDataStatus status = RawDataStatus::Loaded;
    /// Rows 0 to numLines - 1 hold the points; a few thousand rows more than Capacity at most.
    MatDoub Mag{0, 3};
    /// A log read with accelerometer columns: its readings, row k beside the
    /// point of row k, rows 0 to numLines - 1; no rows otherwise.
    MatDoub Accel{0, 3};
    int numLines = 0;         ///< points loaded (blank lines are no points)
    qint64 linesRead = 0;     ///< lines of the file read before the end or the offending line
    qint64 badLineNumber = 0; ///< 1-based line of a BadFormat or TooManyLines outcome
    QString badLine;          ///< that line's text, without its terminator, cut for messages
    QString reason; ///< the system's reason for CannotOpen or ReadError; what is wrong with the columns

    Points points() const { return {Mag, numLines}; }
};

/// Splits the bytes of a raw measurement file. A line must hold exactly three
/// finite numbers, a single separator after the third is allowed; blank lines
/// are skipped; "\n" and "\r\n" end a line; a leading UTF-8 byte-order mark is
/// ignored.
RawData ParseRawData(const QByteArray &bytes);

/// Reads and splits the file at filename ("-" for standard input); CannotOpen when it cannot be opened
/// for reading, ReadError when reading fails before its end, each with the
/// system's reason; Cancelled when control cancels it between two chunks,
/// whose progress is the share of the file read when its size is known.
RawData ReadRawData(const QString &filename, const WorkControl &control = WorkControl());

/// How an input is named in messages and reports: "<stdin>" for "-".
QString displayName(const QString &path);

} // namespace tavrin

#endif
