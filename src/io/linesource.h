// What the strict reader and the log reader share: reading a file or
// standard input in bounded blocks, cutting it into lines, counting them,
// filling the point table and refusing a line. A large file is read by two
// threads, each from its own half, split at a line end.
#ifndef TAVRIN_LINESOURCE_H
#define TAVRIN_LINESOURCE_H

#include "rawdata.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>

namespace tavrin {

/// A field that is one whole, finite number in the C locale's syntax, with an
/// optional leading '+'.
bool parseNumber(const char *begin, const char *end, double &value);

/// A line as messages show it: decoded, cut to RawData::ShownLineLength
/// characters with "…" where it goes on.
QString shownLine(const char *begin, const char *end);

/// Where the line after the line end at p ('\n', or '\r' where it ends a
/// line) begins, or nullptr when the bytes before end cannot tell yet. A
/// line feed ends a line, with the carriage return before it; CR CR LF, a
/// CR LF that a text-mode file wrote once more, ends one line too, as an
/// editor that reads the file as a DOS one shows it; any other carriage
/// return ends a line alone.
inline const char *afterLineEnd(const char *p, const char *end)
{
    if (*p++ == '\n')
        return p;
    if (p == end)
        return nullptr;
    if (*p != '\r')
        return p + (*p == '\n');
    if (p + 1 == end)
        return nullptr;
    return p[1] == '\n' ? p + 2 : p;
}

/// Receives the lines of one input, in order, each without its terminator.
class LineSink {
public:
    /// size: the input's size in bytes when known, to size the point table once.
    /// crEndsLine: a lone carriage return ends a line too.
    LineSink(RawData &data, qint64 size, bool crEndsLine);
    virtual ~LineSink() = default;
    LineSink(const LineSink &) = delete;
    LineSink &operator=(const LineSink &) = delete;

    /// Takes the lines in [begin, end); the last one need not be terminated.
    /// A UTF-8 byte-order mark at the very start is dropped. False once
    /// reading must stop.
    bool lines(const char *begin, const char *end);

    /// After the last line; false when the input is refused as a whole.
    virtual bool finish() { return true; }

    /// Refuses the input at the line [begin, end), numbered lineNumber
    /// (the next line to be counted when 0). Always false.
    bool fail(RawDataStatus status, const char *begin, const char *end, qint64 lineNumber = 0);

    bool crEndsLine() const { return splitAtCr; }

    /// A sink in this one's state that reads, into its own data, lines that
    /// come later in the input, whatever lies between: possible once lines
    /// no longer change how the next ones are read (a log's header and
    /// delimiter are known). Empty until then.
    virtual std::unique_ptr<LineSink> continuation(RawData &) const { return nullptr; }

    /// Makes the table, still empty, hold this many points before it grows.
    void reserve(qint64 points);

    /// The rows of the table after the last point.
    struct Rows {
        double *first;
        int count;
    };
    Rows spareRows() const { return {nextRow(), tableRows - data.numLines}; }

    /// Fills, while still empty, rows of another sink's table, where its
    /// points stay once that sink appends them; beyond them, it grows a
    /// table of its own.
    void fillLent(Rows rows);

    /// Takes over the points and lines of later, read after this one's:
    /// moved down in this one's table when later filled rows of it lent
    /// after this one's last point, or copied from later's own table, whose
    /// pages go back to the system as they are copied.
    void append(LineSink &later);

    /// Says that this sink's lines begin in the middle of the input, where
    /// a byte-order mark is no mark.
    void startsMidInput() { atStart = false; }

    /// Adds what a continuation (the first argument) counted beyond points
    /// and lines; its line numbers follow this many lines of this one's.
    virtual void addCounts(const LineSink &, qint64) {}

protected:
    /// One line; false to stop reading (after fail).
    virtual bool line(const char *begin, const char *end, qint64 lineNumber) = 0;

    /// The quick way through the plain lines that make up nearly every file:
    /// takes the whole lines from begin on, each with its terminator, that
    /// it can take at once, as line would, and returns where it stopped: at
    /// the first line it leaves to line, or when the lines or the points
    /// reach what plainLineRoom and plainPointRoom allow.
    virtual const char *plainLines(const char *begin, const char *) { return begin; }

    /// The lines and points that plainLines may add without a check.
    qint64 plainLineRoom() const { return RawData::MaxLines - data.linesRead; }
    int plainPointRoom() const { return std::min(tableRows, int(RawData::Capacity)) - data.numLines; }

    /// Where the next point goes.
    double *nextRow() const { return table + 3 * size_t(data.numLines); }

    /// Appends a point; refuses the input past the table's capacity.
    bool store(const double point[3], const char *begin, const char *end, qint64 lineNumber);

    RawData &data;

private:
    void growTo(int rows);

    // data.Mag, or rows of another sink's table lent to this one.
    double *table = nullptr;
    int tableRows = 0;
    bool lent = false;

    bool atStart = true;
    bool splitAtCr;
    bool afterCr = false; ///< the last line ended with a carriage return: a line feed next belongs to it
};

/// Opens filename for reading, "-" meaning standard input; on failure data
/// holds CannotOpen and the reason.
bool openInput(const QString &filename, QFile &file, RawData &data);

/// Reads the open file of size bytes (0 when not known) to its end into
/// sink; a read error is ReadError, a cancel by control Cancelled. A file of
/// known size beyond a few blocks is read by two of control's threads when
/// it has two: the outcome is the same, down to the line of a fault.
/// makeSink makes a sink into data, emptied; a second one when the file
/// must be read again from its start.
void readInto(QFile &file, qint64 size, const std::function<std::unique_ptr<LineSink>()> &makeSink,
              RawData &data, const WorkControl &control);

/// Reads filename ("-": standard input) through the sink that
/// makeSink(data, size) makes, size 0 when not known in advance.
template <typename MakeSink>
RawData readInput(const QString &filename, MakeSink makeSink, const WorkControl &control)
{
    RawData data;
    QFile file;
    if (!openInput(filename, file, data))
        return data;
    const qint64 size = file.isSequential() ? 0 : file.size();
    readInto(
        file, size,
        [&] {
            data = RawData();
            return makeSink(data, size);
        },
        data, control);
    return data;
}

/// The same on bytes already read.
template <typename MakeSink> RawData parseBytes(const QByteArray &bytes, MakeSink makeSink)
{
    RawData data;
    const std::unique_ptr<LineSink> sink = makeSink(data, bytes.size());
    if (sink->lines(bytes.constData(), bytes.constData() + bytes.size()))
        sink->finish();
    return data;
}

} // namespace tavrin

#endif
