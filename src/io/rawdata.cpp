#include "rawdata.h"

#include "linesource.h"
#include "plainnumber.h"

#include <QFile>

namespace tavrin {

namespace {

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

// One point per line, exactly three numbers; a lone carriage return is no line end.
class StrictSink : public LineSink {
public:
    StrictSink(RawData &data, qint64 size) : LineSink(data, size, false) {}

    // Every line is read alike, wherever it lies.
    std::unique_ptr<LineSink> continuation(RawData &into) const override
    {
        return std::make_unique<StrictSink>(into, 0);
    }

protected:
    // Three plain numbers with a separator between them and at most one
    // after them, before "\n" or "\r\n": read without looking for the line's
    // end first, and stored in place. Up to the last line feed, a number
    // surely ends before end.
    const char *plainLines(const char *begin, const char *end) override
    {
        const char *lastEnd = end;
        while (lastEnd != begin && lastEnd[-1] != '\n')
            --lastEnd;
        const qint64 lines = std::min<qint64>(plainLineRoom(), plainPointRoom());
        double *row = nextRow();
        qint64 taken = 0;
        const char *p = begin;
        for (; taken < lines && p != lastEnd; ++taken, row += 3) {
            const char *q = readPlainNumber(p, row[0]);
            if (!q || !isSeparator(*q))
                break;
            q = readPlainNumber(q + 1, row[1]);
            if (!q || !isSeparator(*q))
                break;
            q = readPlainNumber(q + 1, row[2]);
            if (!q)
                break;
            q += isSeparator(*q);
            q += *q == '\r';
            if (*q != '\n')
                break;
            p = q + 1;
        }
        data.numLines += int(taken);
        data.linesRead += taken;
        return p;
    }

    bool line(const char *begin, const char *end, qint64 lineNumber) override
    {
        if (end != begin && end[-1] == '\r')
            --end;
        double point[3];
        switch (splitLine(begin, end, point)) {
        case LineKind::Bad:
            return fail(RawDataStatus::BadFormat, begin, end);
        case LineKind::Point:
            return store(point, begin, end, lineNumber);
        case LineKind::Blank:
            break;
        }
        return true;
    }
};

} // namespace

RawData ParseRawData(const QByteArray &bytes)
{
    return parseBytes(bytes,
                      [](RawData &data, qint64 size) { return std::make_unique<StrictSink>(data, size); });
}

RawData ReadRawData(const QString &filename, const WorkControl &control)
{
    return readInput(
        filename, [](RawData &data, qint64 size) { return std::make_unique<StrictSink>(data, size); },
        control);
}

QString displayName(const QString &path)
{
    return path == QLatin1String("-") ? QStringLiteral("<stdin>") : path;
}

} // namespace tavrin
