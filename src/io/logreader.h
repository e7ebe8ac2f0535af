// Reading sensor logs as they come from robots, drones, phones and IMUs: a
// header, commas, semicolons or tabs, quoted fields, time and other columns,
// comments; the three magnetometer columns are named by the user.
#ifndef TAVRIN_LOGREADER_H
#define TAVRIN_LOGREADER_H

#include "rawdata.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace tavrin {

enum class Delimiter { Detect, Comma, Semicolon, Tab, Space };

/// "comma", "semicolon", "tab" or "space" ("detect" before detection).
QString delimiterName(Delimiter delimiter);

struct LogFormat {
    /// The x, y and z columns: 1-based numbers, or names of header fields.
    std::array<QString, 3> columns;
    Delimiter delimiter = Delimiter::Detect;
    bool decimalComma = false; ///< "1,5" is 1.5; the delimiter is then no comma
    bool skipBadLines = false; ///< skip and count bad data rows instead of refusing the file
    qint64 firstRow = 1;       ///< the data rows kept, 1-based, counted after the header...
    qint64 lastRow = 0;        ///< ...to this one; 0 for the last
};

/// How a log was read, for the report.
struct LogInput {
    static constexpr int MaxHeaderLines = 100;
    static constexpr int ShownSkippedLines = 5;

    Delimiter delimiter = Delimiter::Detect;
    std::array<int, 3> columns = {0, 0, 0}; ///< 1-based
    std::array<QString, 3> names;           ///< their header fields; empty without a header
    QStringList header;                     ///< the fields of the last header line
    int headerLines = 0;
    qint64 commentLines = 0;
    qint64 skippedLines = 0;
    qint64 rows = 0; ///< data rows kept
    struct Skipped {
        qint64 line;
        QString text;
    };
    QList<Skipped> firstSkipped; ///< the first ShownSkippedLines rows skipped
};

/// Reads the log at filename ("-" for standard input). Besides the outcomes
/// of ReadRawData: ColumnsNotFound when a name selects no header field, or
/// several (the reason lists the header's fields), and TooManyHeaderLines.
/// Cancelled when control cancels it.
RawData ReadLog(const QString &filename, const LogFormat &format, LogInput &input,
                const WorkControl &control = WorkControl());

/// The same on bytes already read.
RawData ParseLog(const QByteArray &bytes, const LogFormat &format, LogInput &input);

/// The fields of the first lines of a file that the strict reader refused,
/// when it looks like a log: "1 time, 2 mx, ..." and an example --columns;
/// empty otherwise.
QString LogHint(const QString &filename);

} // namespace tavrin

#endif
