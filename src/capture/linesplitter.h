// Bytes as they arrive from a sensor, cut into lines: any of LF, CR and CRLF
// ends one, a line may arrive in pieces, and a line that never ends is
// cut short instead of growing without bound.
#ifndef TAVRIN_CAPTURE_LINESPLITTER_H
#define TAVRIN_CAPTURE_LINESPLITTER_H

#include <QByteArray>

#include <vector>

namespace tavrin {

/// One line received, without its terminator.
struct ReceivedLine {
    QByteArray bytes;  ///< the line, or the first LineSplitter::LongestLine bytes of a longer one
    qint64 length = 0; ///< the whole line's size in bytes

    /// Whether the line was longer than LineSplitter::LongestLine: no reading, only its start kept.
    bool cut() const { return length > bytes.size(); }
};

class LineSplitter {
public:
    /// Longer lines are no readings; only their first bytes are kept, to be shown.
    static constexpr int LongestLine = 4096;

    /// Appends the lines that bytes complete to lines; empty lines are none.
    /// The unfinished rest waits for more.
    void feed(const QByteArray &bytes, std::vector<ReceivedLine> &lines);

    /// The unfinished last line at the end of the input, if any and not too long.
    QByteArray rest();

    /// Lines longer than LongestLine, counted as soon as they are.
    qint64 overlong() const { return cutLines; }

private:
    void take(const char *begin, const char *end);

    QByteArray partial;
    qint64 length = 0; ///< of the current line, all its bytes
    qint64 cutLines = 0;
};

} // namespace tavrin

#endif
