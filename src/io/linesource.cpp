#include "linesource.h"

#include "fieldscan.h"
#include "plainnumber.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include <unistd.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tavrin {

namespace {

#ifdef __linux__
// Gives the system advice on the whole pages of the given size that lie
// within [block, block + bytes).
void advise(const double *block, size_t bytes, std::uintptr_t page, int advice)
{
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, advice);
}
#endif

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

// Pages of a table that is read no more go back to the system at once,
// before the table itself is freed.
void releasePages(const double *block, size_t bytes)
{
#ifdef __linux__
    advise(block, bytes, std::uintptr_t(sysconf(_SC_PAGESIZE)), MADV_DONTNEED);
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
    reserve(size / 6 + 1);
}

// Rows of the table beyond the most points it is to hold. A read in halves
// lends the second half the rows after as many as the first half has line
// ends, blank lines and comments among them: without these, a file of the
// most points with a few such lines would leave the second half short of
// rows, to fill a table of its own and copy it.
constexpr int rowsForLineEnds = 4096;

void LineSink::reserve(qint64 points)
{
    data.Mag = MatDoub(int(std::min<qint64>(RawData::Capacity, points)) + rowsForLineEnds, 3);
    table = data.Mag[0];
    tableRows = data.Mag.nrows();
    lent = false;
    preferHugePages(table, size_t(tableRows) * 3 * sizeof(double));
}

