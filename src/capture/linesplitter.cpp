#include "linesplitter.h"

#include <algorithm>

namespace tavrin {

namespace {

bool endsLine(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

void LineSplitter::feed(const QByteArray &bytes, std::vector<QByteArray> &lines)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p != end) {
        const char *lineEnd = std::find_if(p, end, endsLine);
        take(p, lineEnd);
        if (lineEnd == end)
            break;
        if (skipping)
            skipping = false;
        else if (!partial.isEmpty())
            lines.push_back(partial);
        partial.clear();
        p = lineEnd + 1;
    }
}

// Bytes of the current line, which may go on in the next piece.
void LineSplitter::take(const char *begin, const char *end)
{
    if (skipping || begin == end)
        return;
    if (partial.size() + (end - begin) > LongestLine) {
        partial.clear();
        skipping = true;
        ++dropped;
        return;
    }
    partial.append(begin, end - begin);
}

QByteArray LineSplitter::rest()
{
    QByteArray last = skipping ? QByteArray() : partial;
    partial.clear();
    skipping = false;
    return last;
}

} // namespace tavrin
