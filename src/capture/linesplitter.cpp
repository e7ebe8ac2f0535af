#include "linesplitter.h"

#include <algorithm>

namespace tavrin {

namespace {

bool endsLine(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

void LineSplitter::feed(const QByteArray &bytes, std::vector<ReceivedLine> &lines)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p != end) {
        const char *lineEnd = std::find_if(p, end, endsLine);
        take(p, lineEnd);
        if (lineEnd == end)
            break;
        if (length > 0)
            lines.push_back({partial, length});
        partial.clear();
        length = 0;
        p = lineEnd + 1;
    }
}

// Bytes of the current line, which may go on in the next piece.
void LineSplitter::take(const char *begin, const char *end)
{
    const qint64 kept = std::min<qint64>(end - begin, std::max<qint64>(0, LongestLine - length));
    if (length <= LongestLine && length + (end - begin) > LongestLine)
        ++cutLines;
    partial.append(begin, qsizetype(kept));
    length += end - begin;
}

QByteArray LineSplitter::rest()
{
    QByteArray last = length > LongestLine ? QByteArray() : partial;
    partial.clear();
    length = 0;
    return last;
}

} // namespace tavrin