void LineSink::fillLent(Rows rows)
{
    table = rows.first;
    tableRows = rows.count;
    lent = true;
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

// Only for inputs whose size was not known in advance (pipes, special
// files), and for a second half that outgrows the rows lent to it.
void LineSink::growTo(int rows)
{
    MatDoub bigger(rows, 3);
    std::copy(table, table + 3 * size_t(data.numLines), bigger[0]);
    data.Mag = std::move(bigger);
    table = data.Mag[0];
    tableRows = rows;
    lent = false;
}

void LineSink::append(LineSink &later)
{
    const int total = data.numLines + later.data.numLines;
    const size_t values = 3 * size_t(later.data.numLines);
    if (later.lent) {
        // Lent rows lie after this one's last point: the gap, if any, closes.
        std::memmove(nextRow(), later.table, values * sizeof(double));
    } else {
        if (total > tableRows)
            growTo(total);
        constexpr size_t valuesAtOnce = 3 << 15;
        for (size_t k = 0; k < values; k += valuesAtOnce) {
            const size_t count = std::min(valuesAtOnce, values - k);
            std::copy(later.table + k, later.table + k + count, nextRow() + k);
            releasePages(later.table + k, count * sizeof(double));
        }
    }
    data.numLines = total;
    data.linesRead += later.data.linesRead;
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

// The lines of one stretch of the input as its blocks arrive: the complete
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

enum class Outcome { Read, Refused, Cancelled, Failed };

struct StretchRead {
    Outcome outcome = Outcome::Read;
    QString error; ///< the system's reason of a failed read
};

// Reads bytes [from, to) of the file fd into lines; done counts the bytes,
// keepOn is asked before each block. The unfinished last line is a line
// when the stretch ends the input, or when the file ends before to.
template <typename KeepOn>
StretchRead readStretch(int fd, qint64 from, qint64 to, bool endsInput, BlockLines &lines,
                        std::atomic<qint64> &done, KeepOn keepOn, const WorkControl &control)
{
    for (qint64 at = from; at < to;) {
        if (control.cancelled())
            return {Outcome::Cancelled, {}};
        if (!keepOn())
            return {Outcome::Refused, {}};
        const ssize_t got = pread(fd, lines.room(), size_t(std::min(blockSize, to - at)), off_t(at));
        if (got < 0)
            return {Outcome::Failed, QString::fromLocal8Bit(std::strerror(errno))};
        if (got == 0) {
            // A file that shrank while it was read ends where it now ends.
            endsInput = true;
            break;
        }
        at += got;
        done += got;
        if (!lines.take(got))
            return {Outcome::Refused, {}};
    }
    return {!endsInput || lines.finish() ? Outcome::Read : Outcome::Refused, {}};
}

// The line ends in bytes [from, to) of the file, read by blocks into
// buffer; -1 when they cannot be read.
qint64 lineEndsIn(int fd, qint64 from, qint64 to, bool crEndsLine, char *buffer)
{
    qint64 count = 0;
    for (qint64 at = from; at < to;) {
        const ssize_t got = pread(fd, buffer, size_t(std::min(blockSize, to - at)), off_t(at));
        if (got <= 0)
            return -1;
        count += countLineEnds(buffer, buffer + got, crEndsLine);
        at += got;
    }
    return count;
}

// Where the second half of a file may begin: just after the first line feed
// at or after middle, so that no line is cut, and the first half, ending in a
// line feed, holds back no carriage return for the bytes after it. 0 when
// none is close by.
qint64 splitPoint(int fd, qint64 middle, qint64 size)
{
    constexpr qint64 window = 64 << 10;
    QByteArray bytes(int(std::min(window, size - middle)), Qt::Uninitialized);
    if (pread(fd, bytes.data(), size_t(bytes.size()), off_t(middle)) != bytes.size())
        return 0;
    const qsizetype feed = bytes.indexOf('\n');
    return feed < 0 ? 0 : middle + feed + 1;
}

// A fault of the second half, at its line, numbered after the first half's.
void takeFault(RawData &data, const RawData &second)
{
    data.status = second.status;
    data.badLineNumber = second.badLineNumber > 0 ? data.linesRead + second.badLineNumber : 0;
    data.linesRead += second.linesRead;
    data.badLine = second.badLine;
    data.reason = second.reason;
    data.numLines = 0;
}

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

// Ends a read of a stretch that did not read it all; false when it did.
bool ended(const StretchRead &read, RawData &data)
{
    if (read.outcome == Outcome::Cancelled)
        setCancelled(data);
    else if (read.outcome == Outcome::Failed)
        setReadError(data, read.error);
    return read.outcome != Outcome::Read;
}

// Reads the file from where it stands to its end, in one thread.
void readSequentially(QFile &file, qint64 size, LineSink &sink, RawData &data, const WorkControl &control)
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

enum class HalvesRead { Done, NotSplit, Again };

// Reads a file of size bytes from start: its first block, then, once the
// sink can be continued, its two halves at once on two threads.
// Again when the halves together hold more lines or points than an input
// may: only a read from the start in one thread finds the line that is too
// many.
HalvesRead readHalvesFrom(int fd, qint64 start, qint64 size, LineSink &sink, RawData &data,
                          const WorkControl &control)
{
    BlockLines first(sink);
    std::atomic<qint64> done{0};
    const auto reportProgress = [&] {
        control.progress(double(done.load()) / double(size - start));
        return true;
    };
    const qint64 afterFirst = start + blockSize;
    if (ended(readStretch(fd, start, afterFirst, false, first, done, reportProgress, control), data))
        return HalvesRead::Done;

    RawData secondData;
    // The second thread counts the first half's line ends before it reads its
    // own half, at about a tenth of the cost of reading them: its half is the
    // smaller.
    const qint64 middle = splitPoint(fd, afterFirst + (size - afterFirst) * 5 / 9, size);
    const std::unique_ptr<LineSink> second = middle > 0 ? sink.continuation(secondData) : nullptr;
    if (!second) {
        if (!ended(readStretch(fd, afterFirst, size, true, first, done, reportProgress, control), data))
            sink.finish();
        return HalvesRead::Done;
    }
    second->startsMidInput();
    // Each point of the first half ends a line there: the second half's
    // points go after as many rows of the table as the first half has line
    // ends, and stay there, filled by the thread that reads them. The first
    // half's table never grows: it holds a point per six bytes of the file.
    const LineSink::Rows spare = sink.spareRows();
    const int firstPoints = data.numLines;
    qint64 lentAfter = -1;
    StretchRead firstRead, secondRead;
    std::atomic<bool> firstStopped{false};
    control.inParallel(2, [&](int worker, int) {
        if (worker == 0) {
            firstRead = readStretch(fd, afterFirst, middle, false, first, done, reportProgress, control);
            firstStopped = firstRead.outcome != Outcome::Read;
        } else {
            BlockLines lines(*second);
            const qint64 lineEnds = lineEndsIn(fd, afterFirst, middle, sink.crEndsLine(), lines.room());
            if (lineEnds >= 0 && lineEnds < spare.count) {
                lentAfter = lineEnds;
                second->fillLent({spare.first + 3 * lineEnds, spare.count - int(lineEnds)});
            } else {
                // Sized by the first block's lines, with room to spare: by the
                // size alone, the table would be up to four times too large.
                second->reserve((size - middle) * firstPoints / blockSize * 9 / 8 + 4096);
            }
            secondRead = readStretch(
                fd, middle, size, true, lines, done, [&] { return !firstStopped.load(); }, control);
        }
    });
    // The first half's outcome comes first: its fault lies on an earlier line.
    if (ended(firstRead, data))
        return HalvesRead::Done;
    if (secondRead.outcome != Outcome::Refused && ended(secondRead, data))
        return HalvesRead::Done;
    // More points in the first half than line ends counted there (a file
    // rewritten while it was read) may have overwritten the second's.
    const bool overlapped = lentAfter >= 0 && data.numLines - firstPoints > lentAfter;
    const bool tooMany = data.linesRead + secondData.linesRead > RawData::MaxLines ||
                         qint64(data.numLines) + secondData.numLines > RawData::Capacity ||
                         secondData.status == RawDataStatus::TooManyLines;
    if (tooMany || overlapped)
        return HalvesRead::Again;
    sink.addCounts(*second, data.linesRead);
    if (secondRead.outcome == Outcome::Refused) {
        takeFault(data, secondData);
        return HalvesRead::Done;
    }
    sink.append(*second);
    sink.finish();
    return HalvesRead::Done;
}

// Reads a regular file of size bytes in halves, from where it stands:
// standard input may have been read in part already. NotSplit when nothing
// was read, as the file cannot be read that way. As a read would, the read
// leaves the file at its end, unless it is to be read again.
HalvesRead readInHalves(QFile &file, qint64 size, LineSink &sink, RawData &data, const WorkControl &control)
{
    const int fd = file.handle();
    const qint64 start = fd < 0 ? -1 : qint64(lseek(fd, 0, SEEK_CUR));
    if (start < 0 || control.threads() < 2 || size - start < 4 * blockSize || size > RawData::MaxBytes)
        return HalvesRead::NotSplit;
    const HalvesRead read = readHalvesFrom(fd, start, size, sink, data, control);
    if (read == HalvesRead::Done)
        lseek(fd, off_t(size), SEEK_SET);
    return read;
}

} // namespace

void readInto(QFile &file, qint64 size, const std::function<std::unique_ptr<LineSink>()> &makeSink,
              RawData &data, const WorkControl &control)
{
    std::unique_ptr<LineSink> sink = makeSink();
    switch (readInHalves(file, size, *sink, data, control)) {
    case HalvesRead::Done:
        return;
    case HalvesRead::Again:
        sink = makeSink();
        break;
    case HalvesRead::NotSplit:
        break;
    }
    readSequentially(file, size, *sink, data, control);
}

} // namespace tavrin
