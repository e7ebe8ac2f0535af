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
#include <memory>
#include <optional>

namespace tavrin {

class LineSink;

enum class Delimiter { Detect, Comma, Semicolon, Tab, Space };

/// "comma", "semicolon", "tab" or "space" ("detect" before detection).
QString delimiterName(Delimiter delimiter);

/// Columns are numbered from 1 to this. A log with more fields is read, but
/// only its first MostColumns fields can be selected by number.
constexpr int MostColumns = 1000;

/// The one rule for a column selector: ASCII digits only are a number, which
/// selects a column when it lies from 1 to MostColumns (and is returned);
/// other digits are no column at all (-1 is returned). Anything else, a
/// full-width digit included, is the name of a header field (0 is returned).
int ColumnNumber(const QString &selector);

struct LogFormat {
    /// The x, y and z columns: selectors as ColumnNumber reads them.
    std::array<QString, 3> columns;
    /// The accelerometer's x, y and z columns, the same way; empty when the
    /// log is read for the magnetometer alone.
    std::array<QString, 3> accelColumns;
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

    /// What would read a refused log: numbers written with decimal commas, or
    /// data rows whose selected fields are empty or no numbers.
    enum class Remedy { None, DecimalComma, SkipBadLines };

    Delimiter delimiter = Delimiter::Detect;
    Remedy remedy = Remedy::None;
    /// 1-based: the magnetometer's x, y and z, then the accelerometer's (0 when not read).
    std::array<int, 6> columns = {0, 0, 0, 0, 0, 0};
    std::array<QString, 6> names; ///< their header fields; empty without a header
    QStringList header;           ///< the fields of the last header line
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

/// Reads the log at filename ("-" for standard input). The header is the
/// lines before the first row whose selected fields are numbers; a line with
/// three numbers or more is a row whatever its selected fields hold. Besides
/// the outcomes of ReadRawData: ColumnsNotFound when a name selects no header
/// field, or several (the reason lists the header's fields), when two
/// columns are one, or a column lies beyond a row's fields;
/// TooManyHeaderLines; and Cancelled when control cancels it.
RawData ReadLog(const QString &filename, const LogFormat &format, LogInput &input,
                const WorkControl &control = WorkControl());

/// The same on bytes already read.
RawData ParseLog(const QByteArray &bytes, const LogFormat &format, LogInput &input);

/// The reader of ReadLog as a sink that takes lines as they come, for a
/// source read live; its points go to data.
std::unique_ptr<LineSink> makeLogSink(RawData &data, const LogFormat &format, LogInput &input);

/// The x, y and z columns (1-based) to propose for a log of fieldCount
/// fields under header (empty without one). By name first, case aside, a
/// name being an axis letter after a prefix, with separators and a unit in
/// brackets around it ("mag_x", "MX", "Bz [uT]"): the last three named x, y
/// and z after a magnetometer word (m, mag, magnetometer, compass, b, h,
/// field), else three named x, y and z alone, else after any prefix but an
/// accelerometer's or a gyroscope's. Without such names, the last three
/// columns that no name marks as a time, a date, an index or a count.
std::array<int, 3> ProposedColumns(const QStringList &header, int fieldCount);

/// What the first lines of a file that the strict reader refused say of it
/// when it looks like a log.
struct LogGuess {
    QString fields;                      ///< its header's fields, "1 time, 2 mx, ..."; empty without a header
    std::array<int, 3> columns{1, 2, 3}; ///< 1-based: the x, y and z columns to try, ProposedColumns
};

/// The guess for a file that looks like a log; empty for any other.
std::optional<LogGuess> GuessLog(const QString &filename);

} // namespace tavrin

#endif
