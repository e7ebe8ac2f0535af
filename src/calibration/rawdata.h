// Reading the raw measurement file: one point per line, x, y and z
// separated by single tabs or spaces.
#ifndef TAVRIN_RAWDATA_H
#define TAVRIN_RAWDATA_H

#include "nr3.h"

#include <QByteArray>
#include <QString>

enum class RawDataStatus { Loaded, CannotOpen, BadFormat, TooManyLines };

/// Whether reading writes one newline to standard output per line read.
enum class LineEcho { None, Newlines };

struct RawData {
    static constexpr int Capacity = 500000;

    RawDataStatus status = RawDataStatus::Loaded;
    MatDoub Mag{0, 3};     ///< rows 0 to numLines - 1 hold the points; grows up to Capacity rows
    int numLines = 0;      ///< points loaded (blank lines are no points)
    int linesRead = 0;     ///< lines of the file read before the end or the offending line
    int badLineNumber = 0; ///< 1-based line of a BadFormat or TooManyLines outcome
    QString badLine;       ///< that line's text, without its terminator
};

/// Splits the bytes of a raw measurement file. A line must hold exactly three
/// finite numbers, a single separator after the third is allowed; blank lines
/// are skipped; "\n" and "\r\n" end a line; a leading UTF-8 byte-order mark is
/// ignored.
RawData ParseRawData(const QByteArray &bytes);

/// Reads and splits the file at filename; CannotOpen when it cannot be opened
/// for reading.
RawData ReadRawData(const QString &filename, LineEcho echo = LineEcho::None);

#endif
