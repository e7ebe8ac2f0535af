// Bytes as they arrive from a sensor, cut into lines: any of LF, CR and CRLF
// ends one, a line may arrive in pieces, and a line that never ends is
// dropped instead of growing without bound.
#ifndef TAVRIN_CAPTURE_LINESPLITTER_H
#define TAVRIN_CAPTURE_LINESPLITTER_H

#include <QByteArray>

#include <vector>

namespace tavrin {

class LineSplitter {
public:
    /// Longer lines are no readings; their bytes are dropped up to the next line end.
    static constexpr int LongestLine = 4096;

    /// Appends the lines that bytes complete to lines, without their
    /// terminators; empty lines are none. The unfinished rest waits for more.
    void feed(const QByteArray &bytes, std::vector<QByteArray> &lines);

    /// The unfinished last line at the end of the input, if any.
    QByteArray rest();

    /// Lines dropped for being longer than LongestLine.
    qint64 overlong() const { return dropped; }

private:
    void take(const char *begin, const char *end);

    QByteArray partial;
    bool skipping = false; ///< inside a line that was too long, until its end
    qint64 dropped = 0;
};

} // namespace tavrin

#endif
