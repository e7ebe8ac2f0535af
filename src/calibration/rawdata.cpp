#include "rawdata.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif
#include <iterator>
#include <utility>

namespace tavrin {

namespace {

// A field is text between separators; it must be one whole, finite number in
// the C locale's syntax, with an optional leading '+' as QString::toDouble takes it.
bool parseNumber(const char *begin, const char *end, double &value)
{
    if (begin != end && *begin == '+' && ++begin != end && *begin == '-')
        return false;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool isSeparator(char c)
{
    return c == '\t' || c == ' ';
}

enum class LineKind { Blank, Point, Bad };

LineKind splitLine(const char *begin, const char *end, double point[3])
{
    const char *p = begin;
    while (p != end && isSeparator(*p))
        ++p;
    if (p == end)
        return LineKind::Blank;

    p = begin;
    for (int field = 0; field < 3; ++field) {
        const char *fieldEnd = p;
        while (fieldEnd != end && !isSeparator(*fieldEnd))
            ++fieldEnd;
        if (!parseNumber(p, fieldEnd, point[field]))
            return LineKind::Bad;
        if (fieldEnd == end)
            return field == 2 ? LineKind::Point : LineKind::Bad;
        p = fieldEnd + 1;
    }
    // One separator may follow the third number; anything after it is a fourth field.
    return p == end ? LineKind::Point : LineKind::Bad;
}

// The table is a run's biggest allocation, 12 MB for 500000 points. Asked
// before its first touch, transparent huge pages spare a fresh process about
// 3000 page faults of 4 KiB, each of which costs microseconds.
void preferHugePages(double *block, size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// Splits complete lines as they arrive, so a file is read in bounded chunks.
class Splitter {
public:
    // A point line holds at least "1 2 3\n", so a file of size bytes holds no
    // more points than this: one allocation of the table, never a copy.
    Splitter(RawData &data, qint64 size) : data(data)
    {
        data.Mag = MatDoub(int(std::min<qint64>(RawData::Capacity, size / 6 + 1)), 3);
        preferHugePages(data.Mag[0], size_t(data.Mag.nrows()) * 3 * sizeof(double));
    }

    // Takes the lines in [begin, end); the last one need not be terminated.
    // A UTF-8 byte-order mark at the very start of the file is dropped.
    // Returns false once reading must stop.
    bool lines(const char *begin, const char *end)
    {
        if (atStart && end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
            begin += 3;
        atStart = false;
        while (begin != end) {
            const char *newline = static_cast<const char *>(std::memchr(begin, '\n', size_t(end - begin)));
            const char *lineEnd = newline ? newline : end;
            if (!line(begin, lineEnd))
                return false;
            begin = newline ? newline + 1 : end;
        }
        return true;
    }

    bool fail(RawDataStatus status, const char *begin, const char *end)
    {
        // Four bytes at most per character: enough to show, never the whole of a huge line.
        constexpr ptrdiff_t decoded = 4 * RawData::ShownLineLength;
        data.status = status;
        data.badLineNumber = data.linesRead + 1;
        if (end != begin && end[-1] == '\n')
            --end;
        if (end != begin && end[-1] == '\r')
            --end;
        QString line = QString::fromUtf8(begin, qsizetype(std::min(end - begin, decoded)));
        if (line.size() > RawData::ShownLineLength || end - begin > decoded)
            line = line.left(RawData::ShownLineLength) + QChar(0x2026);
        data.badLine = line;
        data.numLines = 0;
        return false;
    }

private:
    bool line(const char *begin, const char *end)
    {
        if (data.linesRead == RawData::MaxLines)
            return fail(RawDataStatus::TooManyLines, begin, end);
        if (end != begin && end[-1] == '\r')
            --end;
        double point[3];
        switch (splitLine(begin, end, point)) {
        case LineKind::Bad:
            return fail(RawDataStatus::BadFormat, begin, end);
        case LineKind::Point:
            if (data.numLines == RawData::Capacity)
                return fail(RawDataStatus::TooManyLines, begin, end);
            if (data.numLines == data.Mag.nrows())
                grow();
            for (int c = 0; c < 3; ++c)
                data.Mag[data.numLines][c] = point[c];
            ++data.numLines;
            break;
        case LineKind::Blank:
            break;
        }
        ++data.linesRead;
        return true;
    }

    // Only for files whose size was not known in advance (pipes, special files).
    void grow()
    {
        const int rows = std::min(RawData::Capacity, std::max(4096, 2 * data.Mag.nrows()));
        MatDoub bigger(rows, 3);
        for (int k = 0; k < data.numLines; ++k)
            for (int c = 0; c < 3; ++c)
                bigger[k][c] = data.Mag[k][c];
        data.Mag = std::move(bigger);
    }

    RawData &data;
    bool atStart = true;
};

RawData cannotOpen(const QString &reason)
{
    RawData data;
    data.status = RawDataStatus::CannotOpen;
    data.reason = reason;
    return data;
}

} // namespace

RawData ParseRawData(const QByteArray &bytes)
{
    RawData data;
    Splitter(data, bytes.size()).lines(bytes.constData(), bytes.constData() + bytes.size());
    return data;
}

RawData ReadRawData(const QString &filename)
{
    if (QFileInfo(filename).isDir())
        return cannotOpen(QString::fromLocal8Bit(std::strerror(EISDIR)));
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return cannotOpen(filename.isEmpty() ? QString() : file.errorString());
    RawData data;

    // Read in bounded chunks into one buffer, splitting the complete lines of
    // each and keeping the unfinished last line at the front for the next. A
    // line that outgrows longestLine without ending is no measurement line,
    // and must not make the reader swallow a huge file.
    constexpr qint64 chunkSize = 1 << 20;
    constexpr qint64 longestLine = 1 << 20;
    Splitter splitter(data, file.size());
    QByteArray buffer(longestLine + chunkSize, Qt::Uninitialized);
    char *const start = buffer.data();
    qint64 filled = 0;
    qint64 total = 0;
    bool reading = true;
    while (reading) {
        const qint64 got = file.read(start + filled, chunkSize);
        if (got < 0) {
            // Taking a failed read for the end would calibrate a part of the file.
            data = RawData();
            data.status = RawDataStatus::ReadError;
            data.reason = file.errorString();
            return data;
        }
        if (got == 0)
            break;
        filled += got;
        total += got;
        if (total > RawData::MaxBytes) {
            splitter.fail(RawDataStatus::TooManyLines, start, start + std::min(filled, longestLine));
            return data;
        }
        const auto fromEnd =
            std::find(std::make_reverse_iterator(start + filled), std::make_reverse_iterator(start), '\n');
        if (fromEnd.base() != start) {
            const char *lastNewline = fromEnd.base() - 1;
            reading = splitter.lines(start, lastNewline + 1);
            filled = start + filled - (lastNewline + 1);
            std::memmove(start, lastNewline + 1, size_t(filled));
        }
        if (reading && filled > longestLine)
            reading = splitter.fail(RawDataStatus::BadFormat, start, start + filled);
    }
    if (reading)
        splitter.lines(start, start + filled);
    return data;
}

} // namespace tavrin
