#include "linesource.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tavrin {

namespace {

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

} // namespace

bool parseNumber(const char *begin, const char *end, double &value)
{
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
    preferHugePages(data.Mag[0], size_t(data.Mag.nrows()) * 3 * sizeof(double));
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
        begin = lineEnd + 1;
        if (*lineEnd == '\r') {
            if (begin == end)
                afterCr = true;
            else if (*begin == '\n')
                ++begin;
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
    if (data.numLines == data.Mag.nrows())
        grow();
    for (int c = 0; c < 3; ++c)
        data.Mag[data.numLines][c] = point[c];
    ++data.numLines;
    return true;
}

// Only for inputs whose size was not known in advance (pipes, special files).
void LineSink::grow()
{
    const int rows = std::min(RawData::Capacity, std::max(4096, 2 * data.Mag.nrows()));
    MatDoub bigger(rows, 3);
    for (int k = 0; k < data.numLines; ++k)
        for (int c = 0; c < 3; ++c)
            bigger[k][c] = data.Mag[k][c];
    data.Mag = std::move(bigger);
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

void readInto(QFile &file, qint64 size, LineSink &sink, RawData &data, const WorkControl &control)
{
    // Read in bounded chunks into one buffer, splitting the complete lines of
    // each and keeping the unfinished last line at the front for the next. A
    // line that outgrows longestLine without ending is no measurement line,
    // and must not make the reader swallow a huge file.
    constexpr qint64 chunkSize = 1 << 20;
    constexpr qint64 longestLine = 1 << 20;
    QByteArray buffer(longestLine + chunkSize, Qt::Uninitialized);
    char *const start = buffer.data();
    const auto endsLine = [&](char c) { return c == '\n' || (c == '\r' && sink.crEndsLine()); };
    qint64 filled = 0;
    qint64 total = 0;
    bool reading = true;
    while (reading) {
        if (control.cancelled()) {
            data = RawData();
            data.status = RawDataStatus::Cancelled;
            return;
        }
        if (size > 0)
            control.progress(double(total) / double(size));
        const qint64 got = file.read(start + filled, chunkSize);
        if (got < 0) {
            // Taking a failed read for the end would calibrate a part of the file.
            data = RawData();
            data.status = RawDataStatus::ReadError;
            data.reason = file.errorString();
            return;
        }
        if (got == 0)
            break;
        filled += got;
        total += got;
        if (total > RawData::MaxBytes) {
            sink.fail(RawDataStatus::TooManyLines, start, start + std::min(filled, longestLine));
            return;
        }
        const auto fromEnd = std::find_if(std::make_reverse_iterator(start + filled),
                                          std::make_reverse_iterator(start), endsLine);
        if (fromEnd.base() != start) {
            const char *lastEnd = fromEnd.base() - 1;
            reading = sink.lines(start, lastEnd + 1);
            filled = start + filled - (lastEnd + 1);
            std::memmove(start, lastEnd + 1, size_t(filled));
        }
        if (reading && filled > longestLine)
            reading = sink.fail(RawDataStatus::BadFormat, start, start + filled);
    }
    if (reading && sink.lines(start, start + filled))
        sink.finish();
}

} // namespace tavrin
