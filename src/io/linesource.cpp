#include "linesource.h"

#include "plainnumber.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tavrin {

namespace {

// The table is a run's biggest allocation, 12 MB for 500000 points. Asked
// before its first touch, transparent huge pages spare a fresh process about
// 3000 page faults of 4 KiB, each of which costs microseconds. A table that
// large has a mapping of its own, which starts on a huge page and holds a
// header before the table: the advice takes in the huge pages that the
// table only begins or ends in, else read in 4 KiB pages, about 500 of them.
void preferHugePages(const double *block, size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(block) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes + huge - 1) & ~(huge - 1);
    if (bytes >= 2 * huge)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace

bool parseNumber(const char *begin, const char *end, double &value)
{
    if (const char *stop = readPlainNumber(begin, end, value); stop && stop == end)
        return true;
    if (begin != end && *begin == '+' && ++begin != end && *begin == '-')
        return false;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

LineSink::LineSink(RawData &data, qint64 size, bool crEndsLine) : data(data), splitAtCr(crEndsLine)
{
    // A point line holds at least "1 2 3\n", so an input of size bytes holds
    // no more points than this: one allocation of the table, never a copy.
    data.Mag = MatDoub(int(std::min<qint64>(RawData::Capacity, size / 6 + 1)), 3);
    table = data.Mag[0];
    tableRows = data.Mag.nrows();
    preferHugePages(table, size_t(tableRows) * 3 * sizeof(double));
}

bool LineSink::lines(const char *begin, const char *end)
{
    if (atStart && end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
        begin += 3;
    atStart = false;
    if (afterCr && begin != end && *begin == '\n')
        ++begin;
    afterCr = false;
    // Most inputs hold no carriage return at all; then no line is searched for one.
    const bool crs = splitAtCr && std::memchr(begin, '\r', size_t(end - begin));
    while (begin != end) {
        begin = plainLines(begin, end);
        if (begin == end)
            break;
        const char *lineEnd = static_cast<const char *>(std::memchr(begin, '\n', size_t(end - begin)));
        if (crs) {
            const char *cr = static_cast<const char *>(
                std::memchr(begin, '\r', size_t((lineEnd ? lineEnd : end) - begin)));
            if (cr)
                lineEnd = cr;
        }
        if (data.linesRead == RawData::MaxLines)
            return fail(RawDataStatus::TooManyLines, begin, lineEnd ? lineEnd : end);
        if (!line(begin, lineEnd ? lineEnd : end, data.linesRead + 1))
            return false;
        ++data.linesRead;
        if (!lineEnd)
            break;
        // Where the chunk ends too soon to tell, a carriage return ends a
        // line alone, and a line feed that opens the next chunk is its own.
        begin = afterLineEnd(lineEnd, end);
        if (!begin) {
            begin = lineEnd + 1;
            afterCr = begin == end;
        }
    }
    return true;
}

QString shownLine(const char *begin, const char *end)
{
    // Four bytes at most per character: enough to show, never the whole of a huge line.
    constexpr ptrdiff_t decoded = 4 * RawData::ShownLineLength;
    if (end != begin && end[-1] == '\n')
        --end;
    if (end != begin && end[-1] == '\r')
        --end;
    const QString text = QString::fromUtf8(begin, qsizetype(std::min(end - begin, decoded)));
    if (text.size() > RawData::ShownLineLength || end - begin > decoded)
        return text.left(RawData::ShownLineLength) + QChar(0x2026);
    return text;
}

bool LineSink::fail(RawDataStatus status, const char *begin, const char *end, qint64 lineNumber)
{
    data.status = status;
    data.badLineNumber = lineNumber > 0 ? lineNumber : data.linesRead + 1;
    data.badLine = shownLine(begin, end);
    data.numLines = 0;
    return false;
}

bool LineSink::store(const double point[3], const char *begin, const char *end, qint64 lineNumber)
{
    if (data.numLines == RawData::Capacity)
        return fail(RawDataStatus::TooManyLines, begin, end, lineNumber);
    if (data.numLines == tableRows)
        growTo(std::min(RawData::Capacity, std::max(4096, 2 * tableRows)));
    std::copy(point, point + 3, nextRow());
    ++data.numLines;
    return true;
}

// Only for inputs whose size was not known in advance (pipes, special files).
void LineSink::growTo(int rows)
{
    MatDoub bigger(rows, 3);
    std::copy(table, table + 3 * size_t(data.numLines), bigger[0]);
    data.Mag = std::move(bigger);
    table = data.Mag[0];
    tableRows = rows;
}

bool openInput(const QString &filename, QFile &file, RawData &data)
{
    if (filename != QLatin1String("-"))
        file.setFileName(filename);
    const bool opened =
        filename == QLatin1String("-")
            ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
            : !QFileInfo(filename).isDir() && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (opened)
        return true;
    data.status = RawDataStatus::CannotOpen;
    if (QFileInfo(filename).isDir())
        data.reason = QString::fromLocal8Bit(std::strerror(EISDIR));
    else if (!filename.isEmpty())
        data.reason = file.errorString();
    return false;
}

namespace {

// Blocks small enough to stay in the processor's cache while their lines are
// read; a line that outgrows longestLine without ending is no measurement
// line, and must not make the reader swallow a huge file.
constexpr qint64 blockSize = 256 << 10;
constexpr qint64 longestLine = 1 << 20;

// The lines of the input as its blocks arrive: the complete
// lines of each go to the sink, the unfinished last one waits at the front
// of the buffer for the rest of it.
class BlockLines {
public:
    explicit BlockLines(LineSink &sink) : sink(sink), buffer(longestLine + blockSize, Qt::Uninitialized) {}

    char *room() { return buffer.data() + filled; }

    // Takes got bytes written at room(); false once reading must stop.
    bool take(qint64 got)
    {
        char *const start = buffer.data();
        filled += got;
        const auto endsLine = [this](char c) { return c == '\n' || (c == '\r' && sink.crEndsLine()); };
        // Carriage returns at the end may begin CR LF or CR CR LF: the line
        // they end waits for the bytes after them.
        char *scanned = start + filled;
        for (int k = 0; k < 2 && sink.crEndsLine() && scanned != start && scanned[-1] == '\r'; k++)
            --scanned;
        const auto fromEnd =
            std::find_if(std::make_reverse_iterator(scanned), std::make_reverse_iterator(start), endsLine);
        if (fromEnd.base() != start) {
            const char *lastEnd = fromEnd.base() - 1;
            if (!sink.lines(start, lastEnd + 1))
                return false;
            filled = start + filled - (lastEnd + 1);
            std::memmove(start, lastEnd + 1, size_t(filled));
        }
        return filled <= longestLine || sink.fail(RawDataStatus::BadFormat, start, start + filled);
    }

    // The unfinished line at the end of the input.
    bool finish() { return sink.lines(buffer.data(), buffer.data() + filled); }

    // Refuses an input beyond RawData::MaxBytes, showing what the buffer holds.
    void refuseSize() const
    {
        sink.fail(RawDataStatus::TooManyLines, buffer.data(), buffer.data() + std::min(filled, longestLine));
    }

private:
    LineSink &sink;
    QByteArray buffer;
    qint64 filled = 0;
};

void setCancelled(RawData &data)
{
    data = RawData();
    data.status = RawDataStatus::Cancelled;
}

// Taking a failed read for the end would calibrate a part of the file.
void setReadError(RawData &data, const QString &reason)
{
    data = RawData();
    data.status = RawDataStatus::ReadError;
    data.reason = reason;
}

} // namespace

void readInto(QFile &file, qint64 size, LineSink &sink, RawData &data, const WorkControl &control)
{
    BlockLines lines(sink);
    qint64 total = 0;
    for (;;) {
        if (control.cancelled())
            return setCancelled(data);
        if (size > 0)
            control.progress(double(total) / double(size));
        const qint64 got = file.read(lines.room(), blockSize);
        if (got < 0)
            return setReadError(data, file.errorString());
        if (got == 0)
            break;
        total += got;
        if (total > RawData::MaxBytes)
            return lines.refuseSize();
        if (!lines.take(got))
            return;
    }
    if (lines.finish())
        sink.finish();
}

} // namespace tavrin
